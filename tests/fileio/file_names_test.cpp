// Tests of the file names: split and build, the normaliser against a model, and the searches for files.
#include "fileio/file_names.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "support/temp_dir.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

namespace fs = std::filesystem;

struct Split {
    std::string drive, dir, name, ext;
};

Split split(const char *path) {
    char drive[3], dir[256], name[256], ext[256];
    KORsplitpath(path, drive, dir, name, ext);
    return {drive, dir, name, ext};
}

TEST(SplitPath, ComponentsFollowThePlatformRules) {
    struct Case {
        const char *path;
        Split parts;
    };
    const Case cases[] = {
        {"C:\\dwg\\plan.dwg", {"C:", "\\dwg\\", "plan", ".dwg"}},
        {"plan", {"", "", "plan", ""}},
        {"\\dwg\\", {"", "\\dwg\\", "", ""}},
        {"C:plan.a.b", {"C:", "", "plan.a", ".b"}},
        {"a.b\\c", {"", "a.b\\", "c", ""}},
        {"x/y\\z.e/f.g", {"", "x/y\\z.e/", "f", ".g"}},
        {"\\\\server\\share\\.cfg", {"", "\\\\server\\share\\", "", ".cfg"}},
        {"dir\\..", {"", "dir\\", ".", "."}},
        {"C:", {"C:", "", "", ""}},
        {"1:x", {"1:", "", "x", ""}},
        {"", {"", "", "", ""}},
    };
    for (const Case &c : cases) {
        Split got = split(c.path);
        EXPECT_EQ(got.drive, c.parts.drive) << c.path;
        EXPECT_EQ(got.dir, c.parts.dir) << c.path;
        EXPECT_EQ(got.name, c.parts.name) << c.path;
        EXPECT_EQ(got.ext, c.parts.ext) << c.path;
    }
}

TEST(SplitPath, NullOutputsAreSkippedAndLongComponentsCut) {
    char name[256] = "old";
    KORsplitpath("C:\\d\\n.e", nullptr, nullptr, name, nullptr);
    EXPECT_STREQ(name, "n");
    KORsplitpath(nullptr, nullptr, nullptr, name, nullptr);
    EXPECT_STREQ(name, "");

    std::string longName = "C:\\" + std::string(300, 'd') + "\\" + std::string(300, 'n') + "." + std::string(300, 'e');
    std::vector<char> dir(400, '#'), base(400, '#'), ext(400, '#');
    KORsplitpath(longName.c_str(), nullptr, dir.data(), base.data(), ext.data());
    EXPECT_EQ(std::string(dir.data()), std::string("\\").append(254, 'd'));
    EXPECT_EQ(std::string(base.data()), std::string(255, 'n'));
    EXPECT_EQ(std::string(ext.data()), std::string(".").append(254, 'e'));
    EXPECT_EQ(dir[256], '#') << "nothing beyond the component's 256 bytes";
}

TEST(SplitPath, DoubleByteCharactersStayWhole) {
    ASSERT_TRUE(platform::setAnsiCodePage(932));
    // 0x95 0x5C is one character whose second byte is a backslash.
    Split got = split("C:\\d\x95\\\\n\x95\\.e");
    EXPECT_EQ(got.dir, "\\d\x95\\\\");
    EXPECT_EQ(got.name, "n\x95\\");
    EXPECT_EQ(got.ext, ".e");
    EXPECT_EQ(split("\x95\\n").name, "\x95\\n") << "a double-byte character at the start";
    // A cut never leaves half a character.
    std::string longName = std::string(254, 'n') + "\x95\\";
    char base[256];
    KORsplitpath(longName.c_str(), nullptr, nullptr, base, nullptr);
    EXPECT_EQ(std::string(base), std::string(254, 'n'));
    ASSERT_TRUE(platform::setAnsiCodePage(1252));
    EXPECT_EQ(split("C:\\d\x95\\n").name, "n") << "in code page 1252 0x95 is a character of its own";
}

