// The atom table (128 key/value pairs) and list boxes (growable lists of owned string copies).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vutil::runtime {

/// One process-wide table that maps 32-bit keys to 32-bit values. A key of 0
/// marks a free entry, so key 0 itself can be neither added nor found.
class AtomTable {
public:
    static constexpr std::size_t kCapacity = 128;

    /// Replaces the value of key, or puts the pair into the first free entry.
    /// False when key is 0, or when the key is new and every entry is taken.
    bool add(uint32_t key, uint32_t value) noexcept;
    /// The value of key; 0 when there is none (a stored 0 looks the same).
    uint32_t find(uint32_t key) const noexcept;
    /// Frees every entry of key.
    void remove(uint32_t key) noexcept;

    static AtomTable &shared() noexcept;

private:
    struct Entry {
        uint32_t key;
        uint32_t value;
    };
    Entry entries_[kCapacity] = {};
};

/// A list of string copies in slots that grow 32 at a time and never shrink.
/// Entries 0..count-1 hold the strings without gaps; the rest of the slots are empty.
class ListBox {
public:
    static constexpr uint32_t kGrowth = 32;

    /// A new empty list with 32 slots, or null when memory runs out.
    static ListBox *create() noexcept;
    ~ListBox();
    ListBox(const ListBox &) = delete;
    ListBox &operator=(const ListBox &) = delete;

    /// Appends a copy of text, first adding 32 slots when all are in use.
    /// False (the list unchanged) when memory for either runs out.
    bool add(const char *text) noexcept;
    /// Takes out the entry at index; the others keep their order. An index at
    /// or beyond the count changes nothing.
    void remove(uint32_t index) noexcept;
    /// Frees every string; the slots stay.
    void clear() noexcept;
    /// The list's own copy of the entry at index, or null beyond the count.
    const char *entry(uint32_t index) const noexcept;
    uint32_t count() const noexcept { return count_; }
    uint32_t capacity() const noexcept { return capacity_; }
    /// Sorts the entries with qsort; compare receives pointers to two entries.
    void sort(int (*compare)(const void *, const void *)) noexcept;

private:
    ListBox() = default;

    /// Each slot owns its string (made with new[]). The slots are plain
    /// pointers because compare receives pointers to them as char pointers.
    std::unique_ptr<char *[]> slots_;
    uint32_t capacity_ = 0;
    uint32_t count_ = 0;
};

}  // namespace vutil::runtime
