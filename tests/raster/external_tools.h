// Running the independent tools the raster tests compare against (ncompress, gzip, libtiff).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vutil::test {

/// True when `program` is on the PATH.
inline bool haveTool(const std::string &program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

/// Runs a shell command; true when it exits with 0.
inline bool runCommand(const std::string &command) { return std::system(command.c_str()) == 0; }

inline std::vector<uint8_t> readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), std::ssize(bytes));
}

inline std::string dataPath(const std::string &name) { return std::string(VUTIL_RASTER_TEST_DATA) + "/" + name; }

}  // namespace vutil::test

/// Skips the current test with a message naming the Debian package when a tool is missing.
#define REQUIRE_TOOL(program, package)     \
    if (!::vutil::test::haveTool(program)) \
    GTEST_SKIP() << program << " not found: install the Debian package " << package << " to compare with it"
