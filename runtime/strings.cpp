// Null-safe strings, keyword lookup, squeezing and the slot tokenizer.
#include "runtime/strings.h"

#include <cctype>
#include <cstring>

namespace vutil::runtime {
namespace {

unsigned char upper(char c) noexcept { return static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(c))); }
unsigned char lower(char c) noexcept { return static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c))); }

int32_t sign(int value) noexcept { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

// The null rule shared by all comparisons: two nulls are equal, null sorts first.
bool nullOrder(const char *a, const char *b, int32_t &result) noexcept {
    if (a == nullptr || b == nullptr) {
        result = (a == b) ? 0 : (a == nullptr ? -1 : 1);
        return true;
    }
    return false;
}

}  // namespace

char *copy(char *dst, const char *src) noexcept {
    if (dst != nullptr) {
        if (src == nullptr) {
            *dst = '\0';
        } else {
            std::memmove(dst, src, std::strlen(src) + 1);
        }
    }
    return dst;
}

char *copyBounded(char *dst, const char *src, uint32_t n) noexcept {
    if (dst != nullptr) {
        std::size_t count = src == nullptr ? 0 : strnlen(src, n);
        if (count > 0) {
            std::memmove(dst, src, count);
        }
        dst[count] = '\0';
    }
    return dst;
}

char *append(char *dst, const char *src) noexcept {
    if (dst != nullptr && src != nullptr) {
        std::strcat(dst, src);
    }
    return dst;
}

char *appendBounded(char *dst, const char *src, uint32_t n) noexcept {
    if (dst != nullptr && src != nullptr) {
        std::strncat(dst, src, n);
    }
    return dst;
}

uint32_t length(const char *s) noexcept { return s == nullptr ? 0 : static_cast<uint32_t>(std::strlen(s)); }

void toUpper(char *s) noexcept {
    for (; s != nullptr && *s != '\0'; ++s) {
        *s = static_cast<char>(upper(*s));
    }
}

int32_t compare(const char *a, const char *b) noexcept {
    int32_t result;
    if (nullOrder(a, b, result)) {
        return result;
    }
    return sign(std::strcoll(a, b));
}

int32_t compareIgnoringCase(const char *a, const char *b) noexcept {
    int32_t result;
    if (nullOrder(a, b, result)) {
        return result;
    }
    for (;; ++a, ++b) {
        unsigned char x = lower(*a);
        unsigned char y = lower(*b);
        if (x != y) {
            return x < y ? -1 : 1;
        }
        if (x == '\0') {
            return 0;
        }
    }
}

int32_t compareBounded(const char *a, const char *b, uint32_t n, bool ignoreCase) noexcept {
    int32_t result;
    if (nullOrder(a, b, result)) {
        return result;
    }
    for (uint32_t i = 0; i < n; ++i) {
        unsigned char x = ignoreCase ? upper(a[i]) : static_cast<unsigned char>(a[i]);
        unsigned char y = ignoreCase ? upper(b[i]) : static_cast<unsigned char>(b[i]);
        if (x != y) {
            return 1;
        }
        if (x == '\0') {
            return 0;
        }
    }
    return 0;
}

int32_t stringIndex(const char *key, int32_t def, va_list pairs) noexcept {
    while (const char *name = va_arg(pairs, const char *)) {
        int32_t value = va_arg(pairs, int32_t);
        if (compareIgnoringCase(name, key) == 0) {
            return value;
        }
    }
    return def;
}

void removeAll(char *s, char c) noexcept {
    if (s == nullptr) {
        return;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < kSqueezeLimit && s[i] != '\0'; ++i) {
        if (s[i] != c) {
            s[kept++] = s[i];
        }
    }
    s[kept] = '\0';
}

void collapseRuns(char *s, char c) noexcept {
    if (s == nullptr) {
        return;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < kSqueezeLimit && s[i] != '\0'; ++i) {
        if (!(s[i] == c && s[i + 1] == c)) {
            s[kept++] = s[i];
        }
    }
    s[kept] = '\0';
}

char *Tokenizer::start(const char *text, const char *delimiters, int32_t *slot) noexcept {
    const int number = nextSlot_;
    nextSlot_ = (nextSlot_ + 1) % kSlots;
    if (slot != nullptr) {
        *slot = number;
    }
    Slot &s = slots_[number];
    copyBounded(s.text, text, kMaxText);
    s.text[kMaxText] = '\0';
    s.position = 0;
    s.length = std::strlen(s.text);
    if (delimiters != nullptr && *delimiters != '\0') {
        for (std::size_t i = 0; i < s.length; ++i) {
            if (std::strchr(delimiters, s.text[i]) != nullptr) {
                s.text[i] = '\0';
            }
        }
    }
    return next(number);
}

char *Tokenizer::next(int32_t slot) noexcept {
    if (slot < 0 || slot >= kSlots) {
        return nullptr;
    }
    Slot &s = slots_[slot];
    while (s.position < s.length && s.text[s.position] == '\0') {
        ++s.position;
    }
    if (s.position >= s.length) {
        return nullptr;
    }
    char *token = s.text + s.position;
    while (s.position < s.length && s.text[s.position] != '\0') {
        ++s.position;
    }
    return token;
}

Tokenizer &Tokenizer::shared() noexcept {
    static Tokenizer tokenizer;
    return tokenizer;
}

}  // namespace vutil::runtime