TEST(MakePath, ComponentsAreJoinedWithTheirSeparators) {
    struct Case {
        const char *drive, *dir, *name, *ext, *path;
    };
    const Case cases[] = {
        {"C", "dwg", "plan", "dwg", "C:dwg\\plan.dwg"}, {"C:", "\\dwg\\", "plan", ".dwg", "C:\\dwg\\plan.dwg"},
        {nullptr, "a/", "b", nullptr, "a/b"},           {"", "", "b", "", "b"},
        {"\\\\srv", "share", "", "", "\\\\srvshare\\"}, {nullptr, nullptr, nullptr, "x", ".x"},
        {nullptr, nullptr, nullptr, nullptr, ""},
    };
    for (const Case &c : cases) {
        char path[KOR_MAX_PATH] = "old";
        KORmakepath(path, c.drive, c.dir, c.name, c.ext);
        EXPECT_STREQ(path, c.path) << c.path;
    }
    ASSERT_TRUE(platform::setAnsiCodePage(932));
    char path[KOR_MAX_PATH];
    KORmakepath(path, nullptr, "d\x95\\", "n", nullptr);
    EXPECT_STREQ(path, "d\x95\\\\n") << "a second byte 0x5C does not end the directory";
    ASSERT_TRUE(platform::setAnsiCodePage(1252));

    std::string name(250, 'n');
    KORmakepath(path, "C", "dir", name.c_str(), "ext");
    EXPECT_STREQ(path, "") << "a path that does not fit is not stored";
    KORmakepath(path, nullptr, nullptr, name.c_str(), "e");
    EXPECT_EQ(std::string(path), name + ".e");
    KORmakepath(nullptr, "C", "d", "n", "e");
}

TEST(FileNames, ExtensionSubstitutionAndSmallHelpers) {
    EXPECT_EQ(extension("plan.DWG", ".dwg"), 1);
    EXPECT_EQ(extension("plan.DWG", "dwg"), 0);
    EXPECT_EQ(extension("c:\\a.b\\plan", ""), 1);
    EXPECT_EQ(extension("c:\\a.b\\plan", ".b"), 0);
    EXPECT_EQ(extension("plan.dwg", nullptr), 0);
    EXPECT_EQ(extension(nullptr, ""), 1);

    char out[KOR_MAX_PATH];
    EXPECT_EQ(KORsubstitute_dir("D:\\new\\x.txt", out, "C:\\old\\plan.dwg"), out);
    EXPECT_STREQ(out, "D:\\new\\plan.dwg");
    std::strcpy(out, "D:\\new\\x.txt");
    KORsubstitute_dir(out, out, "plan");
    EXPECT_STREQ(out, "D:\\new\\plan") << "the out path may be the directory source";
    std::strcpy(out, "C:\\old\\plan.dwg");
    KORsubstitute_dir("rel/", out, out);
    EXPECT_STREQ(out, "rel/plan.dwg") << "or the name source";
    EXPECT_EQ(KORsubstitute_dir("a", nullptr, "b"), nullptr);

    char text[] = "a/b\\c//d";
    EXPECT_EQ(KOR_TranslatePath(text), 1);
    EXPECT_STREQ(text, "a\\b\\c\\\\d");
    EXPECT_EQ(KOR_TranslatePath(nullptr), 1);

    KOR_GetDLLFileName("font", out);
    EXPECT_STREQ(out, "font.dll");
    KOR_GetDLLFileName(std::string(256, 'f').c_str(), out);
    EXPECT_STREQ(out, "") << "no room for the extension";

    std::strcpy(out, "old");
    EXPECT_EQ(GetFileAlias(0x1234, out), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(GetFileAlias(0, nullptr), 0);
}

TEST(FileNames, TheModuleIsTheProgramThatHoldsTheLibrary) {
    // Linked statically, the library lives in the test program itself.
    const std::string program = fs::canonical("/proc/self/exe").string();
    char out[KOR_MAX_PATH];
    ASSERT_EQ(KOR_GetModuleFileName(out), 1);
    EXPECT_EQ(std::string(out), program);
    ASSERT_EQ(KOR_GetModuleDirFile(out, "vutil.ini"), 1);
    EXPECT_EQ(std::string(out), (fs::path(program).parent_path() / "vutil.ini").string());
    EXPECT_EQ(KOR_GetModuleFileName(nullptr), 0);
    EXPECT_EQ(KOR_GetModuleDirFile(nullptr, "x"), 0);
}

// ---- The normaliser ------------------------------------------------------------------

/// The normaliser written plainly, left to right with a stack of components: what
/// normalizeName must give for a text without double-byte characters.
std::string modelNormalize(std::string name, std::string cwd) {
    std::replace(name.begin(), name.end(), '/', '\\');
    std::replace(cwd.begin(), cwd.end(), '/', '\\');
    bool absolute =
        name[0] == '\\' || name[0] == '/' || (name.size() > 2 && name[1] == ':' && (name[2] == '\\' || name[2] == '/'));
    std::string text = absolute ? name : cwd + (!cwd.empty() && cwd.back() == '\\' ? "" : "\\") + name;
    if (!text.empty() && text.back() == '\\') {
        text.pop_back();
    }
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, '\\');) {
        parts.push_back(part);
    }
    if (parts.empty() || text.back() == '\\') {
        parts.push_back("");  // getline gives nothing for an empty text and drops a last empty piece
    }
    std::vector<std::string> stack;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i] == "..") {
            if (stack.empty()) {
                return "\\";
            }
            stack.pop_back();
        } else if (parts[i] != ".") {
            stack.push_back(parts[i]);
        }
    }
    std::string result = parts[0];
    for (const std::string &part : stack) {
        result += "\\" + part;
    }
    if (result.empty()) {
        return "\\";
    }
    std::size_t keep = result.size() >= 2 && result[1] == ':' ? 2 : 0;
    if (keep < result.size() && result[keep] == '\\') {
        ++keep;
    }
    return result.substr(0, keep) + std::regex_replace(result.substr(keep), std::regex("\\\\+"), "\\");
}

