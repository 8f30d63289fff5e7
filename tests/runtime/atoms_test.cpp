// Tests of the atom table and the list boxes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/atoms.h"
#include "vutil/runtime.h"

namespace {

TEST(AtomTable, HoldsExactlyCapacityKeysReplacesValuesAndReusesFreedEntries) {
    for (uint32_t i = 0; i < KOR_ATOM_CAPACITY; ++i) {
        ASSERT_EQ(KorAddAtom(1000 + i, 7 * i + 3), 1) << "entry " << i;
    }
    EXPECT_EQ(KorAddAtom(99999, 1), 0) << "a new key beyond the capacity";
    EXPECT_EQ(KorFindAtom(99999), 0u);
    EXPECT_EQ(KorAddAtom(1000 + 77, 123456), 1) << "an existing key when the table is full";
    for (uint32_t i = 0; i < KOR_ATOM_CAPACITY; ++i) {
        EXPECT_EQ(KorFindAtom(1000 + i), i == 77 ? 123456u : 7 * i + 3) << "entry " << i;
    }
    // Deleted entries are free again, and only those.
    EXPECT_EQ(KorDeleteAtom(1000 + 5), 1);
    EXPECT_EQ(KorDeleteAtom(1000 + 100), 1);
    EXPECT_EQ(KorFindAtom(1000 + 5), 0u);
    EXPECT_EQ(KorAddAtom(99998, 42), 1);
    EXPECT_EQ(KorAddAtom(99999, 43), 1);
    EXPECT_EQ(KorAddAtom(99997, 44), 0);
    EXPECT_EQ(KorFindAtom(99998), 42u);
    EXPECT_EQ(KorFindAtom(99999), 43u);
    for (uint32_t i = 0; i < KOR_ATOM_CAPACITY; ++i) {
        KorDeleteAtom(1000 + i);
    }
    KorDeleteAtom(99998);
    KorDeleteAtom(99999);
}

TEST(AtomTable, KeyZeroIsTheFreeMarkerAndNeverStored) {
    EXPECT_EQ(KorAddAtom(0, 5), 0);
    EXPECT_EQ(KorFindAtom(0), 0u) << "free entries have key 0 but no value to give";
    EXPECT_EQ(KorDeleteAtom(0), 1);
    EXPECT_EQ(KorDeleteAtom(12345), 1) << "deleting an absent key";
    EXPECT_EQ(KorAddAtom(UINT32_MAX, UINT32_MAX), 1);
    EXPECT_EQ(KorFindAtom(UINT32_MAX), UINT32_MAX);
    KorDeleteAtom(UINT32_MAX);
}

std::vector<std::string> entries(const kor_listbox *list) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < KorQueryListBoxNumEntries(list); ++i) {
        out.emplace_back(KorQueryListBoxEntry(list, i));
    }
    return out;
}

TEST(ListBox, GrowsBy32AndKeepsCopies) {
    kor_listbox *list = KorCreateListBox();
    ASSERT_NE(list, nullptr);
    const auto *box = reinterpret_cast<const vutil::runtime::ListBox *>(list);
    EXPECT_EQ(box->capacity(), 32u);
    char text[16];
    for (int i = 0; i < 65; ++i) {
        std::snprintf(text, sizeof text, "item %d", i);
        ASSERT_EQ(KorAddToListBox(list, text), 1);
        EXPECT_EQ(box->capacity(), i < 32 ? 32u : i < 64 ? 64u : 96u) << "after " << i + 1 << " entries";
    }
    std::strcpy(text, "changed");  // the list holds its own copies
    EXPECT_STREQ(KorQueryListBoxEntry(list, 64), "item 64");
    EXPECT_STREQ(KorQueryListBoxEntry(list, 31), "item 31");
    EXPECT_EQ(KorQueryListBoxEntry(list, 65), nullptr) << "index equal to the count";
    EXPECT_EQ(KorQueryListBoxNumEntries(list), 65u);
    EXPECT_EQ(KorRemoveAllFromListBox(list), 1);
    EXPECT_EQ(KorQueryListBoxNumEntries(list), 0u);
    EXPECT_EQ(box->capacity(), 96u) << "the capacity never shrinks";
    EXPECT_EQ(KorAddToListBox(list, ""), 1);
    EXPECT_STREQ(KorQueryListBoxEntry(list, 0), "");
    EXPECT_EQ(KorDestroyListBox(list), 1);
}

TEST(ListBox, RemovalClosesTheGapAndAlwaysReturnsZero) {
    kor_listbox *list = KorCreateListBox();
    for (const char *s : {"a", "b", "c", "d"}) {
        KorAddToListBox(list, s);
    }
    EXPECT_EQ(KorRemoveFromListBox(list, 0), 0);
    EXPECT_EQ(entries(list), (std::vector<std::string>{"b", "c", "d"}));
    EXPECT_EQ(KorRemoveFromListBox(list, 1), 0);
    EXPECT_EQ(entries(list), (std::vector<std::string>{"b", "d"}));
    EXPECT_EQ(KorRemoveFromListBox(list, 1), 0);
    EXPECT_EQ(entries(list), (std::vector<std::string>{"b"}));
    EXPECT_EQ(KorRemoveFromListBox(list, 1), 0) << "index equal to the count";
    EXPECT_EQ(KorRemoveFromListBox(list, UINT32_MAX), 0);
    EXPECT_EQ(entries(list), (std::vector<std::string>{"b"}));
    KorDestroyListBox(list);
}

int compareEntries(const void *a, const void *b) {
    return std::strcmp(*static_cast<const char *const *>(a), *static_cast<const char *const *>(b));
}

int calls = 0;
int countingCompare(const void *a, const void *b) {
    ++calls;
    return compareEntries(a, b);
}

TEST(ListBox, SortsThroughPointersToEntries) {
    kor_listbox *list = KorCreateListBox();
    KorAddToListBox(list, "only");
    calls = 0;
    EXPECT_EQ(KorSortListBox(list, countingCompare), 1);
    EXPECT_EQ(calls, 0) << "one entry needs no comparison";
    for (const char *s : {"pear", "apple", "fig", "banana", "apple"}) {
        KorAddToListBox(list, s);
    }
    EXPECT_EQ(KorSortListBox(list, compareEntries), 1);
    EXPECT_EQ(entries(list), (std::vector<std::string>{"apple", "apple", "banana", "fig", "only", "pear"}));
    EXPECT_EQ(KorSortListBox(list, nullptr), 0);
    KorDestroyListBox(list);
}

TEST(ListBox, NullArgumentsAreRefused) {
    EXPECT_EQ(KorDestroyListBox(nullptr) + KorAddToListBox(nullptr, "x") + KorRemoveFromListBox(nullptr, 0) +
                  KorRemoveAllFromListBox(nullptr) + KorSortListBox(nullptr, compareEntries),
              0);
    EXPECT_EQ(KorQueryListBoxEntry(nullptr, 0), nullptr);
    EXPECT_EQ(KorQueryListBoxNumEntries(nullptr), 0u);
    kor_listbox *list = KorCreateListBox();
    EXPECT_EQ(KorAddToListBox(list, nullptr), 0);
    EXPECT_EQ(KorQueryListBoxNumEntries(list), 0u);
    KorDestroyListBox(list);
}

}  // namespace
