// Settings as integers and real numbers, over the host's initialisation-file service.
#include "runtime/profile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/profile.h"
#include "runtime/numbers.h"

namespace vutil::runtime {
namespace {

/// Drops the zeros that end the fraction before `end` (the exponent's 'e', or
/// the end of the text), keeping the point; a number without a point has none.
void dropTrailingZeros(std::string &text, std::size_t end) {
    const std::size_t point = text.find('.');
    if (point == std::string::npos) {
        return;
    }
    std::size_t keep = end;
    while (keep > point + 1 && text[keep - 1] == '0') {
        --keep;
    }
    text.erase(keep, end - keep);
}

}  // namespace

std::string gcvt(double value, int digits) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return std::signbit(value) ? "-inf" : "inf";
    }
    digits = std::clamp(digits, 1, 17);
    // The decimal exponent of the value as it is, before the rounding to `digits`.
    char text[400];
    std::snprintf(text, sizeof text, "%.16e", value);
    const int exponent = std::atoi(std::strchr(text, 'e') + 1);
    if (exponent < -1 || exponent > digits - 1) {
        std::snprintf(text, sizeof text, "%.*e", digits - 1, value);
        std::string result(text);
        const std::size_t e = result.find('e');
        // At least three exponent digits: "e+03" becomes "e+003".
        const std::size_t exponentDigits = result.size() - (e + 2);
        if (exponentDigits < 3) {
            result.insert(e + 2, 3 - exponentDigits, '0');
        }
        dropTrailingZeros(result, e);
        return result;
    }
    std::snprintf(text, sizeof text, "%.*f", digits - 1 - exponent, value);
    std::string result(text);
    dropTrailingZeros(result, result.size());
    return result;
}

double readProfileReal(const char *section, const char *key, double def, const char *file) noexcept {
    if (section == nullptr || key == nullptr) {
        return def;
    }
    // An absent key and an empty one both leave the default as it came, at full precision.
    char text[128];
    if (platform::getProfileString(section, key, "", text, file) == 0) {
        return def;
    }
    return decimalToDouble(text);
}

int32_t writeProfileReal(const char *section, const char *key, double value, const char *file) noexcept {
    try {
        return platform::writeProfileString(section, key, gcvt(value, kProfileRealDigits).c_str(), file) ? 1 : 0;
    } catch (...) {
        return 0;  // no memory for the text
    }
}

int32_t writeProfileInt(const char *section, const char *key, int32_t value, const char *file) noexcept {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return platform::writeProfileString(section, key, text, file) ? 1 : 0;
}

}  // namespace vutil::runtime
