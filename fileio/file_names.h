// File names in the library's notation: split and build, the name normaliser and the searches for files.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vutil::fileio {

/// Room in a path buffer that a caller supplies, terminator included.
inline constexpr std::size_t kMaxPath = 260;
/// Room in a caller's buffer for one component of a split path, terminator
/// included (the drive gets 3).
inline constexpr std::size_t kMaxComponent = 256;

/// The four components of a path; views into the split text.
struct PathParts {
    std::string_view drive;      ///< letter and colon, or empty
    std::string_view directory;  ///< up to and including the last separator, or empty
    std::string_view name;       ///< base name
    std::string_view extension;  ///< from the last dot of the name on, or empty
};

/// True for the two separators, backslash and slash.
inline bool isSeparator(char c) noexcept {
    return c == '\\' || c == '/';
}

/// Splits a path. Separators and dots inside double-byte characters of the
/// ANSI code page do not count.
PathParts splitPath(std::string_view path) noexcept;

/// True when the last character of the text is a separator (a second byte of a
/// double-byte character is not one).
bool endsWithSeparator(std::string_view path) noexcept;

/// Builds a path: a one-letter drive gets its colon, a directory that does not
/// end with a separator gets a backslash, an extension without a dot gets one.
std::string makePath(std::string_view drive, std::string_view directory, std::string_view name,
                     std::string_view extension);

/// Copies a path into a caller's buffer of kMaxPath bytes; a path that does not
/// fit is not cut (it would name another file): the buffer gets an empty text
/// and the result is false.
bool storePath(char *out, std::string_view path) noexcept;

/// Copies a component into a caller's buffer of `room` bytes, cutting it (never
/// inside a double-byte character) when it is longer.
void storeComponent(char *out, std::string_view component, std::size_t room) noexcept;

/// The name normaliser's result for `name`: absolute names as they are, other
/// names joined to `currentDirectory`, slashes read as backslashes; then one
/// trailing backslash removed, "." and ".." components resolved, and runs of
/// backslashes after the root made single. "\" when ".." climbs above the root
/// or nothing is left. The name must not be empty.
std::string normalizeName(std::string_view name, std::string_view currentDirectory);

/// True when the normaliser takes a name as it is: it begins with a backslash or
/// a slash, or with a drive followed by either.
bool isAbsoluteName(std::string_view name) noexcept;

/// The process's current directory in the library's notation.
std::string currentDirectory();

/// The library's own file name (host form); empty when unknown.
std::string moduleFileName();

/// The name of a file next to the library: the library's drive and directory and `name`.
std::string moduleDirFile(std::string_view name);

/// Searches the current directory, then the directories of the environment
/// variable (separated by semicolons) for `file`; the full name of the first
/// match that fits a path buffer, or nothing.
std::optional<std::string> searchEnvironment(std::string_view file, const char *variable);

/// Searches a list of directories (separated by semicolons and commas), relative
/// ones also under the library's directory, then the name itself and the library's
/// directory, for a file; the first file found, or nothing.
std::optional<std::string> searchPaths(std::string_view file, const char *directories);

/// Finds an external reference with extension `extension` (which carries its dot):
/// beside its own name, in the directories of two places, then on ACAD.
std::optional<std::string> findReference(std::string_view referenced, std::string_view place1, std::string_view place2,
                                         std::string_view extension);

}  // namespace vutil::fileio
