// The few services of the host system that the tool needs beside the library: files by
// descriptor, replacing a file in one step, the terminal, and the library's own exports.
// tools/vutil/host/ has one implementation per host; the build picks one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vutil::tool::host {

/// What a name stands for.
struct FileStatus {
    bool exists = false;
    bool directory = false;
    bool regular = false;
    uint32_t permissions = 0;  ///< the permission bits of an existing file (0 where the host has none)
    uint64_t size = 0;
};

/// Looks a name up; false when it cannot be reached for a reason other than its absence
/// (errorText() says which), true otherwise, with `status.exists` false for no such file.
bool fileStatus(const std::string &path, FileStatus &status);
/// The file that `path` stands for, through symbolic links where the host has them; the
/// name as given where it cannot be resolved.
std::string resolvedName(const std::string &path);
/// The permission bits that a file newly created by this process gets.
uint32_t creationPermissions();
/// Creates a new file whose name is `name` followed by six characters that make it unique,
/// open for reading and writing in binary; its descriptor and full name, or -1.
int createUnique(std::string &name);
/// Gives an open file the permission bits (nothing where the host has none).
bool setPermissions(int descriptor, uint32_t permissions);
/// Opens an existing file for reading and writing, as it is; -1 on failure.
int reopen(const std::string &path);
/// Opens an existing file that is not a regular one (a device, a pipe) for writing; -1 on failure.
int openForWriting(const std::string &path);
/// The descriptor of standard output, set to pass bytes unchanged.
int standardOutput();
/// Writes or reads up to `size` bytes; the count moved, or -1 (an interruption is retried).
long writeSome(int descriptor, const char *data, std::size_t size);
long readSome(int descriptor, char *data, std::size_t size);
bool rewind(int descriptor);
bool close(int descriptor);
/// Writes the file's data through to the disk and closes it.
bool syncAndClose(int descriptor);
/// Puts the file `from` in the place of `to` in one step, replacing what is there.
bool replace(const std::string &from, const std::string &to);
bool remove(const std::string &path);
/// The reason of the last failed call of this interface, as the host words it.
std::string errorText();

/// Whether standard error is a terminal (where progress lines belong).
bool standardErrorIsTerminal();
/// Sets the standard streams to pass bytes unchanged (no line-end translation), so that
/// the tool's output is the same on every host.
void useBinaryStandardStreams();
/// Where temporary files go when the system names no temporary directory.
const char *fallbackTemporaryDirectory();
/// A file name that discards whatever is written to it.
const char *nullDevice();

/// Whether the library loaded with the tool exports a function of this name.
bool libraryExports(const char *name);
/// The ANSI code page of this host's library when VUTIL_ACP does not choose one.
const char *defaultCodePage();
/// How this host's library reads drive letters, one line for `vutil info`; empty when the
/// library maps them through VUTIL_DRIVE_<letter>.
const char *driveLetterNote();

}  // namespace vutil::tool::host
