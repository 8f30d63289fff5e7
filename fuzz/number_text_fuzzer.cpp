// Fuzzes the number and token parsers of the runtime against straightforward references:
// KorStrToL/KorStrToUL against strtoll fitted to 32 bits, KorStrtok against a plain split,
// and hex text against a round trip.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vutil/runtime.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::vector<std::string> plainSplit(const std::string &text, const std::string &delimiters) {
    std::vector<std::string> tokens;
    std::string current;
    for (char c : text.substr(0, KOR_STRTOK_MAX_TEXT)) {
        if (delimiters.find(c) != std::string::npos) {
            if (!current.empty()) {
                tokens.push_back(current);
            }
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) {
        tokens.push_back(current);
    }
    return tokens;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const int base = data[0] % 40 - 1;  // -1..38: valid and invalid bases
    static constexpr char kPalette[] = " ,;\t=x0-";
    std::string delimiters;
    for (int bit = 0; bit < 8; ++bit) {
        if (data[1] & (1u << bit)) {
            delimiters.push_back(kPalette[bit]);
        }
    }
    std::string text(reinterpret_cast<const char *>(data + 2), size - 2);
    text = text.c_str();  // the services read up to the first terminator

    char *end = nullptr;
    int32_t value = KorStrToL(text.c_str(), &end, base);
    check(end >= text.c_str() && end <= text.c_str() + text.size());
    if (base == 0 || (base >= 2 && base <= 36)) {
        char *theirEnd = nullptr;
        long long reference = std::strtoll(text.c_str(), &theirEnd, base);
        check(end == theirEnd);
        long long fitted = reference < INT32_MIN ? INT32_MIN : (reference > INT32_MAX ? INT32_MAX : reference);
        check(value == fitted);
    }
    (void)KorStrToUL(text.c_str(), nullptr, base);
    (void)KOR_atoi(text.c_str());
    (void)KOR_atof(text.c_str());

    const std::string &delimiterSet = delimiters;
    std::vector<std::string> expected = plainSplit(text, delimiterSet);
    std::vector<std::string> actual;
    int32_t slot = -1;
    for (char *token = KorStrtok(text.c_str(), delimiterSet.c_str(), &slot); token != nullptr;
         token = KorStrtok(nullptr, nullptr, &slot)) {
        actual.emplace_back(token);
        check(actual.size() <= text.size());
    }
    check(actual == expected);

    std::vector<uint8_t> bytes(text.begin(), text.end());
    std::string hex(2 * bytes.size() + 1, '\0');
    check(KOR_BinHex(bytes.data(), static_cast<int32_t>(bytes.size()), hex.data()) == static_cast<int32_t>(hex.size()));
    std::vector<uint8_t> back(bytes.size() + 1, 0xEE);
    check(KOR_HexBin(hex.c_str(), static_cast<int32_t>(2 * bytes.size()), back.data()) ==
          static_cast<int32_t>(bytes.size()));
    check(back[bytes.size()] == 0xEE);
    back.pop_back();
    check(back == bytes);
    return 0;
}
