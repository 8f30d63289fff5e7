// ANSI code page through the system's conversions: IsDBCSLeadByteEx,
// MultiByteToWideChar and WideCharToMultiByte.
#include "platform/codepage.h"

#include <windows.h>

#include <atomic>
#include <clocale>
#include <cstdlib>

namespace vutil::platform {
namespace {

constexpr uint32_t kSelectable[] = {1252, 932, 936, 949, 950};

bool selectable(uint32_t number) noexcept {
    for (uint32_t known : kSelectable) {
        if (known == number) {
            return true;
        }
    }
    return false;
}

std::atomic<uint32_t> current{0};

uint32_t active() noexcept {
    uint32_t number = current.load(std::memory_order_acquire);
    if (number == 0) {
        number = ::GetACP();
        if (const char *text = std::getenv("VUTIL_ACP"); text != nullptr) {
            const auto chosen = static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
            if (selectable(chosen) && ::IsValidCodePage(chosen)) {
                number = chosen;
            }
        }
        current.store(number, std::memory_order_release);
    }
    return number;
}

/// Multi-byte text of a code page to UTF-16; nothing when it is not valid there.
std::optional<std::wstring> wide(uint32_t codePage, std::string_view text) {
    if (text.empty()) {
        return std::wstring();
    }
    if (text.size() > INT32_MAX) {
        return std::nullopt;
    }
    const int length = static_cast<int>(text.size());
    const int needed = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (needed <= 0) {
        return std::nullopt;
    }
    std::wstring out(static_cast<std::size_t>(needed), L'\0');
    if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), length, out.data(), needed) != needed) {
        return std::nullopt;
    }
    return out;
}

}  // namespace

const char *decimalPoint() noexcept { return std::localeconv()->decimal_point; }

uint32_t ansiCodePage() noexcept {
    return active();
}

bool isLeadByte(uint8_t byte) noexcept {
    return ::IsDBCSLeadByteEx(active(), byte) != FALSE;
}

bool setAnsiCodePage(uint32_t codePage) noexcept {
    if (!selectable(codePage) || !::IsValidCodePage(codePage)) {
        return false;
    }
    current.store(codePage, std::memory_order_release);
    return true;
}

std::optional<std::u16string> toWide(std::string_view text) {
    std::optional<std::wstring> converted = wide(active(), text);
    if (!converted) {
        return std::nullopt;
    }
    return std::u16string(converted->begin(), converted->end());
}

std::optional<std::string> fromWide(std::u16string_view text) {
    if (text.empty()) {
        return std::string();
    }
    if (text.size() > INT32_MAX) {
        return std::nullopt;
    }
    const std::wstring source(text.begin(), text.end());
    const int length = static_cast<int>(source.size());
    const uint32_t codePage = active();
    BOOL defaulted = FALSE;
    const int needed =
        ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, source.data(), length, nullptr, 0, nullptr, &defaulted);
    if (needed <= 0 || defaulted) {
        return std::nullopt;
    }
    std::string out(static_cast<std::size_t>(needed), '\0');
    if (::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, source.data(), length, out.data(), needed, nullptr,
                              &defaulted) != needed ||
        defaulted) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::string> toUtf8(std::string_view text) {
    std::optional<std::wstring> converted = wide(active(), text);
    if (!converted) {
        return std::nullopt;
    }
    if (converted->empty()) {
        return std::string();
    }
    const int length = static_cast<int>(converted->size());
    const int needed = ::WideCharToMultiByte(CP_UTF8, 0, converted->data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return std::nullopt;
    }
    std::string out(static_cast<std::size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, converted->data(), length, out.data(), needed, nullptr, nullptr);
    return out;
}

}  // namespace vutil::platform
