// Tests of the compound-file reader behind the storage services: sharing and modes, name lookup, stream seeks,
// trees too deep for recursion, damaged version-4 and DIFAT files, and memory bounded by the file's size.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform/compound_file.h"
#include "platform/file.h"
#include "bench/compound_writer.h"
#include "storage_fixture.h"
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

}  // namespace

namespace {

void *allocate(std::size_t size) noexcept {
    if (counting) {
        allocated += size;
    }
    return std::malloc(size != 0 ? size : 1);
}

void *allocateOrThrow(std::size_t size) {
    if (void *block = allocate(size)) {
        return block;
    }
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

class Reader : public StorageTest {
protected:
    /// Opens a document as its root storage; null when it does not open.
    static pf::Storage *root(const std::string &path, uint32_t mode = storage::kDocumentMode,
                             int32_t *status = nullptr) {
        const std::u16string name(path.begin(), path.end());
        pf::Storage *storage = nullptr;
        const int32_t result = pf::stgOpenStorage(name.c_str(), mode, &storage);
        if (status != nullptr) {
            *status = result;
        }
        return storage;
    }
};

TEST_F(Reader, MemoryFollowsTheFileSizeNotItsClaims) {
    auto files = hostileFiles();
    for (const char *name : {"basic.cfb", "v4.cfb", "difat.cfb"}) {
        files[name] = readWhole(dataPath(name));
    }
    for (const auto &[name, bytes] : files) {
        const std::string path = scratch(name, bytes);
        allocated = 0;
        counting = true;
        std::size_t read = 0;
        if (pf::Storage *top = root(path)) {
            walkDocument(top, 100000, [&read](pf::Stream *stream) {
                char buffer[4096];
                uint32_t got = 0;
                while (stream->read(buffer, sizeof buffer, &got) == pf::stg::kOk && got > 0) {
                    read += got;
                }
            });
        }
        counting = false;
        EXPECT_LE(read, bytes.size()) << name;
        EXPECT_LE(allocated, 4 * bytes.size() + 256 * 1024) << name;
    }
}

TEST_F(Reader, DamagedVersion4AndDifatFilesAreRefused) {
    const auto files = hostileFiles();
    int32_t status = 0;
    for (const char *name : {"shift-9-in-v4", "difat-loop", "difat-past-end"}) {
        EXPECT_EQ(root(scratch(name, files.at(name)), storage::kDocumentMode, &status), nullptr) << name;
        EXPECT_LT(status, 0) << name;
    }
    // A version-4 size is 64 bits wide and is believed only as far as the file reaches.
    pf::Storage *top = root(scratch("huge.cfb", files.at("size-huge-v4")));
    ASSERT_NE(top, nullptr);
    pf::Stream *stream = nullptr;
    EXPECT_EQ(top->openStream(u"Alpha", storage::kElementMode, &stream), pf::stg::kDocfileCorrupt);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(top->openStream(u"b", storage::kElementMode, &stream), pf::stg::kOk);
    stream->release();
    top->release();
}

TEST_F(Reader, SharingAndModesFollowTheOpenCalls) {
    const std::string path = dataPath("v4.cfb");
    const std::u16string name(path.begin(), path.end());
    const std::string other = scratch("short.txt", "\xD0\xCF\x11\xE0");
    for (const auto &[probe, status] : std::vector<std::pair<std::u16string, int32_t>>{
             {name, pf::stg::kOk},
             {std::u16string(other.begin(), other.end()), pf::stg::kFalse},
             {u"/no/such/file", pf::stg::kFileNotFound},
             {u"\xD800", pf::stg::kFileNotFound}}) {  // no ANSI form
        EXPECT_EQ(pf::stgIsStorageFile(probe.c_str()), status);
    }

    // A writer holding the file keeps it from being opened in place, not from being recognised.
    const int32_t writer = pf::openFile(path, pf::FileAccess::Read, pf::FileSharing::Exclusive);
    ASSERT_GT(writer, 0);
    EXPECT_EQ(pf::stgIsStorageFile(name.c_str()), pf::stg::kOk);
    int32_t status = 0;
    EXPECT_EQ(root(path, storage::kDocumentMode, &status), nullptr);
    EXPECT_EQ(status, pf::stg::kShareViolation);
    pf::closeFile(writer);

    // Readers that deny writing, or nothing, share the document; an exclusive one, or one that denies reading,
    // stands alone.
    struct Pair {
        uint32_t first, second;
        bool together;
    };
    for (const Pair &p : {Pair{storage::kDocumentMode, storage::kDocumentMode, true},
                          Pair{pf::kStgmRead, pf::kStgmShareDenyNone, true},
                          Pair{pf::kStgmShareExclusive, pf::kStgmShareDenyNone, false},
                          Pair{pf::kStgmShareDenyRead, storage::kDocumentMode, false},
                          Pair{storage::kDocumentMode, pf::kStgmShareExclusive, false}}) {
        pf::Storage *first = root(path, p.first);
        ASSERT_NE(first, nullptr) << p.first;
        pf::Storage *second = root(path, p.second);
        EXPECT_EQ(second != nullptr, p.together) << p.first << " " << p.second;
        first->release();
        if (second != nullptr) {
            second->release();
        }
    }
    for (const auto &[mode, expected] : std::vector<std::pair<uint32_t, int32_t>>{
             {pf::kStgmWrite | pf::kStgmShareExclusive, pf::stg::kAccessDenied},
             {pf::kStgmReadWrite, pf::stg::kAccessDenied},
             {0x50, pf::stg::kInvalidFlag},
             {0x10000, pf::stg::kInvalidFlag}}) {
        EXPECT_EQ(root(path, mode, &status), nullptr) << mode;
        EXPECT_EQ(status, expected) << mode;
    }
    EXPECT_EQ(pf::stgOpenStorage(name.c_str(), storage::kDocumentMode, nullptr), pf::stg::kInvalidParameter);

    // Elements open to read, exclusively; the name is found exactly, else but for the case of ASCII letters.
    pf::Storage *top = root(path);
    ASSERT_NE(top, nullptr);
    pf::Stream *stream = nullptr;
    pf::Storage *inner = nullptr;
    EXPECT_EQ(top->openStream(u"b", storage::kDocumentMode, &stream), pf::stg::kInvalidFlag);
    EXPECT_EQ(top->openStream(u"b", pf::kStgmReadWrite | pf::kStgmShareExclusive, &stream), pf::stg::kAccessDenied);
    EXPECT_EQ(top->openStorage(u"Store", pf::kStgmShareDenyNone, &inner), pf::stg::kInvalidFlag);
    EXPECT_EQ(top->openStorage(u"Store", pf::kStgmWrite | pf::kStgmShareExclusive, &inner), pf::stg::kAccessDenied);
    EXPECT_EQ(top->openStream(u"Store", storage::kElementMode, &stream), pf::stg::kFileNotFound);
    EXPECT_EQ(top->openStorage(u"b", storage::kElementMode, &inner), pf::stg::kFileNotFound);
    EXPECT_EQ(top->openStream(u"alph", storage::kElementMode, &stream), pf::stg::kFileNotFound);
    EXPECT_EQ(top->openStream(nullptr, storage::kElementMode, &stream), pf::stg::kInvalidParameter);
    EXPECT_EQ(top->openStream(u"b", storage::kElementMode, nullptr), pf::stg::kInvalidParameter);
    EXPECT_EQ(top->openStorage(u"Store", storage::kElementMode, nullptr), pf::stg::kInvalidParameter);
    EXPECT_EQ(top->enumElements(nullptr), pf::stg::kInvalidParameter);
    ASSERT_EQ(top->openStream(u"ALPHA", storage::kElementMode, &stream), pf::stg::kOk);
    EXPECT_EQ(stream->size(), 5000u);
    stream->release();
    ASSERT_EQ(top->openStorage(u"sTORE", storage::kElementMode, &inner), pf::stg::kOk);
    ASSERT_EQ(inner->openStream(u"Deep", storage::kElementMode, &stream), pf::stg::kOk);
    inner->release();
    top->release();
    // The stream keeps the document open.
    uint32_t got = 0;
    std::string bytes(10000, '\0');
    EXPECT_EQ(stream->read(bytes.data(), 10000, &got), pf::stg::kOk);
    EXPECT_EQ(got, 9000u);
    stream->release();
}

TEST_F(Reader, ComponentServicesCountTheirStarts) {
    EXPECT_EQ(pf::coInitialize(nullptr), pf::stg::kOk);
    EXPECT_EQ(pf::coInitialize(nullptr), pf::stg::kFalse);
    EXPECT_EQ(pf::componentServiceUsers(), 2);
    pf::coUninitialize();
    pf::coUninitialize();
    pf::coUninitialize();
    EXPECT_EQ(pf::componentServiceUsers(), 0) << "one stop too many changes nothing";
    EXPECT_EQ(pf::coInitialize(nullptr), pf::stg::kOk);
    pf::coUninitialize();
}

TEST_F(Reader, EnumeratorsGiveTypesAndSizes) {
    pf::Storage *top = root(dataPath("v4.cfb"));
    ASSERT_NE(top, nullptr);
    pf::ElementEnumerator *elements = nullptr;
    ASSERT_EQ(top->enumElements(&elements), pf::stg::kOk);
    struct Expected {
        std::u16string name;
        uint32_t type;
        uint64_t size;
    };
    pf::ElementStatus status;
    for (const Expected &e : {Expected{u"b", pf::kTypeStream, 100}, Expected{u"zero", pf::kTypeStream, 0},
                              Expected{u"Alpha", pf::kTypeStream, 5000}, Expected{u"Store", pf::kTypeStorage, 0}}) {
        ASSERT_EQ(elements->next(&status), pf::stg::kOk);
        EXPECT_EQ(std::u16string(status.name), e.name);
        EXPECT_EQ(status.type, e.type);
        EXPECT_EQ(status.size, e.size);
    }
    EXPECT_EQ(elements->next(&status), pf::stg::kFalse);
    EXPECT_EQ(elements->next(nullptr), pf::stg::kFalse);
    elements->release();
    top->release();

    // A storage's start and size mean nothing, whatever a writer left there.
    top = root(scratch("garbage.cfb", hostileFiles().at("storage-start-size-garbage")));
    ASSERT_NE(top, nullptr);
    ASSERT_EQ(top->enumElements(&elements), pf::stg::kOk);
    ASSERT_EQ(elements->next(nullptr), pf::stg::kOk) << "a step without a record to fill";
    ASSERT_EQ(elements->next(&status), pf::stg::kOk);
    EXPECT_EQ(std::u16string(status.name), u"x");
    elements->release();
    ASSERT_EQ(top->enumElements(&elements), pf::stg::kOk);  // a second enumeration starts again
    ASSERT_EQ(elements->next(&status), pf::stg::kOk);
    EXPECT_EQ(std::u16string(status.name), u"S");
    EXPECT_EQ(status.type, pf::kTypeStorage);
    EXPECT_EQ(status.size, 0u);
    elements->release();
    top->release();
}

TEST_F(Reader, SeeksAcrossTheExtentsOfAFragmentedStream) {
    const auto listing = expectedListings().at("fragmented.cfb").at("");
    pf::Storage *top = root(dataPath("fragmented.cfb"));
    ASSERT_NE(top, nullptr);
    for (const ExpectedElement &element : listing) {
        if (!element.stream) {
            continue;
        }
        pf::Stream *stream = nullptr;
        const std::u16string name(element.name.begin(), element.name.end());
        ASSERT_EQ(top->openStream(name.c_str(), storage::kElementMode, &stream), pf::stg::kOk);
        std::string whole(static_cast<std::size_t>(element.size), '\0');
        uint32_t got = 0;
        ASSERT_EQ(stream->read(whole.data(), static_cast<uint32_t>(whole.size()), &got), pf::stg::kOk);
        EXPECT_EQ(fnv1a64(whole), element.digest) << element.name;
        // Forward and backward jumps, some within the window, some into other extents.
        std::mt19937 random(static_cast<uint32_t>(element.size));
        for (int i = 0; i < 200; ++i) {
            const uint32_t at = random() % static_cast<uint32_t>(element.size);
            const uint32_t count = 1 + random() % (i % 2 == 0 ? 100 : 70000);
            ASSERT_EQ(stream->seek(at, pf::StreamOrigin::Set, nullptr), pf::stg::kOk);
            std::string bytes(count, '\0');
            ASSERT_EQ(stream->read(bytes.data(), count, &got), pf::stg::kOk);
            bytes.resize(got);
            ASSERT_EQ(bytes, whole.substr(at, count)) << element.name << " at " << at << " count " << count;
            EXPECT_EQ(stream->tell(), at + got);
        }
        // The seek pointer may pass the end (a read there gives nothing), never go before the start.
        uint64_t at = 0;
        for (const auto &[offset, origin, status, position] :
             std::vector<std::tuple<int64_t, pf::StreamOrigin, int32_t, uint64_t>>{
                 {10, pf::StreamOrigin::Set, pf::stg::kOk, 10},
                 {-20, pf::StreamOrigin::Current, pf::stg::kInvalidFunction, 10},
                 {5, pf::StreamOrigin::Current, pf::stg::kOk, 15},
                 {100, pf::StreamOrigin::End, pf::stg::kOk, element.size + 100u},
                 {-element.size, pf::StreamOrigin::End, pf::stg::kOk, 0},
                 {-1, pf::StreamOrigin::Set, pf::stg::kInvalidFunction, 0},
                 {INT64_MAX, pf::StreamOrigin::End, pf::stg::kInvalidFunction, 0},
                 {3, static_cast<pf::StreamOrigin>(7), pf::stg::kInvalidFunction, 0}}) {
            EXPECT_EQ(stream->seek(offset, origin, &at), status) << offset;
            EXPECT_EQ(stream->tell(), position) << offset;
            if (status == pf::stg::kOk) {
                EXPECT_EQ(at, position) << offset;
            }
            char byte = 0;
            EXPECT_EQ(stream->read(&byte, 1, &got), pf::stg::kOk);
            EXPECT_EQ(got, position < static_cast<uint64_t>(element.size) ? 1u : 0u) << offset;
            stream->seek(static_cast<int64_t>(position), pf::StreamOrigin::Set, &at);
        }
        EXPECT_EQ(stream->read(whole.data(), 0, &got), pf::stg::kOk);
        EXPECT_EQ(got, 0u);
        stream->release();
    }
    top->release();
}

std::string numbered(int n) {
    char name[16];
    std::snprintf(name, sizeof name, "e%d", 100000 + n);
    return name;
}

TEST_F(Reader, TreesAndPathsDeeperThanAnyStackAreWalked) {
    // 40,000 elements chained through right links, then through left links (an in-order walk that recursed
    // would go 40,000 calls deep), under the storage "L". With no stream data the sector table grows past what
    // the header lists, so the DIFAT is read too.
    using Entry = WrittenEntry;
    constexpr int kCount = 40000;
    for (bool leftChain : {false, true}) {
        std::vector<Entry> entries{{"Root Entry", cfb::kRootObject, Entry::kNoLink, Entry::kNoLink, 1},
                                   {"L", cfb::kStorageObject, Entry::kNoLink, Entry::kNoLink, 2}};
        for (int i = 0; i < kCount; ++i) {
            Entry entry{numbered(i), cfb::kStreamObject};
            (leftChain ? entry.left : entry.right) = i + 1 < kCount ? static_cast<uint32_t>(i + 3) : Entry::kNoLink;
            entries.push_back(entry);
        }
        const std::string file = scratch("chain.cfb", writeCompoundFile(entries));
        char name[16];
        for (int index : {0, 1, kCount / 2, kCount - 1}) {
            ASSERT_EQ(KorOleQueryStorage(file.c_str(), "L", index, 15, name), 1) << index;
            EXPECT_EQ(std::string(name), numbered(leftChain ? kCount - 1 - index : index)) << index;
        }
        EXPECT_EQ(KorOleQueryStorage(file.c_str(), "L", kCount, 15, name), -3);
    }

    // Storages nested 5,000 deep, and a path through all of them.
    constexpr int kDepth = 5000;
    std::vector<Entry> entries{{"Root Entry", cfb::kRootObject, Entry::kNoLink, Entry::kNoLink, 1}};
    for (int i = 0; i < kDepth; ++i) {
        entries.push_back({"d", cfb::kStorageObject, Entry::kNoLink, Entry::kNoLink, static_cast<uint32_t>(i + 2)});
    }
    entries.push_back({"end", cfb::kStreamObject, Entry::kNoLink, Entry::kNoLink, Entry::kNoLink, "the end"});
    const std::string file = scratch("deep.cfb", writeCompoundFile(entries));
    std::string path = "d";
    for (int i = 1; i < kDepth; ++i) {
        path += "\\d";
    }
    char name[16];
    EXPECT_EQ(KorOleQueryStorage(file.c_str(), path.c_str(), 0, 15, name), 1);
    EXPECT_STREQ(name, "end");
    int32_t handle = 0;
    ASSERT_EQ(KorOleOpenStream(file.c_str(), (path + "\\end").c_str(), &handle), 1);
    EXPECT_EQ(readStream(handle, 100), "the end");
    EXPECT_EQ(KorOleCloseStream(handle), 1);
    EXPECT_EQ(KorOleQueryStorage(file.c_str(), (path + "\\d").c_str(), 0, 15, name), -4);
}

}  // namespace
}  // namespace vutil::test
