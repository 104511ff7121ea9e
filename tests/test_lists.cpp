// Keyword lists, typed lists, prefix list, string lists and tag arrays. Random operation sequences
// are checked against a model by fuzz/fuzz_lists.cpp; these tests pin the fixed points.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <utility>
#include <vector>

#include "support.h"
#include "zqxmlu.h"

namespace {

using zqtest::Tag;
using W = uintptr_t;
using Points = std::vector<std::pair<int, int>>;  // {count, capacity once count entries are in}
constexpr int kW = sizeof(W);

std::vector<W> Keys(const ZQ_KWLIST_STRUCT_T& l) {
    return {l.keys, l.keys + l.count};
}

// Adds entries with `add` up to each point's count and checks the capacity there.
template <typename Add>
void ExpectGrowth(const ZQ_KWLIST_STRUCT_T& l, Add add, const Points& points) {
    for (auto [count, capacity] : points) {
        while (l.count < count)
            add();
        EXPECT_EQ(l.capacity, capacity) << count;
    }
}

ZQ_KWLIST_STRUCT_T Filled(int n) {  // keys 10, 20, ..., values 100, 200, ...
    ZQ_KWLIST_STRUCT_T l{};
    for (int i = 1; i <= n; ++i)
        ZqXmlU_ModifyKwList(&l, 10 * i, 100 * i, 5, Tag());
    return l;
}

TEST(KwList, RoomIsMadeFirstWhateverTheMode) {
    ZQ_KWLIST_STRUCT_T l{};
    EXPECT_EQ(ZqXmlU_ModifyKwList(&l, 1, 1, 4, Tag()), -1);
    EXPECT_TRUE(l.count == 0 && l.capacity == 5 && l.owned == 1);
    ExpectGrowth(l, [&] { ZqXmlU_ModifyKwList(&l, l.count + 1, 7, 1, Tag()); },
                 {{4, 5}, {5, 15}, {14, 15}, {15, 35}, {35, 75}});
    EXPECT_TRUE(l.keys[34] == 35 && l.keys[74] == 0 && l.values[74] == 0);
    EXPECT_EQ(ZqXmlU_FreeKwList(&l), 2 * 75 * kW);
    EXPECT_TRUE(l.count == 0 && l.capacity == 0 && l.owned == 1 && !l.keys && !l.values);
}

TEST(KwList, ModesOnTenTwentyThirtyForty) {
    const struct {
        W key, value;
        int mode, result;
        std::vector<W> keys;
        W valueAt;  // afterwards, at the index found, else at the last entry
    } cases[] = {
        {20, 7, 1, 1, {10, 20, 30, 40}, 7},      {50, 5, 1, -1, {10, 20, 30, 40, 50}, 5},
        {20, 9, 5, -1, {10, 20, 30, 40, 20}, 9}, {20, 0, 2, 1, {10, 40, 30}, 400},
        {40, 0, 2, 3, {10, 20, 30}, 400},        {99, 0, 2, -1, {10, 20, 30, 40}, 400},
        {30, 0, 4, 300, {10, 20, 30, 40}, 400},  {99, 0, 4, -1, {10, 20, 30, 40}, 400},
        {30, 0, 3, 2, {10, 20, 30, 40}, 300},    {40, 0, -7, 3, {10, 20, 30, 40}, 400},
    };
    for (const auto& c : cases) {
        ZQ_KWLIST_STRUCT_T l = Filled(4);
        EXPECT_EQ(ZqXmlU_ModifyKwList(&l, c.key, c.value, c.mode, Tag()), c.result) << c.mode;
        EXPECT_EQ(Keys(l), c.keys) << c.mode << " " << c.key;
        const int at = c.result >= 0 && c.mode != 4 ? c.result : l.count - 1;
        EXPECT_EQ(l.values[at], c.valueAt) << c.mode << " " << c.key;  // a vacated slot keeps it
        ZqXmlU_FreeKwList(&l);
    }
}

TEST(KwList, LentArraysAreCopiedAtTheFirstGrowthAndNeverReleased) {
    W keys[5] = {1, 2, 0, 0, 0xEE}, values[5] = {11, 12, 0, 0, 0xEE};  // lent: capacity 4
    ZQ_KWLIST_STRUCT_T l{2, 4, 0, keys, values};
    ZqXmlU_ModifyKwList(&l, 3, 13, 1, Tag());  // 2 + 1 < 4: written in place
    EXPECT_TRUE(l.keys == keys && keys[2] == 3);
    ZqXmlU_ModifyKwList(&l, 4, 14, 1, Tag());  // 3 + 1 >= 4: copied first
    EXPECT_TRUE(l.keys != keys && l.owned == 1 && l.capacity == 13 && l.values[2] == 13);
    EXPECT_TRUE(Keys(l) == (std::vector<W>{1, 2, 3, 4}) && keys[3] == 0 && keys[4] == 0xEE);
    EXPECT_EQ(ZqXmlU_FreeKwList(&l), 2 * 13 * kW);
    ZQ_KWLIST_STRUCT_T lent{3, 3, 0, keys, values};
    EXPECT_EQ(ZqXmlU_FreeKwList(&lent), 0);
    EXPECT_TRUE(lent.count == 0 && lent.capacity == 3 && lent.keys == keys);
}

TEST(KwList, RangeAndIdentityRemoval) {
    const std::vector<W> all{10, 20, 30, 40, 50};
    for (const auto& [start, n, kept] : std::vector<std::tuple<int, int, std::vector<W>>>{
             {1, 2, {10, 40, 50}},
             {3, 2, {10, 20, 30}},  // the last entries: start + n == count
             {0, 5, {}},
             {4, 1, {10, 20, 30, 40}},
             {3, 3, all},  // one past the end
             {5, 0, all},
             {-1, 2, all},
             {4, INT_MAX, all},
         }) {
        ZQ_KWLIST_STRUCT_T l = Filled(5);
        ZqXmlU_DelFromKwList(&l, start, n);
        EXPECT_EQ(Keys(l), kept) << start << "," << n;
        ZqXmlU_FreeKwList(&l);
    }
    // Purging releases the key and moves the last entry in; the last entry itself moves nothing.
    for (const auto& [index, order] : Points{{1, 2}, {2, 1}, {0, 21}, {3, -1}, {-1, -1}}) {
        ZQ_KWLIST_STRUCT_T l{};
        std::vector<W> blocks;
        for (int size : {10, 11, 12}) {
            blocks.push_back(W(ZqXmlU_Calloc(size, 1, Tag())));
            ZqXmlU_ModifyKwList(&l, blocks.back(), size, 5, Tag());
        }
        EXPECT_EQ(ZqXmlU_PurgeIdentity(&l, index), 0);
        // order: the indexes left, two digits (or -1: nothing purged)
        const std::vector<W> left = order < 0
                                        ? blocks
                                        : std::vector<W>{blocks[static_cast<size_t>(order / 10)],
                                                         blocks[static_cast<size_t>(order % 10)]};
        EXPECT_EQ(Keys(l), left) << index;
        if (order >= 0) {  // the purged entry sits past the end: key released, value kept
            EXPECT_TRUE(l.keys[2] == 0 && l.values[2] == W(10 + index)) << index;
        }
        ZqXmlU_ModifyKwList(&l, 0, 9, 5, Tag());  // NULL keys are skipped
        EXPECT_EQ(ZqXmlU_FreeKwAllocList(&l), (order < 0 ? 33u : 33u - 10 - index) + 2 * 5 * kW);
    }
}

// Every export that reads or writes a list tests it first: 0 <= count <= capacity and its arrays
// present while capacity > 0. An unsound list is left exactly as it was.
TEST(Hostile, UnsoundListsAreLeftUntouched) {
    W word[2] = {5, 6};
    const struct {
        ZQ_KWLIST_STRUCT_T list;
        bool keysSound;  // sound as a string or word list, which uses only keys
    } cases[] = {
        {{2, 1, 0, word, word}, false},         // count past capacity
        {{-1, 2, 1, word, word}, false},        // negative count
        {{0, 10, 0, nullptr, nullptr}, false},  // arrays missing
        {{0, -3, 0, word, word}, false},       {{1, 2, 0, word, nullptr}, true},  // values missing
    };
    for (const auto& [u, keysSound] : cases) {
        const auto same = [&](const ZQ_KWLIST_STRUCT_T& l) {
            return std::memcmp(&l, &u, sizeof l) == 0 && word[0] == 5 && word[1] == 6;
        };
        for (int mode : {1, 2, 4, 5, 3}) {
            ZQ_KWLIST_STRUCT_T l = u;
            EXPECT_EQ(ZqXmlU_ModifyKwList(&l, 5, 1, mode, Tag()), -1) << mode;
            EXPECT_TRUE(same(l)) << mode;
        }
        ZQ_KWLIST_STRUCT_T l = u;
        ZqXmlU_DelFromKwList(&l, 0, 1);
        EXPECT_EQ(ZqXmlU_PurgeIdentity(&l, 0), 0);
        EXPECT_TRUE(same(l)) << u.count << "/" << u.capacity;
        if (keysSound) continue;
        ZqXmlU_AddToList(&l, 7);
        ZqXmlU_AddString(&l, "s");
        EXPECT_TRUE(ZqXmlU_FreeKwAllocList(&l) == 0 && ZqXmlU_FreeKwList(&l) == 0 && same(l))
            << u.count << "/" << u.capacity;
    }
    // The typed and other lists: NULL columns with capacity 2, count past capacity.
    uint32_t k32 = 1;
    uint64_t v64 = 2;
    ZQ_KWLIST_STRUCT_TQ q{2, 2, 0, nullptr, nullptr}, q2{3, 2, 0, &k32, &v64};
    ZqXmlU_SortKwList_q(&q);
    ZqXmlU_SortKwList_q(&q2);
    EXPECT_TRUE(ZqXmlU_ModifyKwList_q(&q, 1, 1, 5, Tag()) == -1 && q.keys == nullptr);
    EXPECT_TRUE(q2.count == 3 && k32 == 1 && v64 == 2);
    ZQ_KWLIST_STRUCT_TP p{0, 4, 0, nullptr, nullptr};
    EXPECT_TRUE(ZqXmlU_ModifyKwList_p(&p, 1, 1, 1, Tag()) == -1 && p.count == 0);
    intptr_t column = 0;
    ZQ_PREFIX_URILIST_STRUCT_T prefix{0, 3, 0, nullptr, &column, &column};
    EXPECT_TRUE(ZqXmlU_AddToPrefixUriList(&prefix, 1, 2, 3, 0, Tag()) == -1 && prefix.count == 0);
    prefix.count = 4;
    EXPECT_TRUE(ZqXmlU_FreePrefixUriList(&prefix) == 0 && prefix.count == 4 &&
                prefix.capacity == 3);
    ZQ_TAGS_STRUCT_T tags{nullptr, nullptr, nullptr, nullptr, 5, 0};
    ZqXmlU_AugmentTags(&tags, 1, 2, 3, 0);
    EXPECT_EQ(tags.count, 0u);
    tags.count = 6;
    EXPECT_TRUE(ZqXmlU_ReleaseTags(&tags) == 0 && tags.count == 6 && tags.capacity == 5);
    // NULL records: the failure answers.
    EXPECT_TRUE(ZqXmlU_ModifyKwList(nullptr, 1, 1, 1, Tag()) == -1 &&
                ZqXmlU_AddToPrefixUriList(nullptr, 1, 2, 3, 0, Tag()) == -1 &&
                ZqXmlU_FreeKwList(nullptr) == 0 && ZqXmlU_FreeKwAllocList(nullptr) == 0 &&
                ZqXmlU_ReleaseTags(nullptr) == 0 && ZqXmlU_PurgeIdentity(nullptr, 0) == 0);
    ZqXmlU_SortKwList_q(nullptr);
    ZqXmlU_AddString(nullptr, "s");
}

// Lent arrays that end where an inaccessible page begins: nothing reads or writes past their
// capacity, searching, appending in place, or copying them at the first growth.
TEST(Hostile, LentArraysEndingAtAPageAreNeverPassed) {
    zqtest::PageEnd keyPage(3 * sizeof(W)), valuePage(3 * sizeof(W));
    auto* keys = reinterpret_cast<W*>(keyPage.data());
    auto* values = reinterpret_cast<W*>(valuePage.data());
    keys[0] = 1;
    keys[1] = 2;
    ZQ_KWLIST_STRUCT_T l{2, 3, 0, keys, values};
    EXPECT_EQ(ZqXmlU_ModifyKwList(&l, 9, 0, 4, Tag()), -1);  // 2 + 1 >= 3: copied first
    EXPECT_TRUE(l.keys != keys && l.capacity == 11 && Keys(l) == (std::vector<W>{1, 2}));
    ZqXmlU_FreeKwList(&l);
    ZQ_KWLIST_STRUCT_T full{3, 3, 0, keys, values};
    keys[2] = 3;
    ZqXmlU_DelFromKwList(&full, 1, 2);  // the last two, up to the page
    EXPECT_EQ(Keys(full), std::vector<W>{1});
    full = {3, 3, 0, keys, values};
    keys[0] = keys[1] = keys[2] = 0;
    EXPECT_EQ(ZqXmlU_FreeKwAllocList(&full), 0u);  // NULL keys; lent arrays are not released
    EXPECT_TRUE(full.count == 0 && full.capacity == 3 && full.keys == keys);
}

TEST(KwListDeathTest, OversizedListsEndTheProcess) {
    uint32_t key = 0;
    uint64_t value = 0;
    ZQ_KWLIST_STRUCT_TQ q{300000000, 300000000, 0, &key, &value};  // 8-byte values: > 4 GiB
    EXPECT_EXIT(ZqXmlU_ModifyKwList_q(&q, 1, 1, 5, Tag()), testing::ExitedWithCode(1), "heap");
}

TEST(TypedList, WideColumnsMatchWholeAndReleaseThroughTheKeywordList) {
    ZQ_KWLIST_STRUCT_TP p{};
    ZqXmlU_ModifyKwList_p(&p, 0x200000002, 5, 1, Tag());
    EXPECT_EQ(ZqXmlU_ModifyKwList_p(&p, 0x100000002, 6, 1, Tag()), -1);  // high halves differ
    EXPECT_TRUE(ZqXmlU_ModifyKwList_p(&p, 0x200000002, 0, 2, Tag()) == 0 && p.values[0] == 6);
    ZQ_KWLIST_STRUCT_TQ q{};
    for (uint32_t k = 1; k <= 5; ++k)
        ZqXmlU_ModifyKwList_q(&q, k, uint64_t{k} << 32 | 9, 1, Tag());
    EXPECT_EQ(ZqXmlU_ModifyKwList_q(&q, 2, 0, 4, Tag()), 9);
    EXPECT_TRUE(ZqXmlU_ModifyKwList_q(&q, 2, 0, 2, Tag()) == 1 && q.values[1] == 0x500000009u);
    EXPECT_EQ(ZqXmlU_FreeKwList(reinterpret_cast<ZQ_KWLIST_STRUCT_T*>(&p)), 5 * (8 + 4));
    EXPECT_EQ(ZqXmlU_FreeKwList(reinterpret_cast<ZQ_KWLIST_STRUCT_T*>(&q)), 15 * (4 + 8));
    EXPECT_TRUE(p.capacity == 0 && !p.keys && q.count == 0 && q.capacity == 0 && !q.values);
}

TEST(TypedList, SortOrdersKeysUnsignedAndValuesTravelWithThem) {
    uint32_t seed = 12345;
    for (size_t n : {0, 1, 4, 255, 256, 5000}) {  // up to 255 on the stack, from 256 on the heap
        std::vector<uint32_t> keys{7, 3, 0xFFFFFFFF, 0x80000000};
        keys.resize(n);
        for (size_t i = 4; i < n; ++i)
            keys[i] = (seed = seed * 1103515245u + 12345u) % (n > 300 ? 50 : 0xFFFFFFFF);
        ZQ_KWLIST_STRUCT_TQ q{};
        for (size_t i = 0; i < n; ++i)
            ZqXmlU_ModifyKwList_q(&q, keys[i], uint64_t{keys[i]} << 32 | i, 5, Tag());
        ZqXmlU_SortKwList_q(&q);
        std::vector<uint64_t> seen(q.values, q.values + q.count);
        std::sort(keys.begin(), keys.end());
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(std::vector<uint32_t>(q.keys, q.keys + q.count), keys) << n;
        for (size_t i = 0; i < n; ++i)
            ASSERT_TRUE(q.values[i] >> 32 == q.keys[i] && (i == 0 || seen[i] != seen[i - 1]));
        ZqXmlU_FreeKwList(reinterpret_cast<ZQ_KWLIST_STRUCT_T*>(&q));
    }
}

TEST(Containers, PrefixStringWordAndTagGrowthPoints) {
    ZQ_PREFIX_URILIST_STRUCT_T prefixes{};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ZqXmlU_AddToPrefixUriList(&prefixes, 7, i, -i, 0, Tag()), i);
    EXPECT_TRUE(prefixes.capacity == 15 && prefixes.prefixes[1] == 7 && prefixes.extras[4] == -4);
    EXPECT_EQ(ZqXmlU_FreePrefixUriList(&prefixes), 3u * 15 * kW);

