// Keyword lists, typed lists, prefix list, string lists and tag arrays.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support.h"
#include "zqxmlu.h"

namespace {

using zqtest::Tag;
using Word = uintptr_t;
constexpr int kWord = sizeof(Word);

std::vector<Word> Keys(const ZQ_KWLIST_STRUCT_T& l) {
    return {l.keys, l.keys + l.count};
}
std::vector<Word> Values(const ZQ_KWLIST_STRUCT_T& l) {
    return {l.values, l.values + l.count};
}

// An owned list holding keys 10, 20, ... with values 100, 200, ...
ZQ_KWLIST_STRUCT_T Filled(int n) {
    ZQ_KWLIST_STRUCT_T l{};
    for (int i = 1; i <= n; ++i)
        ZqXmlU_ModifyKwList(&l, 10 * i, 100 * i, 5, Tag());
    return l;
}

// ----- Keyword list -----------------------------------------------------------------------------

TEST(KwList, RoomIsMadeBeforeTheEntryAtFixedPoints) {
    ZQ_KWLIST_STRUCT_T l{};
    EXPECT_EQ(ZqXmlU_ModifyKwList(&l, 1, 1, 4, Tag()), -1);  // a look-up makes room too
    EXPECT_EQ(l.count, 0);
    EXPECT_EQ(l.capacity, 5);
    EXPECT_EQ(l.owned, 1);
    const struct {
        int count, capacity;
    } points[] = {{4, 5}, {5, 15}, {14, 15}, {15, 35}, {34, 35}, {35, 75}, {75, 155}};
    for (const auto& p : points) {
        while (l.count < p.count)
            ZqXmlU_ModifyKwList(&l, l.count + 1, 7, 1, Tag());
        EXPECT_EQ(l.capacity, p.capacity) << "count " << p.count;
        EXPECT_EQ(ZqXmlU_GetUsedSpace(l.keys), unsigned(p.capacity * kWord));
        for (int i = l.count; i < l.capacity; ++i)
            ASSERT_TRUE(l.keys[i] == 0 && l.values[i] == 0) << "new entries are zero";
    }
    EXPECT_EQ(ZqXmlU_FreeKwList(&l), 2 * 155 * kWord);
    EXPECT_TRUE(l.count == 0 && l.capacity == 0 && l.owned == 1 && !l.keys && !l.values);
    EXPECT_EQ(ZqXmlU_FreeKwList(&l), 0);
}

TEST(KwList, Modes) {
    const struct {
        Word key, value;
        int mode, result;
        std::vector<Word> keys, values;
    } cases[] = {
        {20, 7, 1, 1, {10, 20, 30, 40}, {100, 7, 300, 400}},
        {50, 500, 1, -1, {10, 20, 30, 40, 50}, {100, 200, 300, 400, 500}},
        {20, 9, 5, -1, {10, 20, 30, 40, 20}, {100, 200, 300, 400, 9}},
        {20, 0, 2, 1, {10, 40, 30}, {100, 400, 300}},
        {40, 0, 2, 3, {10, 20, 30}, {100, 200, 300}},
        {10, 0, 2, 0, {40, 20, 30}, {400, 200, 300}},
        {99, 0, 2, -1, {10, 20, 30, 40}, {100, 200, 300, 400}},
        {30, 0, 4, 300, {10, 20, 30, 40}, {100, 200, 300, 400}},
        {99, 0, 4, -1, {10, 20, 30, 40}, {100, 200, 300, 400}},
        {30, 0, 3, 2, {10, 20, 30, 40}, {100, 200, 300, 400}},
        {99, 0, 0, -1, {10, 20, 30, 40}, {100, 200, 300, 400}},
        {40, 0, -7, 3, {10, 20, 30, 40}, {100, 200, 300, 400}},
    };
    for (const auto& c : cases) {
        ZQ_KWLIST_STRUCT_T l = Filled(4);
        EXPECT_EQ(ZqXmlU_ModifyKwList(&l, c.key, c.value, c.mode, Tag()), c.result)
            << "mode " << c.mode << " key " << c.key;
        EXPECT_EQ(Keys(l), c.keys) << "mode " << c.mode << " key " << c.key;
        EXPECT_EQ(Values(l), c.values) << "mode " << c.mode << " key " << c.key;
        ZqXmlU_FreeKwList(&l);
    }
}

TEST(KwList, DuplicatesResolveToTheFirstAndLookUpGivesTheLowWord) {
    ZQ_KWLIST_STRUCT_T l = Filled(2);
    ZqXmlU_ModifyKwList(&l, 20, 0xABC, 5, Tag());
    EXPECT_EQ(ZqXmlU_ModifyKwList(&l, 20, 0, 4, Tag()), 200);
    EXPECT_EQ(ZqXmlU_ModifyKwList(&l, 20, 1, 1, Tag()), 1);
    EXPECT_EQ(Values(l), (std::vector<Word>{100, 1, 0xABC}));
    EXPECT_EQ(ZqXmlU_ModifyKwList(&l, 20, 0, 2, Tag()), 1);  // the first goes, the last fills it
    EXPECT_EQ(ZqXmlU_ModifyKwList(&l, 20, 0, 4, Tag()), 0xABC);
    ZqXmlU_ModifyKwList(&l, 30, static_cast<Word>(0xFFFFFFFF), 1, Tag());
    EXPECT_EQ(ZqXmlU_ModifyKwList(&l, 30, 0, 4, Tag()), -1);  // indistinguishable from absent
    if constexpr (sizeof(Word) == 8) {
        ZqXmlU_ModifyKwList(&l, 40, static_cast<Word>(0x500000009ull), 1, Tag());
        EXPECT_EQ(ZqXmlU_ModifyKwList(&l, 40, 0, 4, Tag()), 9);
    }
    ZqXmlU_FreeKwList(&l);
}

TEST(KwList, LentArraysAreCopiedAtTheFirstGrowthAndNeverWrittenPastCapacity) {
    Word keys[6] = {1, 2, 0, 0, 0xEE, 0xEE}, values[6] = {11, 12, 0, 0, 0xEE, 0xEE};
    ZQ_KWLIST_STRUCT_T l{2, 4, 0, keys, values};
    EXPECT_EQ(ZqXmlU_ModifyKwList(&l, 3, 13, 1, Tag()), -1);  // 2 + 1 < 4: stays in place
    EXPECT_EQ(l.keys, keys);
    EXPECT_EQ(keys[2], 3u);
    EXPECT_EQ(ZqXmlU_ModifyKwList(&l, 4, 14, 1, Tag()), -1);  // 3 + 1 >= 4: copied first
    EXPECT_NE(l.keys, keys);
    EXPECT_EQ(l.owned, 1);
    EXPECT_EQ(l.capacity, 13);
    EXPECT_EQ(Keys(l), (std::vector<Word>{1, 2, 3, 4}));
    EXPECT_EQ(Values(l), (std::vector<Word>{11, 12, 13, 14}));
    EXPECT_EQ(keys[3], 0u);
    EXPECT_EQ(keys[4], 0xEEu);
    EXPECT_EQ(values[4], 0xEEu);
    EXPECT_EQ(ZqXmlU_FreeKwList(&l), 2 * 13 * kWord);

    ZQ_KWLIST_STRUCT_T lent{3, 3, 0, keys, values};
    EXPECT_EQ(ZqXmlU_FreeKwList(&lent), 0);
    EXPECT_TRUE(lent.count == 0 && lent.capacity == 3 && lent.keys == keys);
}

TEST(KwList, DelFromKwListKeepsOrderAndIgnoresRangesOutsideTheList) {
    const struct {
        int start, n;
        std::vector<Word> keys;
    } cases[] = {
        {1, 2, {10, 40, 50}},          {0, 5, {}},
        {3, 2, {10, 20, 30}},          {3, 3, {10, 20, 30, 40, 50}},
        {5, 0, {10, 20, 30, 40, 50}},  {-1, 2, {10, 20, 30, 40, 50}},
        {1, -1, {10, 20, 30, 40, 50}}, {4, INT_MAX, {10, 20, 30, 40, 50}},
    };
    for (const auto& c : cases) {
        ZQ_KWLIST_STRUCT_T l = Filled(5);
        ZqXmlU_DelFromKwList(&l, c.start, c.n);
        EXPECT_EQ(Keys(l), c.keys) << c.start << "," << c.n;
        for (size_t i = 0; i < c.keys.size(); ++i)
            EXPECT_EQ(l.values[i], 10 * c.keys[i]);
        ZqXmlU_FreeKwList(&l);
    }
}

TEST(KwList, PurgeIdentityAndFreeKwAllocListReleaseKeyStrings) {
    ZQ_KWLIST_STRUCT_T l{};
    for (int i = 0; i < 3; ++i) {
        void* s = ZqXmlU_Calloc(10 + i, 1, Tag());
        ZqXmlU_ModifyKwList(&l, reinterpret_cast<Word>(s), i, 5, Tag());
    }
    const Word a = l.keys[0], c = l.keys[2];
    for (int index : {3, -1, INT_MAX})
        EXPECT_EQ(ZqXmlU_PurgeIdentity(&l, index), 0);
    EXPECT_EQ(l.count, 3);
    EXPECT_EQ(ZqXmlU_PurgeIdentity(&l, 1), 0);
    EXPECT_EQ(Keys(l), (std::vector<Word>{a, c}));
    EXPECT_EQ(Values(l), (std::vector<Word>{0, 2}));
    EXPECT_EQ(l.keys[2], 0u);
    EXPECT_EQ(l.values[2], 1u);               // the removed entry's value stays past the end
    ZqXmlU_ModifyKwList(&l, 0, 9, 5, Tag());  // NULL keys are skipped
    EXPECT_EQ(ZqXmlU_FreeKwAllocList(&l), 10u + 12u + 2 * 5 * kWord);
    EXPECT_EQ(l.count, 0);
    EXPECT_EQ(ZqXmlU_FreeKwAllocList(&l), 0u);
}

TEST(KwList, UnsoundListsAreLeftAlone) {
    Word keys[2] = {5, 6}, values[2] = {7, 8};
    const ZQ_KWLIST_STRUCT_T shapes[] = {{3, 2, 0, keys, values},
                                         {-1, 2, 0, keys, values},
                                         {1, -4, 0, keys, values},
                                         {INT_MAX, 2, 1, keys, values}};
    for (const auto& shape : shapes) {
        ZQ_KWLIST_STRUCT_T l = shape;
        for (int mode : {1, 2, 4, 5, 0})
            EXPECT_EQ(ZqXmlU_ModifyKwList(&l, 5, 1, mode, Tag()), -1);
        ZqXmlU_DelFromKwList(&l, 0, 1);
        ZqXmlU_PurgeIdentity(&l, 0);
        EXPECT_EQ(std::memcmp(&l, &shape, sizeof l), 0);
        EXPECT_TRUE(keys[0] == 5 && keys[1] == 6 && values[0] == 7 && values[1] == 8);
    }
    EXPECT_EQ(ZqXmlU_ModifyKwList(nullptr, 1, 1, 1, Tag()), -1);
    EXPECT_EQ(ZqXmlU_FreeKwList(nullptr), 0);
}

TEST(KwListDeathTest, GrowthBeyondOneBlockEndsTheProcess) {
    Word word = 0;
    ZQ_KWLIST_STRUCT_T l{1100000000, 1100000000, 0, &word, &word};
    EXPECT_EXIT(ZqXmlU_ModifyKwList(&l, 1, 1, 5, Tag()), testing::ExitedWithCode(1),
                "heap exhausted");
    uint32_t key = 0;
    uint64_t value = 0;
    ZQ_KWLIST_STRUCT_TQ q{300000000, 300000000, 0, &key, &value};  // 8-byte values: > 4 GiB
    EXPECT_EXIT(ZqXmlU_ModifyKwList_q(&q, 1, 1, 5, Tag()), testing::ExitedWithCode(1),
                "heap exhausted");
    q.count = q.capacity = 600000000;
    EXPECT_EXIT(ZqXmlU_SortKwList_q(&q), testing::ExitedWithCode(1), "heap exhausted");
}

// ----- Typed lists ------------------------------------------------------------------------------

TEST(TypedList, PMatchesBothHalvesAndQLooksUpTheLowWord) {
    ZQ_KWLIST_STRUCT_TP p{};
    EXPECT_EQ(ZqXmlU_ModifyKwList_p(&p, 0x0000000200000002ull, 5, 1, Tag()), -1);
    EXPECT_EQ(ZqXmlU_ModifyKwList_p(&p, 0x0000000100000002ull, 6, 1, Tag()), -1);
    EXPECT_EQ(ZqXmlU_ModifyKwList_p(&p, 0x0000000100000002ull, 7, 1, Tag()), 1);
    EXPECT_EQ(ZqXmlU_ModifyKwList_p(&p, 0x0000000200000002ull, 0, 4, Tag()), 5);
    EXPECT_EQ(ZqXmlU_ModifyKwList_p(&p, 2, 0, 0, Tag()), -1);
    EXPECT_EQ(ZqXmlU_ModifyKwList_p(&p, 0x0000000200000002ull, 0, 2, Tag()), 0);
    EXPECT_TRUE(p.count == 1 && p.keys[0] == 0x0000000100000002ull && p.values[0] == 7);

    ZQ_KWLIST_STRUCT_TQ q{};
    ZqXmlU_ModifyKwList_q(&q, 1, 0x0000000500000009ull, 1, Tag());
    ZqXmlU_ModifyKwList_q(&q, 2, 0xFFFFFFFF00000000ull, 1, Tag());
    EXPECT_EQ(ZqXmlU_ModifyKwList_q(&q, 1, 0, 4, Tag()), 9);
    EXPECT_EQ(ZqXmlU_ModifyKwList_q(&q, 2, 0, 4, Tag()), 0);
    EXPECT_EQ(ZqXmlU_ModifyKwList_q(&q, 1, 0, 2, Tag()), 0);
    EXPECT_EQ(q.values[0], 0xFFFFFFFF00000000ull);  // the whole 64-bit value moved

    // Both release through the keyword list's release, by a cast.
    for (int i = 0; i < 4; ++i)
        ZqXmlU_ModifyKwList_q(&q, 10 + i, i, 5, Tag());
    EXPECT_EQ(q.capacity, 15);
    EXPECT_EQ(ZqXmlU_FreeKwList(reinterpret_cast<ZQ_KWLIST_STRUCT_T*>(&p)), 5 * (8 + 4));
    EXPECT_EQ(ZqXmlU_FreeKwList(reinterpret_cast<ZQ_KWLIST_STRUCT_T*>(&q)), 15 * (4 + 8));
    EXPECT_TRUE(p.count == 0 && p.capacity == 0 && !p.keys && !p.values && p.owned == 1);
    EXPECT_TRUE(q.count == 0 && q.capacity == 0 && !q.keys && !q.values && q.owned == 1);
}

TEST(TypedList, LentQArraysAreCopiedWholeAtTheFirstGrowth) {
    uint32_t keys[3] = {4, 5, 0};
    uint64_t values[3] = {0x100000004ull, 0x100000005ull, 0};
    ZQ_KWLIST_STRUCT_TQ q{2, 3, 0, keys, values};
    ZqXmlU_ModifyKwList_q(&q, 6, 0x100000006ull, 1, Tag());
    EXPECT_TRUE(q.owned == 1 && q.capacity == 11 && q.keys != keys && keys[2] == 0);
    EXPECT_EQ(std::vector<uint64_t>(q.values, q.values + 3),
              (std::vector<uint64_t>{0x100000004ull, 0x100000005ull, 0x100000006ull}));
    ZqXmlU_FreeKwList(reinterpret_cast<ZQ_KWLIST_STRUCT_T*>(&q));
}

// Sorts keys in a Q list whose values carry a marker of their entry, and checks that the keys
// come out in unsigned order, each with its own value.
void ExpectSorted(const std::vector<uint32_t>& keys) {
    ZQ_KWLIST_STRUCT_TQ q{};
    for (size_t i = 0; i < keys.size(); ++i)
        ZqXmlU_ModifyKwList_q(&q, keys[i], uint64_t{keys[i]} << 32 | i, 5, Tag());
    const int capacity = q.capacity;
    ZqXmlU_SortKwList_q(&q);
    ASSERT_EQ(q.count, int(keys.size()));
    EXPECT_EQ(q.capacity, capacity);
    std::vector<uint32_t> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    std::vector<bool> seen(keys.size());
    for (int i = 0; i < q.count; ++i) {
        ASSERT_EQ(q.keys[i], sorted[i]) << "size " << keys.size() << " at " << i;
        ASSERT_EQ(q.values[i] >> 32, q.keys[i]);
        ASSERT_FALSE(seen[q.values[i] & 0xFFFFFFFF]);
        seen[q.values[i] & 0xFFFFFFFF] = true;
    }
    ZqXmlU_FreeKwList(reinterpret_cast<ZQ_KWLIST_STRUCT_T*>(&q));
}

TEST(TypedList, SortOrdersKeysUnsignedWithTheirValues) {
    ExpectSorted({});
    ExpectSorted({0xFFFFFFFF});
    ExpectSorted({7, 3, 0xFFFFFFFF, 3});
    ExpectSorted({0x80000000, 0x7FFFFFFF, 1, 0});
    uint32_t state = 12345;
    for (size_t n : {254u, 255u, 256u, 257u, 5000u}) {  // 255 on the stack, 256 on the heap
        std::vector<uint32_t> keys(n);
        for (auto& k : keys)
            k = (state = state * 1103515245u + 12345u) % (n < 300 ? 0xFFFFFFFFu : 100u);
        ExpectSorted(keys);
    }
    uint32_t keys[4] = {9, 8, 7, 6};  // a lent list sorts in place
    uint64_t values[4] = {1, 2, 3, 4};
    ZQ_KWLIST_STRUCT_TQ lent{3, 4, 0, keys, values};
    ZqXmlU_SortKwList_q(&lent);
    EXPECT_TRUE(keys[0] == 7 && keys[2] == 9 && keys[3] == 6 && values[0] == 3 && values[3] == 4);
    ZQ_KWLIST_STRUCT_TQ unsound{5, 4, 0, keys, values};
    ZqXmlU_SortKwList_q(&unsound);
    EXPECT_EQ(keys[0], 7u);
}

// ----- Prefix list ------------------------------------------------------------------------------

TEST(PrefixList, AppendsRowsAndReleasesOwnedColumns) {
    ZQ_PREFIX_URILIST_STRUCT_T l{};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ZqXmlU_AddToPrefixUriList(&l, 7, i, -i, 0, Tag()), i);
    EXPECT_TRUE(l.capacity == 15 && l.owned == 1 && l.prefixes[1] == 7 && l.uris[4] == 4 &&
                l.extras[4] == -4 && l.prefixes[5] == 0);
    EXPECT_EQ(ZqXmlU_FreePrefixUriList(&l), 3u * 15 * kWord);
    EXPECT_TRUE(l.count == 0 && l.capacity == 0 && l.owned == 1 && !l.prefixes && !l.extras);
    EXPECT_EQ(ZqXmlU_FreePrefixUriList(&l), 0u);

