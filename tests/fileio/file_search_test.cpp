// Tests of the file names on every host that look at the file system: the library's own file name, the
// normalised-name area and the current directory, and the searches for files. Paths name a scratch directory in
// the library's notation (see host::driveFor).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "file_fixture.h"
#include "platform/file_system.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

namespace fs = std::filesystem;

/// The directory of the running program, with its closing separator, as the host names it.
std::string programDirectory() {
    const std::string program = host::programFile();
    return program.substr(0, program.find_last_of("/\\") + 1);
}

TEST(FileNames, TheModuleFileNameIsTheProgramsOwn) {
    // Linked statically, the library lives in the test program itself.
    char out[KOR_MAX_PATH];
    ASSERT_EQ(KOR_GetModuleFileName(out), 1);
    EXPECT_EQ(std::string(out), host::programFile());
    ASSERT_EQ(KOR_GetModuleDirFile(out, "vutil.ini"), 1);
    EXPECT_EQ(std::string(out), programDirectory() + "vutil.ini");
}

/// The current directory is work in the scratch directory.
class Search : public FileTest {
protected:
    void SetUp() override {
        FileTest::SetUp();
        fs::create_directories(dir.path() / "work");
        fs::current_path(dir.path() / "work");
    }
    void TearDown() override {
        FileTest::TearDown();
        KOR_GetNormalizedFName("");
    }
    void touch(const std::string &relative) {
        fs::create_directories((dir.path() / relative).parent_path());
        dir.write(relative, "x");
        ASSERT_TRUE(fs::exists(dir.path() / relative)) << relative;
    }
    char out[KOR_MAX_PATH];
};

TEST_F(Search, TheNormalizedNameAreaAndTheCurrentDirectory) {
    char *first = KOR_GetNormalizedFName("C:\\a\\b\\..\\c");
    EXPECT_STREQ(first, "C:\\a\\c");
    EXPECT_EQ(KOR_GetNormalizedFName("C:\\x"), first) << "one area";
    EXPECT_EQ(KOR_GetNormalizedFName(nullptr), nullptr);
    EXPECT_STREQ(first, "C:\\x") << "a null name leaves the area";
    std::string longName = "C:\\" + std::string(5000, 'n');
    EXPECT_EQ(std::string(KOR_GetNormalizedFName(longName.c_str())), longName);
    EXPECT_EQ(KOR_GetNormalizedFName(""), nullptr);
    EXPECT_STREQ(KOR_GetNormalizedFName("\\"), "\\");
    // Relative names join the current directory, named with its drive.
    EXPECT_EQ(std::string(KOR_GetNormalizedFName("a\\.\\b.dwg")), at("\\work\\a\\b.dwg"));
    EXPECT_EQ(std::string(KOR_GetNormalizedFName("..\\x")), at("\\x"));
}

// Each step makes one more candidate, which the search must now prefer.
TEST_F(Search, ReferencesAreLookedForInTheirOrder) {
    const std::string proj = at("\\proj\\main.dwg"), lib = at("\\lib\\");
    auto find = [&](const std::string &referenced, const std::string &place1, const std::string &place2) {
        std::strcpy(out, "old");
        return get_xref_name(out, referenced.c_str(), place1.c_str(), place2.c_str(), nullptr, ".dwg") == 1
                   ? std::string(out)
                   : std::string("-").append(out);
    };
    setenv("ACAD", (at("\\acad1") + ";;" + at("\\acad2\\")).c_str(), 1);
    const std::string steps[][2] = {{"", "-"},
                                    {"acad2/part.dwg", at("\\acad2\\part.dwg")}, {"acad1/part.dwg", at("\\acad1\\part.dwg")},
                                    {"lib/part.dwg", at("\\lib\\part.dwg")},     {"proj/part.dwg", at("\\proj\\part.dwg")},
                                    {"ref/part.dwg", "..\\ref\\part.dwg"}};
    for (const auto &step : steps) {
        if (!step[0].empty()) touch(step[0]);
        EXPECT_EQ(find("..\\ref\\part.dxf", proj, lib), step[1]);
    }
    EXPECT_EQ(find("part", at("\\lib"), at("\\lib")), at("\\acad1\\part.dwg")) << "the last component of a place is a file name";
    fs::create_directories(dir.path() / "work" / "dir.dwg");
    EXPECT_EQ(find("dir.x", proj, lib), "dir.dwg") << "a directory counts";
    EXPECT_EQ(find(at("\\PROJ\\Part"), proj, lib), at("\\PROJ\\Part.dwg")) << "found without regard to case";
    // Candidates of 259 characters fit a path buffer, of 260 not.
    const std::string place = at(std::string("\\").append(100, 'd') + "\\");
    const std::string fits(259 - place.size() - 4, 'f'), tooLong(fits.size() + 1, 'f');
    for (const std::string &name : {fits, tooLong}) touch(std::string(100, 'd') + "/" + name + ".dwg");
    EXPECT_EQ(find(place + fits, proj, lib), place + fits + ".dwg");
    EXPECT_EQ(find(place + tooLong, proj, lib), "-");
    EXPECT_EQ(KORsearchpaths((tooLong + ".dwg").c_str(), place.c_str(), out), nullptr);
}

