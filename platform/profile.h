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
/// A read waits up to a second for a writer that holds the file.
int32_t getProfileString(const char *section, const char *key, const char *def, std::span<char> buffer,
                         const char *file) noexcept;

/// Reads a key as a decimal integer, or def (see readProfileInt in profile_text.h).
int32_t getProfileInt(const char *section, const char *key, int32_t def, const char *file) noexcept;

/// Sets a key; a null value removes the key, a null key the section. The file
/// (and, for a name without a directory, the settings directory) is made when
/// missing; its directory must exist otherwise. A file the caller may not
/// write (the host's own check, as for opening it to write) is refused and left
/// as it is. Writers take turns on a lock, so that none loses another's change:
/// on POSIX hosts a lock of the file itself, on Windows one of ".NAME.lock"
/// beside it, which its holder deletes before it lets go. On POSIX hosts the
/// new text reaches the file in the safest way the file and its directory
/// allow (Windows always replaces it whole):
/// - a file with one name, in a directory the caller may write, is replaced
///   whole: the text is written to ".NAME.new" beside it with the file's mode,
///   owner and group, flushed to the disk and renamed over it. Readers and a
///   crash or kill at any moment see the old text or the new one, never part
///   of either. The file then has a new identity (inode): a rename cannot keep it.
/// - a file with other names (hard links), one in a directory the caller may
///   not write, and one whose owner or group a new file could not take are
///   rewritten in place, with the same identity, names and attributes: the
///   text is written over the old, the file cut to its length and flushed.
///   Readers wait for it; a writer killed, or a host that fails, during that
///   rewrite can leave the file part old and part new, as with the host's own
///   editors in such a directory.
/// Nothing is left beside the file. True on success, and for a removal that
/// finds nothing to remove.
bool writeProfileString(const char *section, const char *key, const char *value, const char *file) noexcept;

/// The host path of a settings file name. A name without a directory lives in
/// the settings directory: $VUTIL_PROFILE_DIR, else $XDG_CONFIG_HOME/vutil,
/// else ~/.config/vutil. Other names are mapped as library paths. Empty when
/// there is no settings directory.
std::string profilePath(std::string_view file);

/// The steps of a replacement that tests can make fail.
enum class ProfileStep : uint8_t { Write, Sync, Rename };

/// Test seam: when set, called before each step of a replacement or rewrite,
/// and before each piece of the new text is written with the bytes written so far; a
/// false result fails the step as a host error would. Null removes it.
using ProfileStepHook = bool (*)(ProfileStep step, std::size_t written);
void setProfileStepHook(ProfileStepHook hook) noexcept;

}  // namespace vutil::platform
