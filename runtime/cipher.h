// RC4 key slots and hexadecimal text.
#pragma once

#include <cstdint>
#include <span>

namespace vutil::runtime {

/// Four RC4 key schedules kept between calls, so that one stream can be
/// enciphered in several pieces. Keys go to the slots round robin.
class Rc4Slots {
public:
    static constexpr int kSlots = 4;

    /// Schedules key into the next slot (the first key after loading goes to
    /// slot 1) and returns the slot. An empty key schedules as if every key
    /// byte were 0.
    int32_t prepare(std::span<const uint8_t> key) noexcept;
    /// Enciphers data in place with the keystream of slot, continuing where
    /// the previous call on that slot stopped. A slot outside 0..3 does nothing.
    void apply(std::span<uint8_t> data, int32_t slot) noexcept;

    static Rc4Slots &shared() noexcept;

private:
    struct State {
        uint8_t permutation[256];
        uint8_t i;
        uint8_t j;
    };
    State slots_[kSlots] = {};
    uint32_t counter_ = 0;
};

/// Writes two upper-case hex digits per byte and a terminator; returns 2 * size + 1.
int32_t bytesToHex(std::span<const uint8_t> data, char *text) noexcept;
/// Converts pairs of characters to bytes ('0'-'9' by digit, any other
/// character as its code minus 55); a last unpaired character is ignored.
/// Returns the number of bytes written, text.size() / 2.
int32_t hexToBytes(std::span<const char> text, uint8_t *data) noexcept;

}  // namespace vutil::runtime