TEST(Normalizer, ExamplesAndEdges) {
    struct Case {
        const char *name;
        const char *normalized;
    };
    const Case cases[] = {
        {"a\\b\\..\\c\\.\\d.dwg", "C:\\work\\a\\c\\d.dwg"},
        {"C:\\a\\b\\", "C:\\a\\b"},
        {"C:\\", "C:"},
        {"C:\\a\\..\\..\\b", "\\"},
        {"\\\\server\\share\\a\\..\\b", "\\\\server\\share\\b"},
        {"C:\\a\\b\\.\\..\\c", "C:\\a\\c"},
        {"C:\\a\\.cfg\\..x", "C:\\a\\.cfg\\..x"},
        {"C:name", "C:\\work\\C:name"},
        {"/abs/x\\..\\y", "\\abs\\y"},  // a leading slash makes the name absolute
        {"C:/a/b/../c", "C:\\a\\c"},
        {"a//b/", "C:\\work\\a\\b"},
        {"..", "C:"},
        {"\\\\\\a\\\\\\b\\", "\\\\a\\b"},
        {"C:\\\\\\a", "C:\\\\a"},
        {"\\a\\..", "\\"},  // nothing left: the root
    };
    for (const Case &c : cases) {
        EXPECT_EQ(fileio::normalizeName(c.name, "C:\\work"), c.normalized) << c.name;
        EXPECT_EQ(modelNormalize(c.name, "C:\\work"), c.normalized) << "model: " << c.name;
    }
    EXPECT_EQ(fileio::normalizeName("a", "C:\\"), "C:\\a") << "no second backslash after a root";
    EXPECT_EQ(fileio::normalizeName("a", "\\"), "\\a");
    EXPECT_EQ(fileio::normalizeName("a", ""), "\\a") << "no current directory: the root";
}

