// Tests of the atom table and the list boxes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/atoms.h"
#include "support/facts.h"
#include "vutil/runtime.h"

namespace {

TEST(AtomTable, HoldsExactlyCapacityKeysReplacesValuesAndReusesFreedEntries) {
    // Key 0 marks free entries and is never stored; deleting an absent key succeeds.
    EXPECT_TRUE(KorAddAtom(0, 5) == 0 && KorFindAtom(0) == 0 && KorDeleteAtom(0) == 1 && KorDeleteAtom(12345) == 1);
    const auto key = [](uint32_t i) { return i == 9 ? UINT32_MAX : 1000 + i; };
    for (uint32_t i = 0; i < KOR_ATOM_CAPACITY; ++i) ASSERT_EQ(KorAddAtom(key(i), 7 * i + 3), 1) << "entry " << i;
    EXPECT_TRUE(KorAddAtom(99999, 1) == 0 && KorFindAtom(99999) == 0) << "a new key beyond the capacity";
    EXPECT_EQ(KorAddAtom(key(77), 123456), 1) << "an existing key when the table is full";
    for (uint32_t i = 0; i < KOR_ATOM_CAPACITY; ++i) EXPECT_EQ(KorFindAtom(key(i)), i == 77 ? 123456u : 7 * i + 3) << i;
    // Deleted entries are free again, and only those.
    EXPECT_TRUE(KorDeleteAtom(key(5)) == 1 && KorDeleteAtom(key(100)) == 1 && KorFindAtom(key(5)) == 0);
    EXPECT_TRUE(KorAddAtom(99998, 42) == 1 && KorAddAtom(99999, 43) == 1 && KorAddAtom(99997, 44) == 0 && KorFindAtom(99998) == 42 && KorFindAtom(99999) == 43);
    for (uint32_t i = 0; i < KOR_ATOM_CAPACITY; ++i) KorDeleteAtom(key(i));
    KorDeleteAtom(99998), KorDeleteAtom(99999);
}

std::vector<std::string> entries(const kor_listbox *list) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < KorQueryListBoxNumEntries(list); ++i) out.emplace_back(KorQueryListBoxEntry(list, i));
    return out;
}

TEST(ListBox, GrowsBy32KeepsCopiesAndClosesGaps) {
    kor_listbox *list = KorCreateListBox();
    ASSERT_NE(list, nullptr);
    const auto *box = reinterpret_cast<const vutil::runtime::ListBox *>(list);
    char text[16];
    std::vector<std::string> expected;
    for (int i = 0; i < 65; ++i) {
        std::snprintf(text, sizeof text, "item %d", i);
        EXPECT_EQ(box->capacity(), i <= 32 ? 32u : i <= 64 ? 64u : 96u) << "before " << i + 1 << " entries";
        ASSERT_EQ(KorAddToListBox(list, text), 1);
        expected.emplace_back(text);
    }
    std::strcpy(text, "changed");  // the list holds its own copies, all of them kept across growth
    EXPECT_TRUE(entries(list) == expected && box->capacity() == 96u && KorQueryListBoxEntry(list, 65) == nullptr);
    // Removal closes the gap and always answers 0.
    for (uint32_t index : {0u, 30u, 62u, 62u, UINT32_MAX}) {
        EXPECT_EQ(KorRemoveFromListBox(list, index), 0);
        if (index < expected.size()) expected.erase(expected.begin() + index);
    }
    EXPECT_EQ(entries(list), expected);
    EXPECT_TRUE(KorRemoveAllFromListBox(list) == 1 && KorQueryListBoxNumEntries(list) == 0u && box->capacity() == 96u) << "the capacity never shrinks";
    EXPECT_TRUE(KorAddToListBox(list, "") == 1 && std::string(KorQueryListBoxEntry(list, 0)).empty());
    EXPECT_EQ(KorDestroyListBox(list), 1);
}

int compareEntries(const void *a, const void *b) {
    return std::strcmp(*static_cast<const char *const *>(a), *static_cast<const char *const *>(b));
}

TEST(ListBox, SortsThroughPointersToEntriesAndRefusesNulls) {
    kor_listbox *list = KorCreateListBox();
    for (const char *s : {"pear", "apple", "fig", "banana", "apple", "only"}) KorAddToListBox(list, s);
    EXPECT_EQ(KorSortListBox(list, compareEntries), 1);
    EXPECT_EQ(entries(list), (std::vector<std::string>{"apple", "apple", "banana", "fig", "only", "pear"}));
    vutil::test::expectFacts({FACT(KorSortListBox(list, nullptr), 0), FACT(KorAddToListBox(list, nullptr), 0), FACT(KorQueryListBoxNumEntries(list), 6)});
    KorDestroyListBox(list);
    vutil::test::expectFacts({FACT(KorDestroyListBox(nullptr), 0), FACT(KorAddToListBox(nullptr, "x"), 0), FACT(KorRemoveFromListBox(nullptr, 0), 0),
                              FACT(KorRemoveAllFromListBox(nullptr), 0), FACT(KorSortListBox(nullptr, compareEntries), 0),
                              FACT(KorQueryListBoxNumEntries(nullptr), 0), FACT(KorQueryListBoxEntry(nullptr, 0), nullptr)});
}

}  // namespace
