// The ANSI code page of the process: lead bytes of double-byte characters and
// conversions to and from wide (UTF-16) text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vutil::platform {

/// The code page in use: 1252 by default, or 932, 936, 949 or 950 as the
/// environment variable VUTIL_ACP selects (read once, on first use).
uint32_t ansiCodePage() noexcept;

/// True when the byte starts a double-byte character in the ANSI code page.
bool isLeadByte(uint8_t byte) noexcept;

/// Selects a code page for this process, replacing the environment's choice;
/// false for a code page that is not supported. For tests and tools.
bool setAnsiCodePage(uint32_t codePage) noexcept;

/// The decimal point of the C library's number conversions in the calling thread's locale
/// ("." in the C locale).
const char *decimalPoint() noexcept;

/// ANSI text to UTF-16; nothing when the text is not valid in the code page.
std::optional<std::u16string> toWide(std::string_view text);

/// UTF-16 to ANSI text; nothing when a character has no ANSI form.
std::optional<std::string> fromWide(std::u16string_view text);

/// ANSI text to UTF-8; nothing when the text is not valid in the code page.
std::optional<std::string> toUtf8(std::string_view text);

}  // namespace vutil::platform