    ZQ_KWLIST_STRUCT_T strings{}, words{};
    ZqXmlU_AddString(&strings, nullptr);  // only makes room
    EXPECT_TRUE(strings.count == 0 && strings.capacity == 24);
    ExpectGrowth(strings, [&] { ZqXmlU_AddString(&strings, "abc"); },
                 {{23, 24}, {24, 60}, {59, 60}, {60, 114}});
    ExpectGrowth(words, [&] { ZqXmlU_AddToList(&words, words.count); },
                 {{1, 32}, {30, 32}, {31, 69}, {67, 69}, {68, 115}});
    EXPECT_TRUE(words.keys[67] == 67 && strings.owned == 0 && !words.values);
    EXPECT_STREQ(reinterpret_cast<char*>(strings.keys[59]), "abc");
    EXPECT_EQ(ZqXmlU_GetUsedSpace(reinterpret_cast<void*>(strings.keys[59])), 4u);
    EXPECT_EQ(ZqXmlU_FreeKwAllocList(&strings), 60u * 4);  // the copies: the array is not owned
    for (void* array : {static_cast<void*>(strings.keys), static_cast<void*>(words.keys)})
        ZqXmlU_Free(&array);

    ZQ_TAGS_STRUCT_T t{};
    ZqXmlU_AugmentTags(&t, 1, 2, 0x300000003, 0);
    EXPECT_TRUE(t.capacity == 256 && t.second[0] == 2 && t.wide[0] == 0x300000003);
    EXPECT_EQ(ZqXmlU_ReleaseTags(&t), 5120);
    for (uint32_t i = 0; i < 257; ++i)
        ZqXmlU_AugmentTags(&t, i, i, i, 0);
    EXPECT_TRUE(t.capacity == 576 && t.first[256] == 256 && t.third[256] == 0);
    EXPECT_EQ(ZqXmlU_ReleaseTags(&t), 576 * 20);
    EXPECT_TRUE(t.count == 0 && t.capacity == 0 && !t.third);
}

}  // namespace