    uintptr_t p[2] = {1, 0};
    intptr_t u[2] = {2, 0}, e[2] = {3, 0};
    ZQ_PREFIX_URILIST_STRUCT_T lent{1, 2, 0, p, u, e};
    EXPECT_EQ(ZqXmlU_AddToPrefixUriList(&lent, 4, 5, 6, 0, Tag()), 1);
    EXPECT_TRUE(lent.prefixes != p && lent.capacity == 9 && p[1] == 0 && lent.extras[0] == 3);
    EXPECT_EQ(ZqXmlU_FreePrefixUriList(&lent), 3u * 9 * kWord);
    ZQ_PREFIX_URILIST_STRUCT_T kept{1, 2, 0, p, u, e};
    EXPECT_EQ(ZqXmlU_FreePrefixUriList(&kept), 0u);
    EXPECT_TRUE(kept.count == 0 && kept.capacity == 2 && kept.prefixes == p);
    ZQ_PREFIX_URILIST_STRUCT_T unsound{3, 2, 0, p, u, e};
    EXPECT_EQ(ZqXmlU_AddToPrefixUriList(&unsound, 4, 5, 6, 0, Tag()), -1);
}

// ----- String list, word list, tag array --------------------------------------------------------

TEST(StringList, CopiesTextAndGrowsByHalfPlus24) {
    ZQ_KWLIST_STRUCT_T l{};
    std::string text = "abc";
    ZqXmlU_AddString(&l, text.c_str());
    text[0] = 'x';
    const char* copy = reinterpret_cast<const char*>(l.keys[0]);
    EXPECT_TRUE(l.count == 1 && l.capacity == 24 && l.owned == 0 && !l.values);
    EXPECT_STREQ(copy, "abc");
    EXPECT_EQ(ZqXmlU_GetUsedSpace(const_cast<char*>(copy)), 4u);
    const struct {
        int count, capacity;  // capacity once `count` strings are in
    } points[] = {{23, 24}, {24, 60}, {59, 60}, {60, 114}, {113, 114}, {114, 195}};
    for (const auto& pt : points) {
        while (l.count < pt.count)
            ZqXmlU_AddString(&l, std::to_string(l.count).c_str());
        EXPECT_EQ(l.capacity, pt.capacity) << pt.count;
    }
    EXPECT_STREQ(reinterpret_cast<const char*>(l.keys[112]), "112");
    ZqXmlU_AddString(&l, nullptr);  // adds nothing
    EXPECT_EQ(l.count, 114);
    for (int i = 0; i < l.count; ++i) {
        void* s = reinterpret_cast<void*>(l.keys[i]);
        ZqXmlU_Free(&s);
    }
    void* keys = l.keys;
    EXPECT_EQ(ZqXmlU_Free(&keys), 195 * kWord);

    ZQ_KWLIST_STRUCT_T empty{};
    ZqXmlU_AddString(&empty, nullptr);  // only makes room
    EXPECT_TRUE(empty.count == 0 && empty.capacity == 24);
    keys = empty.keys;
    ZqXmlU_Free(&keys);
}

