// An encoder for the .Z (compress) format, whose decoder is the library's KOR_decompress.
#pragma once

#include <string>
#include <string_view>

namespace vutil::tool {

/// The .Z stream of `data`: the header 1F 9D with block mode and the given width limit
/// (9 to 16 bits), then the codes in groups of eight as compress writes them. When the
/// table is full the encoder sends CLEAR and starts a fresh one.
std::string compressLzw(std::string_view data, int widthLimit = 16);

}  // namespace vutil::tool