TEST_F(Search, EnvironmentSearchTriesTheCurrentDirectoryFirst) {
    auto search = [&](const char *file, const char *variable = "VUTIL_TEST_PATH") {
        std::strcpy(out, "old");
        KORsearchenv(file, variable, out);
        return std::string(out);
    };
    for (const char *file : {"one/a.shx", "two/a.shx", "two/b.shx"}) touch(file);
    setenv("VUTIL_TEST_PATH", (at(std::string("\\").append(300, 'p')) + ";;" + at("\\one") + ";" + at("/two/")).c_str(), 1);
    EXPECT_EQ(search("a.shx"), at("\\one\\a.shx"));
    EXPECT_EQ(search("b.shx"), at("\\two\\b.shx"));
    setenv("VUTIL_TEST_PATH", "..\\two", 1);
    EXPECT_EQ(search("b.shx"), at("\\two\\b.shx")) << "the full name of a relative directory's match";
    EXPECT_EQ(search("b.shx", "vutil_test_path"), host::kEnvironmentNamesIgnoreCase ? at("\\two\\b.shx") : "")
        << "variable names as the host compares them";
    touch("work/a.shx");
    EXPECT_EQ(search("a.shx"), at("\\work\\a.shx"));
    EXPECT_EQ(search(".\\a.shx", "VUTIL_TEST_UNSET"), at("\\work\\a.shx")) << "the current directory without a variable";
    EXPECT_EQ(search("c.shx") + search("") + search(nullptr) + search("a.shx", nullptr), "");
}

// Relative directories of the list are looked for under the library's directory (the test
// program's), then as they stand; then the name itself and the library's directory.
TEST_F(Search, PathSearchOrder) {
    const std::string own = programDirectory(), unique = "vutil-search-" + std::to_string(platform::processNumber()),
                      file = unique + ".shx";
    struct Cleanup {
        fs::path directory, file;
        ~Cleanup() { fs::remove_all(directory), fs::remove(file); }
    } cleanup{own + unique, own + file};
    const std::string list = unique + "," + at("\\shared") + ";;" + at("\\other");
    fs::create_directories(dir.path() / "other" / file);  // a directory is not an answer
    const std::string steps[][2] = {
        {"", "-"}, {own + file, own + file}, {dir.file("work/" + file), file}, {dir.file("shared/" + file), at("\\shared\\") + file},
        {dir.file("work/" + unique + "/" + file), unique + "\\" + file}, {own + unique + "/" + file, own + unique + "\\" + file}};
    for (const auto &step : steps) {
        if (!step[0].empty()) touch(step[0]);
        std::strcpy(out, "old");
        char *result = KORsearchpaths(file.c_str(), list.c_str(), out);
        EXPECT_EQ(result == out ? std::string(out) : std::string("-").append(out), step[1]);
    }
    EXPECT_EQ(KORsearchpaths(file.c_str(), ("\\" + unique).c_str(), out), out);
    EXPECT_EQ(std::string(out), file) << "a directory that begins with a backslash is not looked for under the library's";
    EXPECT_EQ(KORsearchpaths(file.c_str(), nullptr, out), std::string(file)) << "no list: the name itself";
}

}  // namespace
}  // namespace vutil::test
