// ANSI code page over iconv.
#include "platform/codepage.h"

#include <iconv.h>
#include <langinfo.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vutil::platform {
namespace {

struct CodePageInfo {
    uint32_t number;
    const char *iconvName;
    uint8_t leadFirst[2];  // up to two ranges of lead bytes; an empty range has first > last
    uint8_t leadLast[2];
};

constexpr CodePageInfo kCodePages[] = {
    {1252, "CP1252", {1, 1}, {0, 0}},
    {932, "CP932", {0x81, 0xE0}, {0x9F, 0xFC}},
    {936, "CP936", {0x81, 1}, {0xFE, 0}},
    {949, "CP949", {0x81, 1}, {0xFE, 0}},
    {950, "CP950", {0x81, 1}, {0xFE, 0}},
};

const CodePageInfo *find(uint32_t number) noexcept {
    for (const CodePageInfo &info : kCodePages) {
        if (info.number == number) {
            return &info;
        }
    }
    return nullptr;
}

std::atomic<const CodePageInfo *> current{nullptr};

const CodePageInfo &active() noexcept {
    const CodePageInfo *info = current.load(std::memory_order_acquire);
    if (info == nullptr) {
        info = &kCodePages[0];
        if (const char *text = std::getenv("VUTIL_ACP"); text != nullptr) {
            if (const CodePageInfo *chosen = find(static_cast<uint32_t>(std::strtoul(text, nullptr, 10)))) {
                info = chosen;
            }
        }
        current.store(info, std::memory_order_release);
    }
    return *info;
}

// Runs iconv over the whole input; false on an invalid or unconvertible sequence.
bool convert(const char *to, const char *from, const char *in, std::size_t inBytes, std::string &out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    out.assign(inBytes * 4 + 8, '\0');
    char *inPtr = const_cast<char *>(in);
    std::size_t inLeft = inBytes;
    std::size_t used = 0;
    bool ok = true;
    while (inLeft > 0) {
        char *outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (result == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    out.resize(used);
    return ok;
}

}  // namespace

uint32_t ansiCodePage() noexcept { return active().number; }

// nl_langinfo reads the thread's locale as strtod does, without localeconv's copy of every field.
const char *decimalPoint() noexcept { return nl_langinfo(RADIXCHAR); }

bool isLeadByte(uint8_t byte) noexcept {
    const CodePageInfo &info = active();
    for (int i = 0; i < 2; ++i) {
        if (byte >= info.leadFirst[i] && byte <= info.leadLast[i]) {
            return true;
        }
    }
    return false;
}

bool setAnsiCodePage(uint32_t codePage) noexcept {
    const CodePageInfo *info = find(codePage);
    if (info == nullptr) {
        return false;
    }
    current.store(info, std::memory_order_release);
    return true;
}

std::optional<std::u16string> toWide(std::string_view text) {
    std::string bytes;
    if (!convert("UTF-16LE", active().iconvName, text.data(), text.size(), bytes)) {
        return std::nullopt;
    }
    std::u16string wide(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
        wide[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                        (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    }
    return wide;
}

std::optional<std::string> fromWide(std::u16string_view text) {
    std::string bytes(text.size() * 2, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    std::string out;
    if (!convert(active().iconvName, "UTF-16LE", bytes.data(), bytes.size(), out)) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::string> toUtf8(std::string_view text) {
    std::string out;
    if (!convert("UTF-8", active().iconvName, text.data(), text.size(), out)) {
        return std::nullopt;
    }
    return out;
}

}  // namespace vutil::platform
