// Tests of the file names on POSIX hosts, where drive letters are mapped to directories: the library's own
// file name, the normalised-name area and the current directory, and the searches for files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "file_fixture.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

namespace fs = std::filesystem;

TEST(FileNames, TheModuleFileNameIsTheProgramsOwn) {
    // Linked statically, the library lives in the test program itself.
    char out[KOR_MAX_PATH];
    const std::string program = fs::canonical("/proc/self/exe").string();
    ASSERT_EQ(KOR_GetModuleFileName(out), 1);
    EXPECT_EQ(std::string(out), program);
    ASSERT_EQ(KOR_GetModuleDirFile(out, "vutil.ini"), 1);
    EXPECT_EQ(std::string(out), (fs::path(program).parent_path() / "vutil.ini").string());
}

/// The current directory is C:\work.
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
    // Relative names join the current directory, a mapped drive given back as its letter.
    EXPECT_STREQ(KOR_GetNormalizedFName("a\\.\\b.dwg"), "C:\\work\\a\\b.dwg");
    unsetenv("VUTIL_DRIVE_C");
    std::string host = fs::current_path().string();
    std::replace(host.begin(), host.end(), '/', '\\');
    EXPECT_EQ(std::string(KOR_GetNormalizedFName("..\\x")), host.substr(0, host.rfind('\\')) + "\\x");
}

// Each step makes one more candidate, which the search must now prefer.
TEST_F(Search, ReferencesAreLookedForInTheirOrder) {
    auto find = [&](const std::string &referenced, const char *place1 = "C:\\proj\\main.dwg",
                    const char *place2 = "C:\\lib\\") {
        std::strcpy(out, "old");
        return get_xref_name(out, referenced.c_str(), place1, place2, nullptr, ".dwg") == 1 ? std::string(out)
                                                                                            : std::string("-").append(out);
    };
    setenv("ACAD", "C:\\acad1;;C:\\acad2\\", 1);
    const char *const steps[][2] = {{"", "-"},
                                    {"acad2/part.dwg", "C:\\acad2\\part.dwg"}, {"acad1/part.dwg", "C:\\acad1\\part.dwg"},
                                    {"lib/part.dwg", "C:\\lib\\part.dwg"},     {"proj/part.dwg", "C:\\proj\\part.dwg"},
                                    {"ref/part.dwg", "..\\ref\\part.dwg"}};
    for (const auto &step : steps) {
        if (*step[0] != '\0') touch(step[0]);
        EXPECT_EQ(find("..\\ref\\part.dxf"), step[1]);
    }
    EXPECT_EQ(find("part", "C:\\lib", "C:\\lib"), "C:\\acad1\\part.dwg")
        << "the last component of a place is a file name";
    fs::create_directories(dir.path() / "work" / "dir.dwg");
    EXPECT_EQ(find("dir.x"), "dir.dwg") << "a directory counts";
    EXPECT_EQ(find("C:\\PROJ\\Part"), "C:\\PROJ\\Part.dwg") << "found without regard to case";
    // "C:\" + 100 + "\" + name: a name of 155 characters makes 259, one more 260.
    const std::string place = "C:\\" + std::string(100, 'd') + "\\", fits(151, 'f'), tooLong(152, 'f');
    for (const std::string &name : {fits, tooLong}) touch(std::string(100, 'd') + "/" + name + ".dwg");
    EXPECT_EQ(find(place + fits), place + fits + ".dwg");
    EXPECT_EQ(find(place + tooLong), "-");
    EXPECT_EQ(KORsearchpaths((tooLong + ".dwg").c_str(), place.c_str(), out), nullptr);
}

TEST_F(Search, EnvironmentSearchTriesTheCurrentDirectoryFirst) {
    auto search = [&](const char *file, const char *variable = "VUTIL_TEST_PATH") {
        std::strcpy(out, "old");
        KORsearchenv(file, variable, out);
        return std::string(out);
    };
    for (const char *file : {"one/a.shx", "two/a.shx", "two/b.shx"}) touch(file);
    setenv("VUTIL_TEST_PATH", ("C:\\" + std::string(300, 'p') + ";;C:\\one;C:/two/").c_str(), 1);
    EXPECT_EQ(search("a.shx"), "C:\\one\\a.shx");
    EXPECT_EQ(search("b.shx"), "C:\\two\\b.shx");
    setenv("VUTIL_TEST_PATH", "..\\two", 1);
    EXPECT_EQ(search("b.shx"), "C:\\two\\b.shx") << "the full name of a relative directory's match";
    touch("work/a.shx");
    EXPECT_EQ(search("a.shx"), "C:\\work\\a.shx");
    EXPECT_EQ(search(".\\a.shx", "VUTIL_TEST_UNSET"), "C:\\work\\a.shx") << "the current directory without a variable";
    EXPECT_EQ(search("c.shx") + search("") + search(nullptr) + search("a.shx", nullptr), "");
    EXPECT_EQ(search("vutil_test_path", "vutil_test_path"), "") << "variable names keep their case";
}

// Relative directories of the list are looked for under the library's directory (the test
// program's), then as they stand; then the name itself and the library's directory.
TEST_F(Search, PathSearchOrder) {
    const fs::path own = fs::canonical("/proc/self/exe").parent_path();
    const std::string unique = "vutil-search-" + std::to_string(::getpid()), file = unique + ".shx";
    struct Cleanup {
        fs::path directory, file;
        ~Cleanup() { fs::remove_all(directory), fs::remove(file); }
    } cleanup{own / unique, own / file};
    const std::string list = unique + ",C:\\shared;;C:\\other";
    fs::create_directories(dir.path() / "other" / file);  // a directory is not an answer
    const std::string steps[][2] = {
        {"", "-"}, {(own / file).string(), (own / file).string()}, {dir.file("work/" + file), file},
        {dir.file("shared/" + file), "C:\\shared\\" + file},
        {dir.file("work/" + unique + "/" + file), unique + "\\" + file},
        {(own / unique / file).string(), own.string() + "/" + unique + "\\" + file}};
    for (const auto &step : steps) {
        if (!step[0].empty()) touch(step[0]);
        std::strcpy(out, "old");
        char *result = KORsearchpaths(file.c_str(), list.c_str(), out);
        EXPECT_EQ(result == out ? std::string(out) : std::string("-").append(out), step[1]);
    }
    EXPECT_EQ(KORsearchpaths(file.c_str(), ("\\" + unique).c_str(), out), out);
    EXPECT_EQ(std::string(out), file)
        << "a directory that begins with a backslash is not looked for under the library's";
    EXPECT_EQ(KORsearchpaths(file.c_str(), nullptr, out), std::string(file)) << "no list: the name itself";
}

}  // namespace
}  // namespace vutil::test
