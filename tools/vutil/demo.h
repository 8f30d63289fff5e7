// Sections of the vutil demo: each shows one part of the library on built-in data.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vutil::tool::demo {

struct Context {
    std::FILE *out;
    std::string outputDirectory;  ///< where sections write their files
    bool failed = false;          ///< a file could not be written (already reported)

    /// Writes one file of the demo into the output directory; a failure is reported and remembered.
    void writeFile(const std::string &name, std::string_view data);
};

void runtimeSection(Context &context);
void fileioSection(Context &context);
void rasterSection(Context &context);
void geometrySection(Context &context);

}  // namespace vutil::tool::demo
