// Keyword lists, typed lists, prefix list, string lists and tag arrays.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
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

}  // namespace