TEST(WordList, GrowsByAQuarterPlus32) {
    ZQ_KWLIST_STRUCT_T l{};
    ZqXmlU_AddToList(&l, 5);
    EXPECT_TRUE(l.count == 1 && l.capacity == 32 && l.keys[0] == 5);
    const struct { int count, capacity; } points[] = {{30, 32}, {31, 69}, {67, 69}, {68, 115}};
    for (const auto& pt : points) {
        while (l.count < pt.count)
            ZqXmlU_AddToList(&l, l.count);
        EXPECT_EQ(l.capacity, pt.capacity) << pt.count;
    }
    EXPECT_EQ(l.keys[67], 67u);
    void* keys = l.keys;
    EXPECT_EQ(ZqXmlU_Free(&keys), 115 * kWord);
}

TEST(TagArray, GrowsWhenFullAndReleasesFourColumns) {
    ZQ_TAGS_STRUCT_T t{};
    EXPECT_EQ(ZqXmlU_ReleaseTags(&t), 0);
    ZqXmlU_AugmentTags(&t, 1, 2, 0x300000003ull, 99);
    EXPECT_TRUE(t.count == 1 && t.capacity == 256 && t.first[0] == 1 && t.second[0] == 2 &&
                t.third[0] == 0 && t.wide[0] == 0x300000003ull);
    EXPECT_EQ(ZqXmlU_ReleaseTags(&t), 5120);
    EXPECT_TRUE(t.count == 0 && t.capacity == 0 && !t.first && !t.wide);
    t.third = nullptr;
    for (uint32_t i = 0; i < 257; ++i) {
        if (i == 256) t.third[255] = 0xCC;  // the host's column survives growth
        ZqXmlU_AugmentTags(&t, i, 2 * i, i, 0);
    }
    EXPECT_TRUE(t.capacity == 576 && t.first[256] == 256 && t.second[256] == 512);
    EXPECT_TRUE(t.third[255] == 0xCC && t.third[256] == 0 && t.wide[256] == 256);
    EXPECT_EQ(ZqXmlU_ReleaseTags(&t), 576 * 20);
    ZqXmlU_AddPString();
}

}  // namespace
