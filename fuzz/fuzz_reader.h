// Reading a fuzz input as a stream of values, and the check that stops a harness on a broken promise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace vutil::fuzz {

/// Aborts, which the fuzzer reports, when a promise of the code under test is broken.
inline void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

/// Takes values from the input in order; bytes past its end read as 0.
class Reader {
public:
    Reader(const uint8_t *data, std::size_t size) : data_(data), size_(size) {}
    template <typename T>
    T take() {
        T value{};
        unsigned char bytes[sizeof(T)] = {};
        for (std::size_t i = 0; i < sizeof(T) && pos_ < size_; ++i) {
            bytes[i] = data_[pos_++];
        }
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }
    std::size_t left() const { return size_ - pos_; }

private:
    const uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace vutil::fuzz
