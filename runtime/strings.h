// The library's null-safe string layer: copy, compare, squeeze, keyword lookup and the slot tokenizer.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace vutil::runtime {

// Copies and lengths. Every one accepts null pointers (see the exported functions).
char *copy(char *dst, const char *src) noexcept;
char *copyBounded(char *dst, const char *src, uint32_t n) noexcept;
char *append(char *dst, const char *src) noexcept;
char *appendBounded(char *dst, const char *src, uint32_t n) noexcept;
uint32_t length(const char *s) noexcept;
void toUpper(char *s) noexcept;

/// Collating comparison in the current locale; -1, 0 or 1. Null sorts first.
int32_t compare(const char *a, const char *b) noexcept;
/// As compare, ignoring case; -1, 0 or 1.
int32_t compareIgnoringCase(const char *a, const char *b) noexcept;
/// 0 when the first n characters agree or both texts end together before n; 1 otherwise.
int32_t compareBounded(const char *a, const char *b, uint32_t n, bool ignoreCase) noexcept;

/// Walks (name, int32 value) pairs until a null name; the value of the first
/// name equal to key ignoring case, else def.
int32_t stringIndex(const char *key, int32_t def, va_list pairs) noexcept;

/// Longest text the squeezers look at; the rest is cut off.
inline constexpr std::size_t kSqueezeLimit = 1000;
void removeAll(char *s, char c) noexcept;
void collapseRuns(char *s, char c) noexcept;

/// The 64-slot tokenizer: each tokenization works on a private copy of its
/// text, so several can be under way at once and the caller's text is never
/// changed. Slots are handed out round robin and reused 64 tokenizations later.
class Tokenizer {
public:
    static constexpr int kSlots = 64;
    static constexpr std::size_t kMaxText = 8191;

    /// Starts a tokenization of text (cut to kMaxText characters) in the next
    /// slot, stores the slot number through slot (if given) and returns the first token.
    char *start(const char *text, const char *delimiters, int32_t *slot) noexcept;
    /// The next token of the tokenization in slot, or null when there is none
    /// or the slot number is not one of 0..63.
    char *next(int32_t slot) noexcept;

    /// The process-wide tokenizer that KorStrtok uses.
    static Tokenizer &shared() noexcept;

private:
    struct Slot {
        char text[kMaxText + 1];
        std::size_t position;
        std::size_t length;
    };
    Slot slots_[kSlots] = {};
    int nextSlot_ = 0;
};

}  // namespace vutil::runtime
