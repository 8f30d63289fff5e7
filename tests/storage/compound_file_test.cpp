// Tests of the compound-file reader behind the storage services: damaged files and memory bounded by the file's
// size, sharing and modes, name lookup, stream seeks, and trees too deep for recursion.
#include <cstdlib>
#include <new>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "bench/compound_writer.h"
#include "platform/compound_file.h"
#include "platform/file.h"
#include "storage_fixture.h"
#include "support/host_facts.h"
#include "walk_document.h"

// g++ takes the replacement of the global allocation functions below for a mismatch of new and free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

// Counts the bytes allocated while `counting` is set, to show that no claim in a file makes the reader allocate
// more than the file's size justifies.
bool counting = false;
std::size_t allocated = 0;

void *allocate(std::size_t size) noexcept {
    allocated += counting ? size : 0;
    return std::malloc(size != 0 ? size : 1);
}

void *allocateOrThrow(std::size_t size) {
    if (void *block = allocate(size)) return block;
    throw std::bad_alloc();
}

}  // namespace

// Every unaligned form, so that no block is made by one allocator and given back to another.
void *operator new(std::size_t size) { return allocateOrThrow(size); }
void *operator new[](std::size_t size) { return allocateOrThrow(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept { return allocate(size); }
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept { return allocate(size); }
void operator delete(void *block) noexcept { std::free(block); }
void operator delete[](void *block) noexcept { std::free(block); }
void operator delete(void *block, std::size_t) noexcept { std::free(block); }
void operator delete[](void *block, std::size_t) noexcept { std::free(block); }
void operator delete(void *block, const std::nothrow_t &) noexcept { std::free(block); }
void operator delete[](void *block, const std::nothrow_t &) noexcept { std::free(block); }

namespace vutil::test {
namespace {

namespace pf = platform;
namespace cfb = platform::cfb;
using Reader = StorageTest;

/// Opens a document as its root storage; null when it does not open.
pf::Storage *root(const std::string &path, uint32_t mode = storage::kDocumentMode, int32_t *status = nullptr) {
    const std::u16string name(path.begin(), path.end());
    pf::Storage *storage = nullptr;
    const int32_t result = pf::stgOpenStorage(name.c_str(), mode, &storage);
    if (status != nullptr) *status = result;
    return storage;
}

// For each damaged file: the results of listing S and S\Inner, and whether S\big (5000 bytes, sector chain),
// S\small (100 bytes, mini stream), top and x open. Every stream that opens must read whole; a call that ends,
// wherever it failed, keeps nothing of the document; and no file, however damaged, may make the reader take more
// memory than its size justifies.
TEST_F(Reader, DamagedDocumentsGiveTheFailureResultsInMemoryBoundedByTheirSize) {
    const std::vector<std::pair<std::vector<int32_t>, std::vector<std::string>>> outcomes = {
        {{1, 1, 0, 1, 1, 1},
         {"fat-cycle", "fat-self-loop", "fat-index-past-end", "fat-chain-short", "fat-free-in-chain", "size-huge"}},
        {{1, 1, 1, 1, 1, 1}, {"size-high-bits", "storage-start-size-garbage", "short-last-sector"}},
        // A storage whose tree leads back to a storage above it cannot be listed; its parent can.
        {{1, -4, 1, 1, 1, 1}, {"child-to-ancestor"}},
        {{1, 1, 1, 0, 1, 1}, {"mini-cycle", "mini-index-past-end"}},
        {{1, 1, 1, 0, 0, 1}, {"ministream-loop"}},
        {{1, 1, 1, 1, 1, 0}, {"truncated-in-stream"}},
        {{-4, -4, 0, 0, 0, 0}, {"root-tree-cycle", "name-unterminated", "name-length-odd", "name-length-over-64"}},
        {{-4, -4, 0, 0, 1, 1}, {"storage-tree-cycle", "child-past-end", "unknown-type"}},
        {{0, 0, 0, 0, 0, 0},
         {"directory-loop", "root-not-root", "shift-31", "shift-12-in-v3", "shift-0", "mini-shift-0", "version-5",
          "byte-order", "cutoff-512", "fat-count-huge", "fat-sector-past-end", "not-compound", "truncated-header",
          "truncated-directory", "empty", "shift-9-in-v4", "difat-loop", "difat-past-end"}}};
    auto files = hostileFiles();
    std::map<std::string, uint64_t> digests;
    const auto listings = expectedListings();
    for (const auto &[path, elements] : listings.at("hostile-base.cfb"))
        for (const ExpectedElement &e : elements) digests[path.empty() ? e.name : path + "\\" + e.name] = e.digest;
    std::size_t cases = 0;
    for (const auto &[results, names] : outcomes) {
        for (const std::string &name : names) {
            ++cases;
            const std::string file = scratch(name + ".cfb", files.at(name));
            std::vector<int32_t> got{query(file, "S", 0).first, query(file, "S\\Inner", 0).first};
            for (const char *path : {"S\\big", "S\\small", "top", "x"}) {
                const int32_t handle = openStream(file, path);
                got.push_back(handle != 0);
                EXPECT_TRUE(handle == 0 || fnv1a64(readStream(handle, 1000)) == digests[path]) << name << " " << path;
                KorOleCloseStream(handle);
            }
            EXPECT_EQ(got, results) << name;
            EXPECT_EQ(query(file, "S\\Inner\\x", 0).first, results[1] == 0 ? 0 : -4) << name;
            EXPECT_FALSE(documentHeld(file)) << name;
        }
    }
    // A version-4 size is 64 bits wide and is believed only as far as the file reaches.
    const std::string huge = scratch("huge.cfb", files.at("size-huge-v4"));
    EXPECT_EQ(openStream(huge, "Alpha"), 0);
    EXPECT_NE(openStream(huge, "b"), 0);
    EXPECT_EQ(files.size(), cases + 1) << "every damaged file has its case here";
    for (const char *name : {"basic.cfb", "v4.cfb", "difat.cfb"}) files[name] = TempDir::read(dataPath(name));
    for (const auto &[name, bytes] : files) {
        const std::string path = scratch(name, bytes);
        allocated = 0;
        counting = true;
        std::size_t read = 0;
        if (pf::Storage *top = root(path)) {
            walkDocument(top, 100000, [&read](pf::Stream *stream) {
                char buffer[4096];
                for (uint32_t got = 0; stream->read(buffer, sizeof buffer, &got) == pf::stg::kOk && got > 0;) read += got;
            });
        }
        counting = false;
        EXPECT_LE(read, bytes.size()) << name;
        EXPECT_LE(allocated, 4 * bytes.size() + 256 * 1024) << name;
    }
}

TEST_F(Reader, SharingModesAndNames) {
    const std::string path = dataPath("v4.cfb");
    const std::u16string name(path.begin(), path.end());
    const std::string other = scratch("short.txt", "\xD0\xCF\x11\xE0");
    for (const auto &[probe, status] : std::vector<std::pair<std::u16string, int32_t>>{
             {name, pf::stg::kOk}, {std::u16string(other.begin(), other.end()), pf::stg::kFalse},
             {u"/no/such/file", pf::stg::kFileNotFound}, {u"\xD800", pf::stg::kFileNotFound}})  // no ANSI form
        EXPECT_EQ(pf::stgIsStorageFile(probe.c_str()), status);
    // A writer holding the file keeps it from being opened in place (and on Windows from being recognised).
    const int32_t writer = pf::openFile(path, pf::FileAccess::Read, pf::FileSharing::Exclusive);
    EXPECT_EQ(pf::stgIsStorageFile(name.c_str()), host::kQueryOfAnExclusivelyHeldDocument);
    int32_t status = 0;
    expectFacts({FACT(root(path, storage::kDocumentMode, &status), nullptr), FACT(status, pf::stg::kShareViolation)});
    pf::closeFile(writer);
    // Readers that deny writing, or nothing, share the document; an exclusive one, or one that denies reading,
    // stands alone. Writing is refused, and so are modes that mean nothing.
    const uint32_t document = storage::kDocumentMode, exclusive = pf::kStgmShareExclusive, any = pf::kStgmShareDenyNone;
    for (const auto &[first, result, second, together] : std::vector<std::tuple<uint32_t, int32_t, uint32_t, bool>>{
             {document, pf::stg::kOk, document, true},
             {pf::kStgmRead, pf::stg::kOk, any, true},
             {exclusive, pf::stg::kOk, any, false},
             {pf::kStgmShareDenyRead, pf::stg::kOk, document, false},
             {document, pf::stg::kOk, exclusive, false},
             {pf::kStgmWrite | exclusive, pf::stg::kAccessDenied, any, true},
             {pf::kStgmReadWrite, pf::stg::kAccessDenied, any, true},
             {0x50, pf::stg::kInvalidFlag, any, true}}) {
        pf::Storage *one = root(path, first, &status), *two = root(path, second);
        EXPECT_TRUE(status == result && (one != nullptr) == (result == pf::stg::kOk) && (two != nullptr) == together)
            << first << " " << second;
        for (pf::Storage *opened : {one, two})
            if (opened != nullptr) opened->release();
    }
    // Elements open to read, exclusively; the name is found exactly, else but for the case of ASCII letters.
    pf::Storage *top = root(path);
    ASSERT_NE(top, nullptr);
    pf::Stream *stream = nullptr;
    pf::Storage *inner = nullptr;
    expectFacts({FACT(top->openStream(u"b", document, &stream), pf::stg::kInvalidFlag),
                 FACT(top->openStorage(u"Store", pf::kStgmWrite | exclusive, &inner), pf::stg::kAccessDenied),
                 FACT(top->openStream(u"Store", storage::kElementMode, &stream), pf::stg::kFileNotFound),
                 FACT(top->openStorage(u"b", storage::kElementMode, &inner), pf::stg::kFileNotFound),
                 FACT(top->openStream(u"alph", storage::kElementMode, &stream), pf::stg::kFileNotFound)});
    ASSERT_EQ(top->openStream(u"ALPHA", storage::kElementMode, &stream), pf::stg::kOk);
    stream->release();
    ASSERT_EQ(top->openStorage(u"sTORE", storage::kElementMode, &inner), pf::stg::kOk);
    ASSERT_EQ(inner->openStream(u"Deep", storage::kElementMode, &stream), pf::stg::kOk);
    inner->release();
    top->release();
    // The stream keeps the document open.
    uint32_t got = 0;
    std::string bytes(10000, '\0');
    expectFacts({FACT(stream->read(bytes.data(), 10000, &got), pf::stg::kOk), FACT(got, 9000u)});
    stream->release();
    // The component services count their starts; one stop too many changes nothing.
    expectFacts({FACT(pf::coInitialize(nullptr), pf::stg::kOk), FACT(pf::coInitialize(nullptr), pf::stg::kFalse)});
    for (int i = 0; i < 3; ++i) pf::coUninitialize();
    EXPECT_EQ(pf::coInitialize(nullptr), pf::stg::kOk);
    pf::coUninitialize();
}

// Random seeks from every origin against a plain model of the seek pointer, each followed by a read of random
// length: forward and backward jumps, some within the window, some into other extents, some past the end.
TEST_F(Reader, SeeksAcrossTheExtentsOfAFragmentedStream) {
    pf::Storage *top = root(dataPath("fragmented.cfb"));
    ASSERT_NE(top, nullptr);
    const auto listings = expectedListings();
    for (const ExpectedElement &element : listings.at("fragmented.cfb").at("")) {
        if (!element.stream) continue;
        pf::Stream *stream = nullptr;
        const std::u16string name(element.name.begin(), element.name.end());
        ASSERT_EQ(top->openStream(name.c_str(), storage::kElementMode, &stream), pf::stg::kOk);
        std::string whole(element.size, '\0');
        uint32_t got = 0;
        ASSERT_EQ(stream->read(whole.data(), static_cast<uint32_t>(whole.size()), &got), pf::stg::kOk);
        EXPECT_EQ(fnv1a64(whole), element.digest) << element.name;
        std::mt19937 random(static_cast<uint32_t>(element.size));
        const int64_t size = element.size;
        for (int i = 0; i < 300; ++i) {
            const auto origin = static_cast<pf::StreamOrigin>(random() % 4);
            const int64_t offset = i % 20 == 0 ? (i % 40 == 0 ? INT64_MAX : INT64_MIN + 1)
                                               : static_cast<int64_t>(random() % (3 * size)) - size;
            const int64_t base = origin == pf::StreamOrigin::Set ? 0
                                 : origin == pf::StreamOrigin::End ? size
                                                                    : static_cast<int64_t>(stream->tell());
            // base is never negative, so the sum can only pass INT64_MAX upwards.
            const bool fits = offset <= 0 || base <= INT64_MAX - offset;
            const int64_t target = fits ? base + offset : -1;
            const bool valid = static_cast<int>(origin) < 3 && fits && target >= 0;
            const uint64_t before = stream->tell();
            uint64_t at = 0;
            ASSERT_EQ(stream->seek(offset, origin, &at), valid ? pf::stg::kOk : pf::stg::kInvalidFunction) << offset;
            ASSERT_EQ(stream->tell(), valid ? static_cast<uint64_t>(target) : before) << offset;
            const uint32_t count = random() % (i % 2 == 0 ? 100 : 70000);
            std::string bytes(count, '\0');
            ASSERT_EQ(stream->read(bytes.data(), count, &got), pf::stg::kOk);
            bytes.resize(got);
            const uint64_t position = stream->tell() - got;
            ASSERT_EQ(bytes, position < whole.size() ? whole.substr(position, count) : "") << element.name;
        }
        stream->release();
    }
    top->release();
}

// Storages nested 5,000 deep, and a path through all of them: no walk may recurse, nor any list of levels run out.
TEST_F(Reader, PathsDeeperThanAnyStackAreWalked) {
    using Entry = WrittenEntry;
    constexpr int kDepth = 5000;
    std::vector<Entry> entries{{"Root Entry", cfb::kRootObject, Entry::kNoLink, Entry::kNoLink, 1}};
    std::string path = "d";
    for (int i = 0; i < kDepth; ++i) {
        entries.push_back({"d", cfb::kStorageObject, Entry::kNoLink, Entry::kNoLink, static_cast<uint32_t>(i + 2)});
        path += i + 1 < kDepth ? "\\d" : "";
    }
    entries.push_back({"end", cfb::kStreamObject, Entry::kNoLink, Entry::kNoLink, Entry::kNoLink, "the end"});
    const std::string file = scratch("deep.cfb", writeCompoundFile(entries));
    EXPECT_EQ(query(file, path, 0), (std::pair<int32_t, std::string>{1, "end"}));
    EXPECT_EQ(readStream(openStream(file, path + "\\end"), 100), "the end");
    EXPECT_EQ(query(file, path + "\\d", 0).first, -4);
}

// Names at their limits: an empty one, and ones that end in, or hold, a character of two UTF-16 units with no ANSI
// form.
TEST_F(Reader, EmptyNamesAndNamesEndingInASurrogatePairAreListed) {
    using Entry = WrittenEntry;
    std::string bytes =
        writeCompoundFile({{"Root Entry", cfb::kRootObject, Entry::kNoLink, Entry::kNoLink, 1},
                           {"S", cfb::kStorageObject, Entry::kNoLink, Entry::kNoLink, 2},
                           {"", cfb::kStreamObject, Entry::kNoLink, 3, Entry::kNoLink, "e"},
                           {"a~~", cfb::kStreamObject, Entry::kNoLink, 4, Entry::kNoLink, "p"},
                           {"b~~c", cfb::kStreamObject, Entry::kNoLink, Entry::kNoLink, Entry::kNoLink, "q"}});
    for (const char *name : {"a", "b"})
        bytes.replace(bytes.find(std::string(name).append("\0~\0~\0", 5)) + 2, 4, "\x3D\xD8\x00\xDE", 4);  // U+1F600
    const std::string file = scratch("names.cfb", bytes);
    EXPECT_EQ(query(file, "S", 0), (std::pair<int32_t, std::string>{1, ""}));
    EXPECT_EQ(query(file, "S", 1), (std::pair<int32_t, std::string>{1, "a?"}));
    EXPECT_EQ(query(file, "S", 2), (std::pair<int32_t, std::string>{1, "b?c"}));
}

}  // namespace
}  // namespace vutil::test
