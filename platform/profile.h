// Settings in initialisation files, by the rules of the private-profile services.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vutil::platform {

/// Reads a key, or lists names (see readProfileString in profile_text.h), from
/// the settings file `file`; a file that is missing or unreadable reads as empty.
int32_t getProfileString(const char *section, const char *key, const char *def, std::span<char> buffer,
                         const char *file) noexcept;

/// Reads a key as a decimal integer, or def (see readProfileInt in profile_text.h).
int32_t getProfileInt(const char *section, const char *key, int32_t def, const char *file) noexcept;

/// Sets a key; a null value removes the key, a null key the section. The file
/// (and, for a name without a directory, the settings directory) is made when
/// missing; its directory must exist otherwise. The new text replaces the file
/// whole: it is written beside it, flushed to the disk, then renamed over it,
/// while a lock on the file keeps out other writers (threads or processes),
/// so that none loses another's change. True on success, and for a removal
/// that finds nothing to remove.
bool writeProfileString(const char *section, const char *key, const char *value, const char *file) noexcept;

/// The host path of a settings file name. A name without a directory lives in
/// the settings directory: $VUTIL_PROFILE_DIR, else $XDG_CONFIG_HOME/vutil,
/// else ~/.config/vutil. Other names are mapped as library paths. Empty when
/// there is no settings directory.
std::string profilePath(std::string_view file);

/// The steps of a replacement that tests can make fail.
enum class ProfileStep : uint8_t { Write, Sync, Rename };

/// Test seam: when set, called before each step of a replacement, and before
/// each piece of the new file is written with the bytes written so far; a
/// false result fails the step as a host error would. Null removes it.
using ProfileStepHook = bool (*)(ProfileStep step, std::size_t written);
void setProfileStepHook(ProfileStepHook hook) noexcept;

}  // namespace vutil::platform
