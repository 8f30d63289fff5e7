// Decompressing a .Z file into another file through the library's buffered files.
#pragma once

#include <cstdint>

namespace vutil::raster {

/// Decodes the compress (.Z) file `input` into `output` (null or empty: only count) and
/// returns the bytes produced, at most `maxBytes` (below 1: no limit); 0 on failure.
int32_t decompressFile(const char *input, const char *output, int32_t maxBytes) noexcept;

}  // namespace vutil::raster
