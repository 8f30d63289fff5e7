// Sections of the vutil demo: each shows one part of the library on built-in data.
#pragma once

#include <cstdio>
#include <string>

namespace vutil::tool::demo {

struct Context {
    std::FILE *out;
    std::string outputDirectory;  ///< where sections write their files
};

void runtimeSection(Context &context);
void fileioSection(Context &context);
void rasterSection(Context &context);
void geometrySection(Context &context);
void textSection(Context &context);

}  // namespace vutil::tool::demo
