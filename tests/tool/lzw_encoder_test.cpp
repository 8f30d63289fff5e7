// Tests of the tool's .Z encoder: its streams must expand to the input in ncompress, gzip and the library.
#include "lzw_encoder.h"

#include <cstdint>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "raster/external_tools.h"
#include "support/temp_dir.h"
#include "vutil.h"

namespace vutil::tool {
namespace {

using test::TempDir;

struct Input {
    const char *name;
    std::string bytes;
};

std::vector<Input> inputs() {
    std::mt19937 random(7);
    std::string noise(300000, '\0'), words, zeros(2000000, '\0');
    for (char &c : noise) c = static_cast<char>(random());
    const char *vocabulary[] = {"LINE ", "ARC ", "12.5 ", "layer ", "0,0 ", "\n", "TEXT \"A\" ", "-3.75 "};
    while (words.size() < 300000) words += vocabulary[random() % 8];
    return {{"empty", ""},
            {"one byte", "x"},
            {"a string defined by its own code", std::string(5000, 'a') + "abababababababab"},
            {"words", words},
            {"noise", noise},
            {"zeros", zeros}};
}

/// The bytes a decoder made of the stream, through a shell command that reads IN and writes OUT.
std::string expandWith(const TempDir &dir, const std::string &stream, const std::string &command) {
    const std::string in = dir.write("in.Z", stream), out = dir.file("out.bin");
    std::filesystem::remove(out);
    std::string line = command;
    line.replace(line.find("IN"), 2, in);
    line.replace(line.find("OUT"), 3, out);
    EXPECT_TRUE(test::runCommand(line)) << line;
    return TempDir::read(out);
}

TEST(LzwEncoder, TheLibraryNcompressAndGzipExpandEveryStreamToItsInput) {
    TempDir dir;
    const bool peers = test::haveTool("uncompress") && test::haveTool("gzip");  // ncompress and gzip, as CI installs
    for (const Input &input : inputs()) {
        for (int width : {9, 10, 12, 16}) {
            const std::string stream = compressLzw(input.bytes, width);
            const std::string what = input.name + (", width " + std::to_string(width));
            EXPECT_EQ(stream.substr(0, 3), std::string("\x1F\x9D") + static_cast<char>(0x80 | width));
            const std::string in = dir.write("in.Z", stream), out = dir.file("out.bin");
            EXPECT_EQ(KOR_decompress(in.c_str(), out.c_str(), 0), static_cast<int32_t>(input.bytes.size())) << what;
            EXPECT_TRUE(TempDir::read(out) == input.bytes) << what;
            EXPECT_TRUE(!peers || expandWith(dir, stream, "uncompress -c < IN > OUT") == input.bytes) << what;
            EXPECT_TRUE(!peers || expandWith(dir, stream, "gzip -dc < IN > OUT") == input.bytes) << what;
        }
    }
}

TEST(LzwEncoder, MatchesNcompressByteForByteWhileTheTableHasRoom) {
    // Until its table fills, compress sends the same codes in the same groups.
    REQUIRE_TOOL("compress", "ncompress");
    TempDir dir;
    const std::string text = inputs()[3].bytes.substr(0, 20000);
    EXPECT_LT(compressLzw(text).size() * 3, text.size());
    for (int width : {12, 16}) {
        const std::string ours = compressLzw(text, width);
        const std::string theirs =
            expandWith(dir, text, "compress -c -b " + std::to_string(width) + " < IN > OUT");
        EXPECT_TRUE(ours == theirs) << "width " << width << ": " << ours.size() << " and " << theirs.size()
                                    << " bytes";
    }
}

}  // namespace
}  // namespace vutil::tool