TEST(Normalizer, AgreesWithTheModelOnGeneratedNames) {
    const char *const components[] = {"a", "bb", "..", ".", "", "c.d", "..x", ".e", "...", "C:", "f g"};
    const char *const starts[] = {"", "C:", "\\", "\\\\", "C:\\", "C:/", "/", "d:\\\\", "."};
    const char *const directories[] = {"C:\\work",    "\\",           "C:\\", "\\\\srv\\share",
                                       "\\home\\u\\", "C:\\a\\..\\b", "C:/"};
    std::mt19937 random(20240611);
    for (int i = 0; i < 20000; ++i) {
        std::string name = starts[random() % std::size(starts)];
        int count = static_cast<int>(random() % 8);
        for (int k = 0; k < count; ++k) {
            if (k > 0 || random() % 2 == 0) {
                name += random() % 10 == 0 ? "/" : "\\";
            }
            name += components[random() % std::size(components)];
        }
        if (name.empty()) {
            continue;
        }
        const char *cwd = directories[random() % std::size(directories)];
        ASSERT_EQ(fileio::normalizeName(name, cwd), modelNormalize(name, cwd)) << name << " in " << cwd;
    }
}

TEST(Normalizer, DoubleByteCharactersKeepTheirSecondByte) {
    ASSERT_TRUE(platform::setAnsiCodePage(932));
    EXPECT_EQ(fileio::normalizeName("C:\\a\\\x95\\\\..\\b", ""), "C:\\a\\b");
    EXPECT_EQ(fileio::normalizeName("C:\\a\x95\\\\\\b\x95\\", ""), "C:\\a\x95\\\\b\x95\\");
    EXPECT_EQ(fileio::normalizeName("n", "C:\\d\x95\\"), "C:\\d\x95\\\\n");
    ASSERT_TRUE(platform::setAnsiCodePage(1252));
    EXPECT_EQ(fileio::normalizeName("C:\\a\\\x95\\\\..\\b", ""), "C:\\a\\\x95\\b");
}

class NormalizedName : public ::testing::Test {
protected:
    void SetUp() override { saved = fs::current_path(); }
    void TearDown() override {
        fs::current_path(saved);
        unsetenv("VUTIL_DRIVE_C");
        KOR_GetNormalizedFName("");
    }
    fs::path saved;
};

TEST_F(NormalizedName, OneAreaReusedAndReleased) {
    char *first = KOR_GetNormalizedFName("C:\\a\\b\\..\\c");
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "C:\\a\\c");
    char *second = KOR_GetNormalizedFName("C:\\x");
    EXPECT_EQ(second, first) << "one area";
    EXPECT_STREQ(first, "C:\\x") << "the first text is gone";
    EXPECT_EQ(KOR_GetNormalizedFName(nullptr), nullptr);
    EXPECT_STREQ(second, "C:\\x") << "a null name leaves the area";
    std::string longName = "C:\\" + std::string(5000, 'n');
    char *grown = KOR_GetNormalizedFName(longName.c_str());
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(std::string(grown), longName);
    EXPECT_EQ(KOR_GetNormalizedFName(""), nullptr);
    char *again = KOR_GetNormalizedFName("\\");
    ASSERT_NE(again, nullptr);
    EXPECT_STREQ(again, "\\");
}

TEST_F(NormalizedName, RelativeNamesJoinTheCurrentDirectoryInLibraryNotation) {
    TempDir dir;
    fs::create_directory(dir.path() / "sub");
    fs::current_path(dir.path() / "sub");
    std::string host = fs::current_path().string();
    std::string library = std::string("\\").append(host, 1);
    for (char &c : library) {
        c = c == '/' ? '\\' : c;
    }
    EXPECT_EQ(std::string(KOR_GetNormalizedFName("a\\.\\b.dwg")), library + "\\a\\b.dwg");
    EXPECT_EQ(std::string(KOR_GetNormalizedFName("..\\x")), library.substr(0, library.rfind('\\')) + "\\x");
    setenv("VUTIL_DRIVE_C", fs::current_path().parent_path().c_str(), 1);
    EXPECT_STREQ(KOR_GetNormalizedFName("a"), "C:\\sub\\a") << "a mapped drive comes back as its letter";
}

// ---- Searches --------------------------------------------------------------------------

/// The scratch directory as drive C:, and the current directory inside it.
class Search : public ::testing::Test {
protected:
    void SetUp() override {
        saved = fs::current_path();
        setenv("VUTIL_DRIVE_C", dir.path().c_str(), 1);
        fs::create_directories(dir.path() / "work");
        fs::current_path(dir.path() / "work");
    }
    void TearDown() override {
        fs::current_path(saved);
        unsetenv("VUTIL_DRIVE_C");
        unsetenv("ACAD");
        unsetenv("VUTIL_TEST_PATH");
    }
    void touch(const std::string &relative) {
        fs::create_directories((dir.path() / relative).parent_path());
        dir.write(relative, "x");
    }
    TempDir dir;
    fs::path saved;
};

