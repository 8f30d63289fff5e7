// Text coordinate readers: one or two numbers from a line of text, or n reals from a text.
#include "fileio/coordinate_reader.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "vutil/runtime.h"

namespace vutil::fileio {
namespace {

bool isCoordinateStart(char c) noexcept {
    return (c >= '0' && c <= '9') || c == '-';
}

bool isRealStart(char c) noexcept {
    return (c >= '0' && c <= '9') || c == '-' || c == '+';
}

bool isSeparator(char c) noexcept {
    return std::strchr("\t\r\n=,; ", c) != nullptr && c != '\0';
}

/// A line cut to its first 239 characters and into separator-delimited items by
/// a tokenizer of its own, so that a caller's tokenizing is left undisturbed.
class LineItems {
public:
    explicit LineItems(const char *line) noexcept {
        std::size_t length = 0;
        while (length < kMaxCoordinateLine && line[length] != '\0') {
            text_[length] = line[length];
            ++length;
        }
        text_[length] = '\0';
        length_ = length;
    }

    /// Moves to the first character that can start a number; false at the end.
    bool skipToNumber() noexcept {
        while (at_ < length_ && !isCoordinateStart(text_[at_])) {
            ++at_;
        }
        return at_ < length_;
    }

    /// The next item, NUL-terminated in place, or null when only separators remain.
    char *nextItem() noexcept {
        while (at_ < length_ && isSeparator(text_[at_])) {
            ++at_;
        }
        if (at_ == length_) {
            return nullptr;
        }
        char *item = text_ + at_;
        while (at_ < length_ && !isSeparator(text_[at_])) {
            ++at_;
        }
        if (at_ < length_) {
            text_[at_++] = '\0';
        }
        return item;
    }

private:
    char text_[kMaxCoordinateLine + 1];
    std::size_t length_ = 0;
    std::size_t at_ = 0;
};

template <typename Value, typename Convert>
int32_t readItems(const char *line, std::span<Value> values, Convert convert) noexcept {
    for (Value &value : values) {
        value = 0;
    }
    if (line == nullptr || values.empty()) {
        return 0;
    }
    LineItems items(line);
    if (!items.skipToNumber()) {
        return 0;
    }
    // A number's first character is never a separator, so the first item is there.
    values[0] = convert(items.nextItem());
    if (values.size() == 1) {
        return 1;
    }
    char *second = items.nextItem();
    if (second == nullptr) {
        return 1;
    }
    while (*second != '\0' && !isCoordinateStart(*second)) {
        ++second;
    }
    if (*second == '\0') {
        return 1;
    }
    values[1] = convert(second);
    return 2;
}

}  // namespace

int32_t readCoordinates(const char *line, std::span<double> values) noexcept {
    return readItems(line, values, [](const char *item) { return KOR_atof(item); });
}

int32_t readIntegerCoordinates(const char *line, std::span<int32_t> values) noexcept {
    return readItems(line, values, [](const char *item) { return KOR_atoi(item); });
}

bool readNextReal(const char *&text, double *destination) noexcept {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    while (*text != '\0' && !isRealStart(*text)) {
        ++text;
    }
    if (*text == '\0' || destination == nullptr) {
        return false;
    }
    char *end = nullptr;
    *destination = std::strtod(text, &end);
    text = end;
    return true;
}

bool readReals(const char *text, std::span<double *const> destinations) noexcept {
    for (double *destination : destinations) {
        if (!readNextReal(text, destination)) {
            return false;
        }
    }
    return true;
}

}  // namespace vutil::fileio
