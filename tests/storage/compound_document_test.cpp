// Tests of the compound-document streams: listing and reading against an independent reader's results, the stream
// table, seeking, names, the binding and its failures, and damaged documents.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "frame/entry.h"
#include "platform/file.h"
#include "storage_fixture.h"

namespace vutil::test {
namespace {

class Documents : public StorageTest {};

/// Names the storage's elements one index at a time, as the caller of the listing does.
std::vector<ExpectedElement> listStorage(const std::string &file, const std::string &path, int32_t *last) {
    std::vector<ExpectedElement> elements;
    char name[64];
    for (int32_t index = 0;; ++index) {
        std::memset(name, 'x', sizeof name);
        *last = KorOleQueryStorage(file.c_str(), path.c_str(), index, 63, name);
        if (*last != 1 && *last != 2) {
            EXPECT_STREQ(name, "") << "the name of a missing element is empty";
            return elements;
        }
        elements.push_back({*last == 1, name, 0, 0});
    }
}

TEST_F(Documents, ListingsAndStreamsMatchTheIndependentReader) {
    for (const auto &[fileName, listing] : expectedListings()) {
        const std::string file = dataPath(fileName);
        for (const auto &[path, elements] : listing) {
            if (!path.empty()) {  // the root has no path of its own: its elements are reached by name
                int32_t last = 0;
                const std::vector<ExpectedElement> listed = listStorage(file, path, &last);
                EXPECT_EQ(last, KOR_OLE_NO_SUCH_ELEMENT) << fileName << " " << path;
                ASSERT_EQ(listed.size(), elements.size()) << fileName << " " << path;
                for (std::size_t i = 0; i < listed.size(); ++i) {
                    EXPECT_EQ(listed[i].stream, elements[i].stream) << fileName << " " << path << " " << i;
                    EXPECT_EQ(listed[i].name, elements[i].name) << fileName << " " << path << " " << i;
                }
            }
            for (const ExpectedElement &element : elements) {
                if (!element.stream || element.name.find('?') != std::string::npos) {
                    continue;  // a name without a form in the code page cannot be asked for
                }
                const std::string streamPath = path.empty() ? element.name : path + "\\" + element.name;
                // Whole pieces, odd pieces that straddle sectors and windows, single bytes.
                for (int32_t piece : {4096, 1, 7, 511, 65537, 0}) {
                    int32_t handle = 0;
                    ASSERT_EQ(KorOleOpenStream(file.c_str(), streamPath.c_str(), &handle), 1) << streamPath;
                    EXPECT_EQ(KorOleStreamSize(handle), element.size) << streamPath;
                    const std::string bytes = readStream(handle, piece);
                    EXPECT_EQ(bytes.size(), static_cast<std::size_t>(element.size)) << streamPath << " " << piece;
                    EXPECT_EQ(fnv1a64(bytes), element.digest) << fileName << " " << streamPath << " " << piece;
                    EXPECT_EQ(KorOleTellStream(handle), element.size);
                    EXPECT_EQ(KorOleCloseStream(handle), 1);
                }
            }
        }
    }
}

TEST_F(Documents, PathComponentsMatchTheFirstElementThatBeginsWithThemAndNamesAreCutToTheRoom) {
    const std::string file = dataPath("basic.cfb");
    char name[64];
    struct Case {
        const char *path;
        int32_t index, room, result;
        const char *name;
    };
    for (const Case &c : {
             Case{"Su", 0, 63, 1, "top"},                    // "Sub" comes before "Subway": shorter names first
             Case{"Sub", -1, 63, 2, "Sub"},                  // no step: the queried storage itself
             Case{"Sub\\De", -5, 63, 2, "Deep"},             //
             Case{"Sub\\Deep\\Deeper", 0, 63, 1, "leaf"},    //
             Case{"Sub\\Deep\\Deeper", 1, 63, -3, ""},       // one element only
             Case{"Sub\\", 1, 63, -4, ""},                   // an empty component matches the first element
             Case{"Ma", 0, 63, 1, "item00"},                 // "Many", a storage, before the stream "Maße"
             Case{"Many", 44, 63, 1, "item44"},              //
             Case{"Many", 45, 63, -3, ""},                   //
             Case{"Many", INT32_MAX, 63, -3, ""},            //
             Case{"", 0, 63, -4, ""},                        // the root's first element is the stream "A"
             Case{"A", 0, 63, -4, ""},                       //
             Case{"Sub\\top", 0, 63, -4, ""},                // a stream is not a storage
             Case{"Nothing", 0, 63, -4, ""},                 //
             Case{"sub", 0, 63, -4, ""},                     // names compare exactly
             Case{"Sub\\Deep\\Deeper\\leaf\\x", 0, 63, -4, ""},  //
             Case{"Sub", 0, 2, -1, "to"},                    // cut to the room given, with its own result
             Case{"Sub", 0, 3, 1, "top"}, Case{"Sub", 1, 0, -2, ""}, Case{"Sub", 1, 3, -2, "Dee"},
             Case{"Sub", 1, 4, 2, "Deep"}, Case{"Sub", -1, 1, -2, "S"}, Case{"Many", 7, 5, -1, "item0"},
         }) {
        std::memset(name, 'x', sizeof name);
        EXPECT_EQ(KorOleQueryStorage(file.c_str(), c.path, c.index, c.room, name), c.result) << c.path << " " << c.index;
        if (c.result != -4) {
            EXPECT_STREQ(name, c.name) << c.path << " " << c.index;
        }
        if (c.room < 63) {
            EXPECT_EQ(name[c.room + 1], 'x') << "nothing written beyond the room and its terminator";
        }
    }
    EXPECT_EQ(KorOleQueryStorage(file.c_str(), "Sub", 0, -1, name), 0) << "a negative room is refused";
    EXPECT_EQ(KorOleQueryStorage(file.c_str(), "Sub", 0, 5, nullptr), 0);
    EXPECT_EQ(KorOleQueryStorage(nullptr, "Sub", 0, 5, name), 0);
    EXPECT_EQ(KorOleQueryStorage(file.c_str(), nullptr, 0, 5, name), 0);
    // The empty path names the first element of the root; in this document that is a storage.
    EXPECT_EQ(KorOleQueryStorage(dataPath("hostile-base.cfb").c_str(), "", 2, 63, name), 1);
    EXPECT_STREQ(name, "small");

    // An open takes the first stream that begins with the component, passing storages by.
    int32_t handle = 0;
    for (const auto &[path, size] : std::vector<std::pair<const char *, int32_t>>{
             {"", 10}, {"s40", 4095}, {"Sub", 9}, {"Su", 9}, {"Sub\\", 3000}, {"Sub\\D\\", 4500}, {"Ma", 14}}) {
        ASSERT_EQ(KorOleOpenStream(file.c_str(), path, &handle), 1) << path;
        EXPECT_EQ(KorOleStreamSize(handle), size) << path;
        EXPECT_EQ(KorOleCloseStream(handle), 1);
    }
    for (const char *path : {"Many", "Sub\\Deep", "zzz", "Sub\\top\\x", "A\\B"}) {
        handle = 7;
        EXPECT_EQ(KorOleOpenStream(file.c_str(), path, &handle), 0) << path;
        EXPECT_EQ(handle, 0) << path;
    }
}

TEST_F(Documents, NamesComeInTheAnsiCodePage) {
    // In 1252 the listing shows characters without a form as '?' (see the fixtures' expected names); in 932
    // "Nihon" has its two double-byte characters, which a cut keeps whole, and the sharp s has no form.
    const std::string file = dataPath("fragmented.cfb");
    ASSERT_TRUE(platform::setAnsiCodePage(932));
    char name[64];
    struct Case {
        int32_t index;
        int32_t size;
        int32_t result;
        const char *name;
    };
    for (const Case &c : {Case{0, 63, 1, "\x93\xfa\x96\x7b"}, Case{0, 4, 1, "\x93\xfa\x96\x7b"},
                          Case{0, 3, -1, "\x93\xfa"}, Case{0, 1, -1, ""}, Case{1, 63, 1, "Ma?e"},
                          Case{2, 63, 1, "\x83\xb6mega"}, Case{2, 1, -1, ""}, Case{2, 2, -1, "\x83\xb6"}}) {
        EXPECT_EQ(KorOleQueryStorage(file.c_str(), "Names", c.index, c.size, name), c.result) << c.index << c.size;
        EXPECT_STREQ(name, c.name) << c.index << " " << c.size;
    }
    int32_t handle = 0;
    ASSERT_EQ(KorOleOpenStream(file.c_str(), "Names\\\x93\xfa\x96\x7b", &handle), 1);
    EXPECT_EQ(KorOleStreamSize(handle), 6);
    EXPECT_EQ(KorOleCloseStream(handle), 1);
    // A component that is not valid text matches nothing, not even as an empty one would.
    EXPECT_EQ(KorOleOpenStream(file.c_str(), "Names\\\x93", &handle), 0);
    EXPECT_EQ(KorOleQueryStorage(file.c_str(), "\x81", 0, 63, name), -4);
}

TEST_F(Documents, FifteenStreamsAtOnceAndNoMore) {
    const std::string file = dataPath("basic.cfb");
    std::vector<int32_t> handles;
    for (int32_t i = 0; i < KOR_MAX_STREAMS; ++i) {
        int32_t handle = 0;
        ASSERT_EQ(KorOleOpenStream(file.c_str(), "Many\\item", &handle), 1);
        EXPECT_EQ(handle, i + 1);
        handles.push_back(handle);
        EXPECT_EQ(platform::componentServiceUsers(), 1) << "started once for all users";
    }
    int32_t handle = 3;
    EXPECT_EQ(KorOleOpenStream(file.c_str(), "Sub\\top", &handle), 0);
    EXPECT_EQ(handle, 0);
    char name[16];
    EXPECT_EQ(KorOleQueryStorage(file.c_str(), "Sub", 0, 15, name), 0) << "a query needs a free slot too";
    EXPECT_EQ(storage::gBinding.users, 15);

    // Closing frees the slot for the next open; closing again is harmless and releases nothing twice.
    EXPECT_EQ(KorOleCloseStream(4), 1);
    EXPECT_EQ(KorOleCloseStream(4), 1);
    EXPECT_EQ(storage::gBinding.users, 14);
    ASSERT_EQ(KorOleOpenStream(file.c_str(), "Sub\\top", &handle), 1);
    EXPECT_EQ(handle, 4);
    for (int32_t h : handles) {
        EXPECT_EQ(KorOleCloseStream(h), 1);
    }
    EXPECT_EQ(platform::componentServiceUsers(), 0);
    for (int32_t h : {0, -1, 16, INT32_MIN}) {
        EXPECT_EQ(KorOleCloseStream(h), 0) << h;
        EXPECT_EQ(KorOleStreamFgetc(h), -1) << h;
        EXPECT_EQ(KorOleTellStream(h), 0) << h;
        EXPECT_EQ(KorOleStreamSize(h), 0) << h;
        EXPECT_EQ(KorOleSeekStream(h, 0, 0), 0) << h;
        EXPECT_EQ(KorOleReadStream(name, 1, h), 0) << h;
    }
}

TEST_F(Documents, SeeksStayInsideTheStream) {
    const std::string file = dataPath("basic.cfb");
    const std::string expected = [&] {
        int32_t handle = 0;
        EXPECT_EQ(KorOleOpenStream(file.c_str(), "s70000", &handle), 1);
        std::string bytes = readStream(handle, 4096);
        KorOleCloseStream(handle);
        return bytes;
    }();
    ASSERT_EQ(expected.size(), 70000u);
    int32_t handle = 0;
    ASSERT_EQ(KorOleOpenStream(file.c_str(), "s70000", &handle), 1);
    struct Case {
        int32_t offset;
        int32_t origin;
        int32_t result;
        int32_t position;  ///< afterwards
    };
    for (const Case &c : {Case{0, 2, 0, 0}, Case{-1, 2, 1, 69999}, Case{1, 1, 0, 69999}, Case{-69999, 1, 1, 0},
                          Case{-1, 1, 0, 0}, Case{70000, 0, 0, 0}, Case{69999, 0, 1, 69999}, Case{12345, 0, 1, 12345},
                          Case{100, 3, 0, 12345}, Case{0, -1, 0, 12345}, Case{-70000, 2, 1, 0},
                          Case{INT32_MAX, 1, 0, 0}, Case{INT32_MIN, 2, 0, 0}, Case{66000, 1, 1, 66000},
                          Case{-65999, 1, 1, 1}, Case{5, 1, 1, 6}}) {
        EXPECT_EQ(KorOleSeekStream(handle, c.offset, c.origin), c.result) << c.offset << " " << c.origin;
        EXPECT_EQ(KorOleTellStream(handle), c.position) << c.offset << " " << c.origin;
        // The next byte is the one at the position, whether the window held it or not.
        EXPECT_EQ(KorOleStreamFgetc(handle), static_cast<uint8_t>(expected[static_cast<std::size_t>(c.position)]));
        ASSERT_EQ(KorOleSeekStream(handle, c.position, 0), 1);
    }
    ASSERT_EQ(KorOleSeekStream(handle, -1, 2), 1);
    EXPECT_EQ(KorOleStreamFgetc(handle), static_cast<uint8_t>(expected.back()));
    EXPECT_EQ(KorOleStreamFgetc(handle), -1);
    EXPECT_EQ(KorOleTellStream(handle), 70000);

    // A count beyond what is left gets what is left; nothing is read for counts below 1.
    std::vector<char> buffer(80000, 'x');
    ASSERT_EQ(KorOleSeekStream(handle, 69000, 0), 1);
    EXPECT_EQ(KorOleReadStream(buffer.data(), 0, handle), 0);
    EXPECT_EQ(KorOleReadStream(buffer.data(), -5, handle), 0);
    EXPECT_EQ(KorOleReadStream(buffer.data(), INT32_MAX, handle), 1000);
    EXPECT_EQ(std::string(buffer.data(), 1000), expected.substr(69000));
    EXPECT_EQ(buffer[1000], 'x');
    EXPECT_EQ(KorOleTellStream(handle), KorOleStreamSize(handle));
    EXPECT_EQ(KorOleReadStream(buffer.data(), 10, handle), 0);

    // A stream of no bytes has no position to seek to.
    int32_t empty = 0;
    ASSERT_EQ(KorOleOpenStream(file.c_str(), "e0", &empty), 1);
    EXPECT_EQ(KorOleSeekStream(empty, 0, 0), 0);
    EXPECT_EQ(KorOleStreamFgetc(empty), -1);
    EXPECT_EQ(KorOleReadStream(buffer.data(), 10, empty), 0);
}

/// A read and a seek of the host file that fail with an I/O error.
ssize_t failingRead(int, void *, size_t) {
    errno = EIO;
    return -1;
}
off_t failingSeek(int, off_t, int) {
    errno = EIO;
    return -1;
}

TEST_F(Documents, AFailedReadLeavesThePositionWhereItWas) {
    const std::string file = dataPath("basic.cfb");
    for (const auto &[call, failing] : std::vector<std::pair<const char *, platform::SystemCall>>{
             {"read", reinterpret_cast<platform::SystemCall>(&failingRead)},
             {"lseek", reinterpret_cast<platform::SystemCall>(&failingSeek)}}) {
        int32_t handle = 0;
        ASSERT_EQ(KorOleOpenStream(file.c_str(), "s70000", &handle), 1);
        const std::string whole = readStream(handle, 4096);
        ASSERT_EQ(KorOleSeekStream(handle, 100, 0), 1);
        std::vector<char> buffer(70000);
        platform::setFileSystemCall(call, failing);
        EXPECT_EQ(KorOleReadStream(buffer.data(), 70000, handle), 0) << call;
        EXPECT_EQ(KorOleStreamFgetc(handle), -1) << call;
        platform::setFileSystemCall(call, nullptr);
        EXPECT_EQ(KorOleTellStream(handle), 100) << call;
        ASSERT_EQ(KorOleReadStream(buffer.data(), 70000, handle), 69900) << call;
        EXPECT_EQ(std::string(buffer.data(), 69900), whole.substr(100)) << call;
        EXPECT_EQ(KorOleCloseStream(handle), 1);
    }
}

/// Points TMPDIR at a scratch directory for the length of a scope.
class TemporaryDirectory {
public:
    TemporaryDirectory() : saved_(std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "") {
        setenv("TMPDIR", dir_.path().c_str(), 1);
    }
    ~TemporaryDirectory() {
        if (saved_.empty()) {
            unsetenv("TMPDIR");
        } else {
            setenv("TMPDIR", saved_.c_str(), 1);
        }
    }
    const std::filesystem::path &path() const { return dir_.path(); }

private:
    TempDir dir_;
    std::string saved_;
};

TEST_F(Documents, ADocumentThatCannotBeOpenedInPlaceIsReadFromATemporaryCopy) {
    TemporaryDirectory temporary;
    const auto isEmpty = [&] { return std::filesystem::is_empty(temporary.path()); };
    const uint64_t digest = expectedListings().at("basic.cfb").at("Sub")[0].digest;
    const std::string file = scratch("held.cfb", readWhole(dataPath("basic.cfb")));

    platform::failStorageOpens(1);
    int32_t handle = 0;
    ASSERT_EQ(KorOleOpenStream(file.c_str(), "Sub\\top", &handle), 1);
    const std::filesystem::path copy = storage::gSlots[handle].copyName;
    EXPECT_EQ(copy.parent_path(), temporary.path());
    EXPECT_EQ(readWhole(copy.string()), readWhole(file));
    EXPECT_EQ(fnv1a64(readStream(handle, 4096)), digest);
    char name[16];
    platform::failStorageOpens(1);
    EXPECT_EQ(KorOleQueryStorage(file.c_str(), "Sub", 1, 15, name), 2) << "a query reads from a copy of its own";
    EXPECT_STREQ(name, "Deep");
    EXPECT_TRUE(std::filesystem::exists(copy));
    EXPECT_EQ(KorOleCloseStream(handle), 1);
    EXPECT_TRUE(isEmpty()) << "every copy is deleted";

    // When the copy does not open either, it is deleted at once; a file that is no compound document is copied
    // too, and fails from its copy.
    platform::failStorageOpens(2);
    EXPECT_EQ(KorOleOpenStream(file.c_str(), "Sub\\top", &handle), 0);
    platform::failStorageOpens(2);
    EXPECT_EQ(KorOleQueryStorage(file.c_str(), "Sub", 1, 15, name), 0);
    const std::string other = scratch("other.cfb", std::string(3000, 'x'));
    EXPECT_EQ(KorOleOpenStream(other.c_str(), "a", &handle), 0);
    EXPECT_TRUE(isEmpty());

    // Where it opens in place, no copy is made.
    ASSERT_EQ(KorOleOpenStream(file.c_str(), "Sub\\top", &handle), 1);
    EXPECT_STREQ(storage::gSlots[handle].copyName, "");
    EXPECT_EQ(KorOleCloseStream(handle), 1);
    EXPECT_TRUE(isEmpty());
}

std::vector<std::string> messages;
void collect(const char *message, ...) noexcept { messages.emplace_back(message); }

TEST_F(Documents, ListAllocationFailuresReportAndLeaveNothingBehind) {
    const std::string file = dataPath("basic.cfb");
    storage::setDiagnosticSink(collect);
    char name[16];
    int32_t handle = 9;
    for (int32_t successes : {0, 1}) {
        messages.clear();
        storage::failListAllocationAfter(successes);
        EXPECT_EQ(KorOleQueryStorage(file.c_str(), "Sub", 0, 15, name), 0);
        storage::failListAllocationAfter(successes);
        EXPECT_EQ(KorOleOpenStream(file.c_str(), "Sub\\top", &handle), 0);
        EXPECT_EQ(handle, 0);
        const std::string expected = successes == 0 ? "olelib|No memory to allocate substorage list"
                                                     : "olelib|No memory to allocate enumerator list";
        EXPECT_EQ(messages, (std::vector<std::string>{expected, expected}));
        EXPECT_EQ(platform::componentServiceUsers(), 0);
    }
    storage::failListAllocationAfter(-1);
    ASSERT_EQ(KorOleOpenStream(file.c_str(), "Sub\\top", &handle), 1);
    EXPECT_EQ(handle, 1) << "the failed calls left every slot free";
}

TEST_F(Documents, WithoutTheBindingEveryOperationFailsAtOnce) {
    const std::string file = dataPath("basic.cfb");
    char name[16] = "unchanged";
    int32_t handle = 0;
    auto everythingFails = [&](const char *why, int32_t users = 0) {
        EXPECT_EQ(KorOleQueryStorage(file.c_str(), "Sub", 0, 15, name), 0) << why;
        EXPECT_STREQ(name, "unchanged") << why;
        handle = 5;
        EXPECT_EQ(KorOleOpenStream(file.c_str(), "Sub\\top", &handle), 0) << why;
        EXPECT_EQ(handle, 0) << why;
        for (int32_t h = 1; h <= KOR_MAX_STREAMS; ++h) {
            EXPECT_EQ(KorOleCloseStream(h), 0) << why;
            EXPECT_EQ(KorOleStreamFgetc(h), -1) << why;
            EXPECT_EQ(KorOleReadStream(name, 1, h), 0) << why;
            EXPECT_EQ(KorOleSeekStream(h, 0, 0), 0) << why;
            EXPECT_EQ(KorOleTellStream(h), 0) << why;
            EXPECT_EQ(KorOleStreamSize(h), 0) << why;
        }
        EXPECT_EQ(platform::componentServiceUsers(), users) << why;
    };
    for (const char *fault : {"library", "CoInitialize", "CoUninitialize", "StgIsStorageFile", "StgOpenStorage"}) {
        storage::resetBindingForTest();
        platform::setStorageLibraryFault(fault);
        everythingFails(fault);
        EXPECT_EQ(platform::storageLibraryLoads(), 0) << "a binding that failed gave the library back";
        platform::setStorageLibraryFault("");
        everythingFails("a failed attempt is not repeated");
    }

    // The unload step unloads the library; nothing binds again afterwards.
    storage::resetBindingForTest();
    int32_t open = 0;
    ASSERT_EQ(KorOleOpenStream(file.c_str(), "Sub\\top", &open), 1);
    EXPECT_EQ(platform::storageLibraryLoads(), 1);
    EXPECT_EQ(frame::entryPoint(nullptr, static_cast<uint32_t>(frame::Reason::ProcessDetach), nullptr), 1);
    EXPECT_EQ(platform::storageLibraryLoads(), 0);
    EXPECT_EQ(storage::gSlots[open].handle, open) << "unloading closes no stream";
    everythingFails("unloaded", 1);
    // Bind again, as a fresh process would, to give back the stream that unloading left open.
    storage::resetBindingForTest();
    EXPECT_EQ(KorOleQueryStorage(file.c_str(), "Sub", 0, 15, name), 1);
    EXPECT_EQ(KorOleCloseStream(open), 1);
}

TEST_F(Documents, DamagedDocumentsGiveTheFailureResults) {
    // For each damaged file: the results of listing S, and of opening S\big (5000 bytes, sector chain), S\small
    // (100 bytes, mini stream), top and x; every stream that opens must read whole.
    struct Case {
        const char *name;
        int32_t listS;
        int32_t big, small, top, x;
    };
    const std::vector<Case> cases = {
        {"fat-cycle", 1, 0, 1, 1, 1},            {"fat-self-loop", 1, 0, 1, 1, 1},
        {"fat-index-past-end", 1, 0, 1, 1, 1},   {"fat-chain-short", 1, 0, 1, 1, 1},
        {"fat-free-in-chain", 1, 0, 1, 1, 1},    {"size-huge", 1, 0, 1, 1, 1},
        {"size-high-bits", 1, 1, 1, 1, 1},       {"mini-cycle", 1, 1, 0, 1, 1},
        {"mini-index-past-end", 1, 1, 0, 1, 1},  {"ministream-loop", 1, 1, 0, 0, 1},
        {"root-tree-cycle", -4, 0, 0, 0, 0},     {"storage-tree-cycle", -4, 0, 0, 1, 1},
        {"child-to-ancestor", 1, 1, 1, 1, 1},    {"child-past-end", -4, 0, 0, 1, 1},
        {"unknown-type", -4, 0, 0, 1, 1},        {"name-unterminated", -4, 0, 0, 0, 0},
        {"name-length-odd", -4, 0, 0, 0, 0},     {"name-length-over-64", -4, 0, 0, 0, 0},
        {"storage-start-size-garbage", 1, 1, 1, 1, 1},
        {"short-last-sector", 1, 1, 1, 1, 1},    {"truncated-in-stream", 1, 1, 1, 1, 0},
        {"directory-loop", 0, 0, 0, 0, 0},       {"root-not-root", 0, 0, 0, 0, 0},
        {"shift-31", 0, 0, 0, 0, 0},             {"shift-12-in-v3", 0, 0, 0, 0, 0},
        {"shift-0", 0, 0, 0, 0, 0},              {"mini-shift-0", 0, 0, 0, 0, 0},
        {"version-5", 0, 0, 0, 0, 0},            {"byte-order", 0, 0, 0, 0, 0},
        {"cutoff-512", 0, 0, 0, 0, 0},           {"fat-count-huge", 0, 0, 0, 0, 0},
        {"fat-sector-past-end", 0, 0, 0, 0, 0},  {"not-compound", 0, 0, 0, 0, 0},
        {"truncated-header", 0, 0, 0, 0, 0},     {"truncated-directory", 0, 0, 0, 0, 0},
        {"empty", 0, 0, 0, 0, 0},
    };
    const auto files = hostileFiles();
    const auto listing = expectedListings().at("hostile-base.cfb");
    std::map<std::string, uint64_t> digests;
    for (const auto &[path, elements] : listing) {
        for (const ExpectedElement &e : elements) {
            digests[path.empty() ? e.name : path + "\\" + e.name] = e.digest;
        }
    }
    for (const Case &c : cases) {
        ASSERT_TRUE(files.count(c.name)) << c.name;
        const std::string file = scratch(std::string(c.name) + ".cfb", files.at(c.name));
        char name[64];
        EXPECT_EQ(KorOleQueryStorage(file.c_str(), "S", 0, 63, name), c.listS) << c.name;
        if (c.listS == 1) {
            EXPECT_STREQ(name, "big") << c.name;
        }
        // A storage whose tree leads back to a storage above it cannot be listed; its parent can.
        EXPECT_EQ(KorOleQueryStorage(file.c_str(), "S\\Inner", 0, 63, name),
                  c.listS != 1 ? c.listS : std::string(c.name) == "child-to-ancestor" ? -4 : 1)
            << c.name;
        for (const auto &[path, opens] : std::vector<std::pair<std::string, int32_t>>{
                 {"S\\big", c.big}, {"S\\small", c.small}, {"top", c.top}, {"x", c.x}}) {
            int32_t handle = 0;
            EXPECT_EQ(KorOleOpenStream(file.c_str(), path.c_str(), &handle), opens) << c.name << " " << path;
            if (handle != 0) {
                EXPECT_EQ(fnv1a64(readStream(handle, 1000)), digests[path]) << c.name << " " << path;
                EXPECT_EQ(KorOleCloseStream(handle), 1);
            }
        }
    }
    EXPECT_EQ(files.size(), cases.size() + 4) << "every damaged file has its case here or in the reader's tests";
}

}  // namespace
}  // namespace vutil::test