TEST_F(Search, ReferencesAreLookedForInTheirOrder) {
    char out[KOR_MAX_PATH];
    auto find = [&](const char *referenced, const char *place1, const char *place2) {
        std::strcpy(out, "old");
        int32_t found = get_xref_name(out, referenced, place1, place2, nullptr, ".dwg");
        if (found == 1) {
            return std::string(out);
        }
        EXPECT_STREQ(out, "") << referenced;
        return std::string("-");
    };
    const char *ref = "..\\ref\\part.dxf";
    EXPECT_EQ(find(ref, "C:\\proj\\main.dwg", "C:\\lib\\"), "-");
    touch("acad2/part.dwg");
    setenv("ACAD", "C:\\acad1;;C:\\acad2\\", 1);
    EXPECT_EQ(find(ref, "C:\\proj\\main.dwg", "C:\\lib\\"), "C:\\acad2\\part.dwg");
    touch("acad1/part.dwg");
    EXPECT_EQ(find(ref, "C:\\proj\\main.dwg", "C:\\lib\\"), "C:\\acad1\\part.dwg");
    touch("lib/part.dwg");
    EXPECT_EQ(find(ref, "C:\\proj\\main.dwg", "C:\\lib\\"), "C:\\lib\\part.dwg");
    EXPECT_EQ(find(ref, "C:\\proj\\main.dwg", "C:\\lib"), "C:\\acad1\\part.dwg") << "the last component is a file name";
    touch("proj/part.dwg");
    EXPECT_EQ(find(ref, "C:\\proj\\main.dwg", "C:\\lib\\"), "C:\\proj\\part.dwg");
    touch("ref/part.dwg");
    EXPECT_EQ(find(ref, "C:\\proj\\main.dwg", "C:\\lib\\"), "..\\ref\\part.dwg");
    fs::create_directories(dir.path() / "work" / "dir.dwg");
    EXPECT_EQ(find("dir.x", nullptr, nullptr), "dir.dwg") << "a directory counts";
    EXPECT_EQ(find("C:\\PROJ\\Part", nullptr, nullptr), "C:\\PROJ\\Part.dwg") << "found without regard to case";
    std::string longName = "C:\\" + std::string(300, 'x') + "\\part";
    EXPECT_EQ(find(longName.c_str(), nullptr, nullptr), "C:\\acad1\\part.dwg") << "too long to be an answer";
    EXPECT_EQ(get_xref_name(nullptr, ref, nullptr, nullptr, nullptr, ".dwg"), 0);
}

TEST_F(Search, EnvironmentSearchTriesTheCurrentDirectoryFirst) {
    char out[KOR_MAX_PATH];
    auto search = [&](const char *file, const char *variable) {
        std::strcpy(out, "old");
        KORsearchenv(file, variable, out);
        return std::string(out);
    };
    touch("one/a.shx");
    touch("two/a.shx");
    touch("two/b.shx");
    setenv("VUTIL_TEST_PATH", ";C:\\one;C:/two/;..\\two", 1);
    EXPECT_EQ(search("a.shx", "VUTIL_TEST_PATH"), "C:\\one\\a.shx");
    EXPECT_EQ(search("b.shx", "VUTIL_TEST_PATH"), "C:\\two\\b.shx");
    setenv("VUTIL_TEST_PATH", "..\\two", 1);
    EXPECT_EQ(search("b.shx", "VUTIL_TEST_PATH"), "C:\\two\\b.shx") << "the full name of a relative directory's match";
    touch("work/a.shx");
    EXPECT_EQ(search("a.shx", "VUTIL_TEST_PATH"), "C:\\work\\a.shx");
    EXPECT_EQ(search(".\\a.shx", "VUTIL_TEST_UNSET"), "C:\\work\\a.shx") << "the current directory without a variable";
    EXPECT_EQ(search("c.shx", "VUTIL_TEST_PATH"), "");
    EXPECT_EQ(search("", "VUTIL_TEST_PATH"), "");
    EXPECT_EQ(search(nullptr, "VUTIL_TEST_PATH"), "");
    EXPECT_EQ(search("a.shx", nullptr), "");
    EXPECT_EQ(search("vutil_test_path", "vutil_test_path"), "") << "variable names keep their case";
    setenv("VUTIL_TEST_PATH", ("C:\\" + std::string(300, 'p') + ";C:\\two").c_str(), 1);
    EXPECT_EQ(search("b.shx", "VUTIL_TEST_PATH"), "C:\\two\\b.shx");
    KORsearchenv("a", "PATH", nullptr);
}

