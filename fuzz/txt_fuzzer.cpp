// Fuzzes stroke text with arbitrary bytes, escapes cut off by the end of the string included: every segment is
// finite, no character gives more segments than the largest glyph and its two rules, and the end point advances
// by the width once per character as a plain reading of the escapes counts them.
//
// Input: a flags byte (bits 0 and 1: backward, upside down; bit 2: vertical; bit 3: slant and turn; bit 4: a
// matrix), a width byte, then the text. The text is drawn as given and again with "%%" and "%%1" after it.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vutil/text.h"

namespace {

struct Tally {
    std::size_t segments = 0;
};

void check(intptr_t context, draw_device *, const double *first, const double *second, intptr_t) {
    for (int i = 0; i < 3; ++i) {
        if (!std::isfinite(first[i]) || !std::isfinite(second[i])) {
            std::abort();
        }
    }
    ++reinterpret_cast<Tally *>(context)->segments;
}

/// Characters that advance, read the plain way: "%%" and a selector make one (o and u make none); a number
/// takes up to three digits; "%%" with nothing after it ends the text.
std::size_t advancingCharacters(const std::string &text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            if (i + 2 >= text.size()) {
                break;
            }
            const char selector = text[i + 2];
            i += 2;
            if (selector == 'o' || selector == 'O' || selector == 'u' || selector == 'U') {
                continue;
            }
            for (int digits = 0; selector >= '0' && selector <= '9' && digits < 2 && i + 1 < text.size() &&
                                 text[i + 1] >= '0' && text[i + 1] <= '9';
                 ++digits) {
                ++i;
            }
        }
        ++count;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const int32_t initialised = init_txt();
    (void)initialised;
    if (size < 2) {
        return 0;
    }
    const uint8_t options = data[0];
    const double width = data[1];
    std::string text(reinterpret_cast<const char *>(data + 2), size - 2);
    text = text.substr(0, text.find('\0'));
    const int32_t flags =
        (options & 1 ? TXT_BACKWARD : 0) | (options & 2 ? TXT_UPSIDEDOWN : 0) | (options & 4 ? TXT_VERTICAL : 0);
    const double angle = options & 8 ? 0.7 : 0.0;
    const double oblique = options & 8 ? -0.4 : 0.0;
    const double matrix[9] = {0.5, 2, 0, -1, 0.25, 0, 3, 1, 1};
    for (const char *tail : {"", "%%", "%%1"}) {
        const std::string string = text + tail;
        Tally tally;
        double end[3];
        txt(reinterpret_cast<intptr_t>(&tally), nullptr, string.c_str(), 10, 20, 30, 16, width, angle, oblique,
            options & 16 ? matrix : nullptr, flags, 0, check, end);
        if (tally.segments > 22 * string.size()) {
            std::abort();
        }
        if (angle == 0 && !(flags & TXT_VERTICAL)) {
            double expected = 10;
            for (std::size_t n = advancingCharacters(string); n > 0; --n) {
                expected += width;
            }
            if (end[0] != expected || end[1] != 20 || end[2] != 30) {
                std::abort();
            }
        }
    }
    return 0;
}
