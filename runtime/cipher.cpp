// RC4 key slots and hexadecimal text.
#include "runtime/cipher.h"

#include <utility>

namespace vutil::runtime {

int32_t Rc4Slots::prepare(std::span<const uint8_t> key) noexcept {
    counter_ = (counter_ + 1) % kSlots;
    State &s = slots_[counter_];
    for (int i = 0; i < 256; ++i) {
        s.permutation[i] = static_cast<uint8_t>(i);
    }
    uint8_t j = 0;
    std::size_t k = 0;
    for (int i = 0; i < 256; ++i) {
        uint8_t keyByte = key.empty() ? 0 : key[k];
        j = static_cast<uint8_t>(j + s.permutation[i] + keyByte);
        std::swap(s.permutation[i], s.permutation[j]);
        if (!key.empty()) {
            k = (k + 1) % key.size();
        }
    }
    s.i = 0;
    s.j = 0;
    return static_cast<int32_t>(counter_);
}

void Rc4Slots::apply(std::span<uint8_t> data, int32_t slot) noexcept {
    if (slot < 0 || slot >= kSlots) {
        return;
    }
    State &s = slots_[slot];
    uint8_t i = s.i;
    uint8_t j = s.j;
    for (uint8_t &byte : data) {
        i = static_cast<uint8_t>(i + 1);
        j = static_cast<uint8_t>(j + s.permutation[i]);
        std::swap(s.permutation[i], s.permutation[j]);
        byte ^= s.permutation[static_cast<uint8_t>(s.permutation[i] + s.permutation[j])];
    }
    s.i = i;
    s.j = j;
}

Rc4Slots &Rc4Slots::shared() noexcept {
    static Rc4Slots slots;
    return slots;
}

int32_t bytesToHex(std::span<const uint8_t> data, char *text) noexcept {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char *out = text;
    for (uint8_t byte : data) {
        *out++ = kDigits[byte >> 4];
        *out++ = kDigits[byte & 0x0F];
    }
    *out = '\0';
    return static_cast<int32_t>(2 * data.size() + 1);
}

int32_t hexToBytes(std::span<const char> text, uint8_t *data) noexcept {
    auto value = [](char c) { return (c >= '0' && c <= '9') ? c - '0' : static_cast<unsigned char>(c) - 55; };
    const std::size_t pairs = text.size() / 2;
    for (std::size_t p = 0; p < pairs; ++p) {
        data[p] = static_cast<uint8_t>(value(text[2 * p]) * 16 | value(text[2 * p + 1]));
    }
    return static_cast<int32_t>(pairs);
}

}  // namespace vutil::runtime