TEST_F(Search, PathSearchOrder) {
    // The library's directory is the test program's: candidates there are made and removed.
    const fs::path own = fs::canonical("/proc/self/exe").parent_path();
    const std::string unique = "vutil-search-" + std::to_string(::getpid());
    const fs::path ownFonts = own / unique;
    const std::string file = unique + ".shx";
    struct Cleanup {
        fs::path directory, file;
        ~Cleanup() {
            fs::remove_all(directory);
            fs::remove(file);
        }
    } cleanup{ownFonts, own / file};
    const std::string list = unique + ",C:\\shared;;C:\\other";
    char out[KOR_MAX_PATH];
    auto search = [&] {
        std::strcpy(out, "old");
        char *result = KORsearchpaths(file.c_str(), list.c_str(), out);
        if (result == nullptr) {
            EXPECT_STREQ(out, "");
            return std::string("-");
        }
        EXPECT_EQ(result, out);
        return std::string(out);
    };
    EXPECT_EQ(search(), "-");
    // A directory that begins with a backslash is not looked for under the library's.
    fs::create_directories(ownFonts);
    std::ofstream(ownFonts / file).put('x');
    EXPECT_EQ(KORsearchpaths(file.c_str(), ("\\" + unique).c_str(), out), nullptr);
    fs::remove_all(ownFonts);
    fs::create_directories(dir.path() / "other" / file);  // a directory is not an answer
    EXPECT_EQ(search(), "-");
    std::ofstream(own / file).put('x');
    EXPECT_EQ(search(), (own / file).string());
    touch("work/" + file);
    EXPECT_EQ(search(), file);
    touch("shared/" + file);
    EXPECT_EQ(search(), "C:\\shared\\" + file);
    touch("work/" + unique + "/" + file);
    EXPECT_EQ(search(), unique + "\\" + file);
    fs::create_directories(ownFonts);
    std::ofstream(ownFonts / file).put('x');
    EXPECT_EQ(search(), own.string() + "/" + unique + "\\" + file);
    EXPECT_EQ(KORsearchpaths(file.c_str(), list.c_str(), nullptr), nullptr);
    EXPECT_EQ(KORsearchpaths(file.c_str(), nullptr, out), std::string(file)) << "no list: the name itself";
}

TEST_F(Search, AnswersMustFitAPathBuffer) {
    // "C:\" + 100 + "\" + name: a name of 155 characters makes 259, one more 260.
    const std::string directory(100, 'd');
    const std::string fits = std::string(151, 'f') + ".dwg";
    const std::string tooLong = std::string(152, 'f') + ".dwg";
    touch(directory + "/" + fits);
    touch(directory + "/" + tooLong);
    const std::string place = "C:\\" + directory + "\\";
    char out[KOR_MAX_PATH];
    ASSERT_EQ(get_xref_name(out, (place + fits.substr(0, 151)).c_str(), nullptr, nullptr, nullptr, ".dwg"), 1);
    EXPECT_EQ(std::string(out), place + fits);
    EXPECT_EQ(get_xref_name(out, (place + tooLong.substr(0, 152)).c_str(), nullptr, nullptr, nullptr, ".dwg"), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(KORsearchpaths(fits.c_str(), place.c_str(), out), out);
    EXPECT_EQ(std::string(out), place + fits);
    EXPECT_EQ(KORsearchpaths(tooLong.c_str(), place.c_str(), out), nullptr);
}

}  // namespace
}  // namespace vutil::test
