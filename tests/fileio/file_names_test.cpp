// Tests of the file names: split and build against a model, the normaliser against a model, small helpers.
#include "fileio/file_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "file_fixture.h"
#include "platform/codepage.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

struct Split {
    std::string drive, dir, name, ext;
    bool operator==(const Split &) const = default;
};

Split split(const char *path) {
    char drive[3], dir[256], name[256], ext[256];
    KORsplitpath(path, drive, dir, name, ext);
    return {drive, dir, name, ext};
}

/// The split written plainly: the drive, up to the last separator, from the last dot after it.
Split modelSplit(const std::string &path) {
    const std::size_t drive = path.size() >= 2 && path[1] == ':' ? 2 : 0;
    const std::size_t name = std::max(path.find_last_of("\\/") + 1, drive);
    const std::size_t dot = path.rfind('.');
    const std::size_t ext = dot != std::string::npos && dot >= name ? dot : path.size();
    return {path.substr(0, drive), path.substr(drive, name - drive), path.substr(name, ext - name), path.substr(ext)};
}

// Generated paths split as the model splits them, and the parts build the path again.
TEST(SplitPath, AgreesWithAModelAndMakePathJoinsTheParts) {
    const char *const pieces[] = {"C:", "1:", "\\", "/", "a", "b.c", ".", "..", "x.y.z", ":"};
    std::mt19937 random(5);
    for (int i = 0; i < 5000; ++i) {
        std::string path;
        for (auto k = random() % 8; k > 0; --k) path += pieces[random() % std::size(pieces)];
        SCOPED_TRACE(path);
        const Split parts = split(path.c_str());
        ASSERT_TRUE(parts == modelSplit(path));
        char made[KOR_MAX_PATH];
        KORmakepath(made, parts.drive.c_str(), parts.dir.c_str(), parts.name.c_str(), parts.ext.c_str());
        ASSERT_EQ(std::string(made), path);
    }
}

TEST(SplitPath, NullOutputsLongComponentsAndDoubleByteCharacters) {
    char name[256] = "old";
    auto nameOnly = [&](const char *path) {
        KORsplitpath(path, nullptr, nullptr, name, nullptr);
        return std::string(name) + "|";
    };
    EXPECT_EQ(nameOnly("C:\\d\\n.e") + nameOnly(nullptr), "n||");
    std::string longName = "C:\\" + std::string(300, 'd') + "\\" + std::string(300, 'n') + "." + std::string(300, 'e');
    std::vector<char> dir(400, '#'), base(400, '#'), ext(400, '#');
    KORsplitpath(longName.c_str(), nullptr, dir.data(), base.data(), ext.data());
    EXPECT_EQ(std::string(dir.data()), std::string("\\").append(254, 'd'));
    EXPECT_EQ(std::string(base.data()), std::string(255, 'n'));
    EXPECT_EQ(std::string(ext.data()), std::string(".").append(254, 'e'));
    EXPECT_EQ(dir[256], '#') << "nothing beyond the component's 256 bytes";

    ASSERT_TRUE(platform::setAnsiCodePage(932));
    // 0x95 0x5C is one character whose second byte is a backslash.
    EXPECT_TRUE(split("C:\\d\x95\\\\n\x95\\.e") == (Split{"C:", "\\d\x95\\\\", "n\x95\\", ".e"}));
    EXPECT_EQ(split("\x95\\n").name, "\x95\\n") << "a double-byte character at the start";
    EXPECT_EQ(nameOnly((std::string(254, 'n') + "\x95\\").c_str()), std::string(254, 'n') + "|")
        << "a cut never leaves half a character";
    KORmakepath(name, nullptr, "d\x95\\", "n", nullptr);
    EXPECT_STREQ(name, "d\x95\\\\n") << "a second byte 0x5C does not end the directory";
    ASSERT_TRUE(platform::setAnsiCodePage(1252));
    EXPECT_EQ(split("C:\\d\x95\\n").name, "n") << "in code page 1252 0x95 is a character of its own";
}

