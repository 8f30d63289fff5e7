// The atom table and list boxes.
#include "runtime/atoms.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace vutil::runtime {

bool AtomTable::add(uint32_t key, uint32_t value) noexcept {
    if (key == 0) {
        return false;
    }
    Entry *free = nullptr;
    for (Entry &entry : entries_) {
        if (entry.key == key) {
            entry.value = value;
            return true;
        }
        if (entry.key == 0 && free == nullptr) {
            free = &entry;
        }
    }
    if (free == nullptr) {
        return false;
    }
    *free = {key, value};
    return true;
}

uint32_t AtomTable::find(uint32_t key) const noexcept {
    // Key 0 finds a free entry, whose value is 0 as well.
    for (const Entry &entry : entries_) {
        if (entry.key == key) {
            return entry.value;
        }
    }
    return 0;
}

void AtomTable::remove(uint32_t key) noexcept {
    for (Entry &entry : entries_) {
        if (entry.key == key) {
            entry = {0, 0};
        }
    }
}

AtomTable &AtomTable::shared() noexcept {
    static AtomTable table;
    return table;
}

ListBox *ListBox::create() noexcept {
    auto *list = new (std::nothrow) ListBox;
    if (list == nullptr) {
        return nullptr;
    }
    list->slots_.reset(new (std::nothrow) char *[kGrowth]());
    if (list->slots_ == nullptr) {
        delete list;
        return nullptr;
    }
    list->capacity_ = kGrowth;
    return list;
}

ListBox::~ListBox() { clear(); }

bool ListBox::add(const char *text) noexcept {
    if (count_ == capacity_) {
        if (capacity_ > UINT32_MAX - kGrowth) {
            return false;
        }
        std::unique_ptr<char *[]> grown(new (std::nothrow) char *[capacity_ + kGrowth]());
        if (grown == nullptr) {
            return false;
        }
        std::memcpy(grown.get(), slots_.get(), capacity_ * sizeof(char *));
        slots_ = std::move(grown);
        capacity_ += kGrowth;
    }
    const std::size_t size = std::strlen(text) + 1;
    char *copy = new (std::nothrow) char[size];
    if (copy == nullptr) {
        return false;
    }
    std::memcpy(copy, text, size);
    slots_[count_++] = copy;
    return true;
}

void ListBox::remove(uint32_t index) noexcept {
    if (index >= count_) {
        return;
    }
    delete[] slots_[index];
    std::memmove(&slots_[index], &slots_[index + 1], (count_ - index - 1) * sizeof(char *));
    slots_[--count_] = nullptr;
}

void ListBox::clear() noexcept {
    for (uint32_t i = 0; i < count_; ++i) {
        delete[] slots_[i];
        slots_[i] = nullptr;
    }
    count_ = 0;
}

const char *ListBox::entry(uint32_t index) const noexcept { return index < count_ ? slots_[index] : nullptr; }

void ListBox::sort(int (*compare)(const void *, const void *)) noexcept {
    if (count_ > 1) {
        std::qsort(slots_.get(), count_, sizeof(char *), compare);
    }
}

}  // namespace vutil::runtime