// Separators and the extension's dot are added; a path that does not fit is not stored.
TEST(FileNames, MakePathExtensionSubstitutionAndSmallHelpers) {
    char out[KOR_MAX_PATH];
    auto made = [&](const char *drive, const char *dir, const char *name, const char *ext) {
        KORmakepath(out, drive, dir, name, ext);
        return std::string(out) + "|";
    };
    const std::string name(250, 'n');
    EXPECT_EQ(made("C", "dwg", "plan", "dwg") + made(nullptr, "a/", "b", nullptr) + made("\\\\srv", "share", "", "") +
                  made(nullptr, nullptr, nullptr, "x") + made(nullptr, nullptr, nullptr, nullptr) +
                  made("C", "dir", name.c_str(), "ext"), "C:dwg\\plan.dwg|a/b|\\\\srvshare\\|.x|||");
    EXPECT_EQ(made(nullptr, nullptr, name.c_str(), "e"), name + ".e|");
    KORmakepath(nullptr, "C", "d", "n", "e");
    expectFacts({FACT(extension("plan.DWG", ".dwg"), 1), FACT(extension("c:\\a.b\\plan", ""), 1), FACT(extension(nullptr, ""), 1),
                 FACT(extension("plan.DWG", "dwg"), 0), FACT(extension("c:\\a.b\\plan", ".b"), 0), FACT(extension("plan.dwg", nullptr), 0)});
    EXPECT_EQ(KORsubstitute_dir("D:\\new\\x.txt", out, "C:\\old\\plan.dwg"), out);
    EXPECT_STREQ(out, "D:\\new\\plan.dwg");
    EXPECT_STREQ(KORsubstitute_dir(out, out, "plan"), "D:\\new\\plan") << "the out path may be the directory source";
    EXPECT_STREQ(KORsubstitute_dir("rel/", out, out), "rel/plan") << "or the name source";
    EXPECT_EQ(KORsubstitute_dir("a", nullptr, "b"), nullptr);
    char text[] = "a/b\\c//d";
    expectFacts({FACT(KOR_TranslatePath(text), 1), FACT(KOR_TranslatePath(nullptr), 1)});
    EXPECT_STREQ(text, "a\\b\\c\\\\d");
    KOR_GetDLLFileName("font", out);
    EXPECT_STREQ(out, "font.dll");
    KOR_GetDLLFileName(std::string(256, 'f').c_str(), out);
    EXPECT_STREQ(out, "") << "no room for the extension";
    EXPECT_EQ(GetFileAlias(0x1234, out), 0);
    EXPECT_STREQ(out, "");

    // Null output buffers are refused.
    expectFacts({FACT(KOR_GetModuleFileName(nullptr), 0), FACT(KOR_GetModuleDirFile(nullptr, "x"), 0),
                 FACT(get_xref_name(nullptr, "a", nullptr, nullptr, nullptr, ".dwg"), 0), FACT(GetFileAlias(0, nullptr), 0)});
    EXPECT_EQ(KORsearchpaths("a", nullptr, nullptr), nullptr);
    KORsearchenv("a", "PATH", nullptr);
}

// ---- The normaliser ------------------------------------------------------------------

/// The normaliser written plainly, left to right with a stack of components: what
/// normalizeName must give for a text without double-byte characters.
std::string modelNormalize(std::string name, std::string cwd) {
    std::replace(name.begin(), name.end(), '/', '\\');
    std::replace(cwd.begin(), cwd.end(), '/', '\\');
    bool absolute = name[0] == '\\' || (name.size() > 2 && name[1] == ':' && name[2] == '\\');
    std::string text = absolute ? name : cwd + (!cwd.empty() && cwd.back() == '\\' ? "" : "\\") + name;
    if (!text.empty() && text.back() == '\\') text.pop_back();
    std::vector<std::string> parts(1);
    for (char c : text) c == '\\' ? parts.emplace_back() : parts.back() += c;
    std::vector<std::string> stack;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i] == ".." && stack.empty()) return "\\";
        if (parts[i] == "..") {
            stack.pop_back();
        } else if (parts[i] != ".") {
            stack.push_back(parts[i]);
        }
    }
    std::string result = parts[0];
    for (const std::string &part : stack) result += "\\" + part;
    if (result.empty()) return "\\";
    std::size_t keep = result.size() >= 2 && result[1] == ':' ? 2 : 0;
    if (keep < result.size() && result[keep] == '\\') ++keep;
    return result.substr(0, keep) + std::regex_replace(result.substr(keep), std::regex("\\\\+"), "\\");
}

// Generated names against the model, then double-byte characters whose second byte is a backslash.
TEST(Normalizer, AgreesWithTheModel) {
    const char *const components[] = {"a", "bb", "..", ".", "", "c.d", "..x", ".e", "...", "C:", "f g"};
    const char *const starts[] = {"", "C:", "\\", "\\\\", "C:\\", "C:/", "/", "d:\\\\", "."};
    const char *const directories[] = {"C:\\work",    "\\",           "C:\\", "\\\\srv\\share",
                                       "\\home\\u\\", "C:\\a\\..\\b", "C:/"};
    std::mt19937 random(20240611);
    for (int i = 0; i < 20000; ++i) {
        std::string name = starts[random() % std::size(starts)];
        for (int k = 0, count = static_cast<int>(random() % 8); k < count; ++k) {
            if (k > 0 || random() % 2 == 0) name += random() % 10 == 0 ? "/" : "\\";
            name += components[random() % std::size(components)];
        }
        const char *cwd = directories[random() % std::size(directories)];
        if (!name.empty()) {
            ASSERT_EQ(fileio::normalizeName(name, cwd), modelNormalize(name, cwd)) << name << " in " << cwd;
        }
    }
    ASSERT_TRUE(platform::setAnsiCodePage(932));
    EXPECT_EQ(fileio::normalizeName("C:\\a\\\x95\\\\..\\b", ""), "C:\\a\\b");
    EXPECT_EQ(fileio::normalizeName("C:\\a\x95\\\\\\b\x95\\", ""), "C:\\a\x95\\\\b\x95\\");
    EXPECT_EQ(fileio::normalizeName("n", "C:\\d\x95\\"), "C:\\d\x95\\\\n");
    EXPECT_EQ(fileio::normalizeName("C:\\a\x95", ""), "C:\\a\x95") << "a first byte that ends the name stays alone";
    ASSERT_TRUE(platform::setAnsiCodePage(1252));
}

}  // namespace
}  // namespace vutil::test
