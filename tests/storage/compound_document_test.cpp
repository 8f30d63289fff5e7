// Tests of the compound-document streams: listing and reading against an independent reader's results, the stream
// table, seeking, names, the binding and its failures.
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "frame/entry.h"
#include "storage_fixture.h"
#include "support/host_faults.h"
#include "support/scoped_env.h"

namespace vutil::test {
namespace {

using Documents = StorageTest;
using Listed = std::pair<int32_t, std::string>;

/// Every operation on a stream handle that is not open gives its failure result.
void expectNoStream(int32_t h, const char *why) {
    char byte;
    SCOPED_TRACE(why + std::to_string(h));
    expectFacts({FACT(KorOleCloseStream(h), 0), FACT(KorOleReadStream(&byte, 1, h), 0), FACT(KorOleSeekStream(h, 0, 0), 0),
                 FACT(KorOleStreamFgetc(h), -1), FACT(KorOleTellStream(h), 0), FACT(KorOleStreamSize(h), 0)});
}

TEST_F(Documents, ListingsAndStreamsMatchTheIndependentReader) {
    for (const auto &[fileName, listing] : expectedListings()) {
        const std::string file = dataPath(fileName);
        for (const auto &[path, elements] : listing) {
            // The root has no path of its own: its elements are reached by name.
            for (std::size_t i = 0; !path.empty() && i <= elements.size(); ++i) {
                const Listed want = i < elements.size() ? Listed{elements[i].stream ? 1 : 2, elements[i].name}
                                                        : Listed{KOR_OLE_NO_SUCH_ELEMENT, ""};
                EXPECT_EQ(query(file, path, static_cast<int32_t>(i)), want) << fileName << " " << path << " " << i;
            }
            for (const ExpectedElement &element : elements) {
                // a name without a form in the code page cannot be asked for
                if (!element.stream || element.name.find('?') != std::string::npos) continue;
                const std::string streamPath = path.empty() ? element.name : path + "\\" + element.name;
                // Whole pieces, odd pieces that straddle sectors and windows, single bytes.
                for (int32_t piece : {4096, 1, 7, 511, 65537, 0}) {
                    const int32_t handle = openStream(file, streamPath);
                    EXPECT_EQ(KorOleStreamSize(handle), element.size) << streamPath;
                    EXPECT_EQ(fnv1a64(readStream(handle, piece)), element.digest) << streamPath << " " << piece;
                    expectFacts({FACT(KorOleTellStream(handle), element.size), FACT(KorOleCloseStream(handle), 1)});
                }
            }
        }
    }
}

TEST_F(Documents, PathComponentsMatchTheFirstElementThatBeginsWithThemAndNamesAreCutToTheRoom) {
    const std::string file = dataPath("basic.cfb");
    for (const auto &[path, index, room, listed] : std::vector<std::tuple<const char *, int32_t, int32_t, Listed>>{
             {"Su", 0, 63, {1, "top"}},                 // "Sub" comes before "Subway": shorter names first
             {"Sub\\De", -5, 63, {2, "Deep"}},          // no step: the queried storage itself
             {"Sub\\Deep\\Deeper", 1, 63, {-3, ""}},    // one element only
             {"Sub\\", 1, 63, {-4, "-"}},               // an empty component matches the first element
             {"Ma", 0, 63, {1, "item00"}},              // "Many", a storage, before the stream "Maße"
             {"Many", 44, 63, {1, "item44"}}, {"Many", INT32_MAX, 63, {-3, ""}},
             {"A", 0, 63, {-4, "-"}}, {"sub", 0, 63, {-4, "-"}},  // a stream is not a storage; names compare exactly
             {"Sub", 0, 2, {-1, "to"}},                 // cut to the room given, with its own result
             {"Sub", 0, 3, {1, "top"}}, {"Sub", 1, 0, {-2, ""}}, {"Sub", 1, 3, {-2, "Dee"}}, {"Sub", 1, 4, {2, "Deep"}},
             {"Sub", 0, -1, {0, "-"}}})
        EXPECT_EQ(query(file, path, index, room), listed) << path << " " << index << " " << room;
    EXPECT_EQ(KorOleQueryStorage(file.c_str(), "Sub", 0, 5, nullptr), 0);
    // The empty path names the first element of the root; in this document that is a storage.
    EXPECT_EQ(query(dataPath("hostile-base.cfb"), "", 2), (Listed{1, "small"}));
    // An open takes the first stream that begins with the component, passing storages by.
    for (const auto &[path, size] : std::vector<std::pair<const char *, int32_t>>{
             {"", 10}, {"s40", 4095}, {"Su", 9}, {"Sub\\", 3000}, {"Sub\\D\\", 4500}, {"Ma", 14}, {"Many", -1},
             {"Sub\\Deep", -1}, {"Sub\\top\\x", -1}, {"A\\B", -1}}) {
        const int32_t handle = openStream(file, path);
        EXPECT_EQ(handle != 0 ? KorOleStreamSize(handle) : -1, size) << path;
    }
}

TEST_F(Documents, NamesComeInTheAnsiCodePage) {
    // In 932 "Nihon" has its two double-byte characters, which a cut keeps whole, and the sharp s has no form.
    const std::string file = dataPath("fragmented.cfb");
    ASSERT_TRUE(platform::setAnsiCodePage(932));
    for (const auto &[index, room, listed] : std::vector<std::tuple<int32_t, int32_t, Listed>>{
             {0, 4, {1, "\x93\xfa\x96\x7b"}}, {0, 3, {-1, "\x93\xfa"}}, {0, 1, {-1, ""}}, {1, 63, {1, "Ma?e"}},
             {2, 63, {1, "\x83\xb6mega"}}, {2, 2, {-1, "\x83\xb6"}}})
        EXPECT_EQ(query(file, "Names", index, room), listed) << index << " " << room;
    EXPECT_EQ(KorOleStreamSize(openStream(file, "Names\\\x93\xfa\x96\x7b")), 6);
    // A component that is not valid text matches nothing, not even as an empty one would.
    EXPECT_EQ(openStream(file, "Names\\\x93"), 0);
    EXPECT_EQ(query(file, "\x81", 0).first, -4);
}

TEST_F(Documents, FifteenStreamsAtOnceAndNoMore) {
    const std::string file = dataPath("basic.cfb");
    for (int32_t i = 1; i <= KOR_MAX_STREAMS; ++i) {
        EXPECT_EQ(openStream(file, "Many\\item"), i);
        EXPECT_EQ(platform::componentServiceUsers(), 1) << "started once for all users";
    }
    EXPECT_EQ(openStream(file, "Sub\\top"), 0);
    EXPECT_EQ(query(file, "Sub", 0).first, 0) << "a query needs a free slot too";
    // Closing frees the slot for the next open; closing again is harmless and releases nothing twice.
    expectFacts({FACT(KorOleCloseStream(4), 1), FACT(KorOleCloseStream(4), 1)});
    EXPECT_EQ(storage::gBinding.users, 14);
    EXPECT_EQ(openStream(file, "Sub\\top"), 4);
    for (int32_t h : {0, -1, 16, INT32_MIN}) expectNoStream(h, "");
}

// Null arguments open and read nothing and hold nothing; streams of one document (one of them twice) read by turns in
// pieces of different sizes each keep their own place.
TEST_F(Documents, NullArgumentsAndInterleavedReads) {
    const std::string file = dataPath("basic.cfb");
    int32_t handle = 7;
    expectFacts({FACT(KorOleOpenStream(nullptr, "s40", &handle), 0), FACT(handle, 0),
                 FACT(KorOleOpenStream(file.c_str(), nullptr, &handle), 0), FACT(KorOleOpenStream(file.c_str(), "s40", nullptr), 0),
                 FACT(platform::componentServiceUsers(), 0)});
    const char *const paths[] = {"s70000", "s40", "s70000", "Sub\\top"};
    std::string whole[4], got[4];
    int32_t h[4];
    for (int i = 0; i < 4; ++i) whole[i] = readStream(h[i] = openStream(file, paths[i]), 4096), KorOleSeekStream(h[i], 0, 0);
    char buffer[2000];
    expectFacts({FACT(KorOleReadStream(nullptr, 10, h[0]), 0), FACT(KorOleTellStream(h[0]), 0), FACT(whole[0].size(), 70000)});
    for (int round = 0; round < 80; ++round)
        for (int i = 0; i < 4; ++i) got[i].append(buffer, static_cast<std::size_t>(std::max(KorOleReadStream(buffer, 900 + 97 * i + round, h[i]), 0)));
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(got[i] == whole[i]) << paths[i];
}

// Random seeks from every origin, against a plain model of the position; each is followed by a byte read there,
// whether the window held it or not.
TEST_F(Documents, SeeksStayInsideTheStream) {
    const std::string file = dataPath("basic.cfb");
    const int32_t handle = openStream(file, "s70000");
    const std::string expected = readStream(handle, 4096);
    const auto size = static_cast<int64_t>(expected.size());
    ASSERT_EQ(size, 70000);
    std::mt19937 random(3);
    int64_t position = size;
    for (int i = 0; i < 3000; ++i) {
        const int32_t origin = static_cast<int32_t>(random() % 5) - 1;
        const int32_t offset = i % 50 == 0  ? (i % 100 == 0 ? INT32_MAX : INT32_MIN)
                               : i % 3 == 0 ? static_cast<int32_t>(random() % 200) - 100
                                            : static_cast<int32_t>(random() % 280000) - 140000;
        const std::optional<int64_t> base = origin == 0   ? 0
                                            : origin == 1 ? std::optional<int64_t>(position)
                                            : origin == 2 ? std::optional<int64_t>(size) : std::nullopt;
        const bool inside = base && *base + offset >= 0 && *base + offset < size;
        EXPECT_EQ(KorOleSeekStream(handle, offset, origin), inside ? 1 : 0) << offset << " " << origin;
        position = inside ? *base + offset : position;
        ASSERT_EQ(KorOleTellStream(handle), position);
        EXPECT_EQ(KorOleStreamFgetc(handle), position < size ? static_cast<uint8_t>(expected[position]) : -1);
        position = std::min(position + 1, size);
    }
    // A count beyond what is left gets what is left; nothing is read for counts below 1.
    std::vector<char> buffer(80000, 'x');
    ASSERT_EQ(KorOleSeekStream(handle, 69000, 0), 1);
    expectFacts({FACT(KorOleReadStream(buffer.data(), 0, handle), 0), FACT(KorOleReadStream(buffer.data(), -5, handle), 0)});
    EXPECT_EQ(KorOleReadStream(buffer.data(), INT32_MAX, handle), 1000);
    EXPECT_EQ(std::string(buffer.data(), 1001), expected.substr(69000) + 'x');
    // A stream of no bytes has no position to seek to.
    const int32_t empty = openStream(file, "e0");
    expectFacts({FACT(KorOleSeekStream(empty, 0, 0), 0), FACT(KorOleReadStream(buffer.data(), 1, empty), 0)});
    // A read that fails in the host leaves the position where it was.
    for (auto [call, fail] : {std::pair{"read", +[] { faults::failReads(); }}, std::pair{"seek", +[] { faults::failSeeks(); }}}) {
        ASSERT_EQ(KorOleSeekStream(handle, 100, 0), 1);
        fail();
        expectFacts({FACT(KorOleReadStream(buffer.data(), 70000, handle), 0), FACT(KorOleStreamFgetc(handle), -1)});
        faults::restore();
        EXPECT_EQ(KorOleTellStream(handle), 100) << call;
        ASSERT_EQ(KorOleReadStream(buffer.data(), 70000, handle), 69900) << call;
        EXPECT_EQ(std::string(buffer.data(), 69900), expected.substr(100)) << call;
    }
}

TEST_F(Documents, ADocumentThatCannotBeOpenedInPlaceIsReadFromATemporaryCopy) {
    TempDir temporary;
    // TMPDIR names the temporary directory on POSIX hosts, TMP on Windows.
    const ScopedEnv posix("TMPDIR", temporary.path().string().c_str()),
        windows("TMP", temporary.path().string().c_str());
    const auto isEmpty = [&] { return std::filesystem::is_empty(temporary.path()); };
    const std::string file = scratch("held.cfb", TempDir::read(dataPath("basic.cfb")));
    platform::failStorageOpens(1);
    const int32_t handle = openStream(file, "Sub\\top");
    const std::filesystem::path copy = storage::gSlots[handle].copyName;
    EXPECT_EQ(copy.parent_path(), temporary.path());
    EXPECT_EQ(fnv1a64(readStream(handle, 4096)), expectedListings().at("basic.cfb").at("Sub")[0].digest);
    platform::failStorageOpens(1);
    EXPECT_EQ(query(file, "Sub", 1), (Listed{2, "Deep"})) << "a query reads from a copy of its own";
    EXPECT_TRUE(std::filesystem::exists(copy));
    EXPECT_TRUE(documentHeld(copy.string())) << "the open stream holds its copy";
    EXPECT_EQ(KorOleCloseStream(handle), 1);
    EXPECT_TRUE(isEmpty()) << "every copy is deleted";
    // When the copy does not open either, it is deleted at once; a file that is no compound document is copied
    // too, and fails from its copy.
    platform::failStorageOpens(2);
    EXPECT_EQ(openStream(file, "Sub\\top"), 0);
    EXPECT_EQ(openStream(scratch("other.cfb", std::string(3000, 'x')), "a"), 0);
    EXPECT_TRUE(isEmpty());
    EXPECT_STREQ(storage::gSlots[openStream(file, "Sub\\top")].copyName, "") << "where it opens in place, no copy";
}

std::vector<std::string> messages;
void collect(const char *message, ...) noexcept { messages.emplace_back(message); }

TEST_F(Documents, ListAllocationFailuresReportAndLeaveNothingBehind) {
    const std::string file = dataPath("basic.cfb");
    storage::setDiagnosticSink(collect);
    for (const std::string list : {"substorage", "enumerator"}) {
        messages.clear();
        storage::failListAllocationAfter(list == "substorage" ? 0 : 1);
        EXPECT_EQ(query(file, "Sub", 0).first, 0);
        storage::failListAllocationAfter(list == "substorage" ? 0 : 1);
        EXPECT_EQ(openStream(file, "Sub\\top"), 0);
        const std::string expected = "olelib|No memory to allocate " + list + " list";
        EXPECT_EQ(messages, (std::vector<std::string>{expected, expected}));
    }
    storage::failListAllocationAfter(-1);
    EXPECT_EQ(openStream(file, "Sub\\top"), 1) << "the failed calls left every slot free";
}

TEST_F(Documents, WithoutTheBindingEveryOperationFailsAtOnce) {
    const std::string file = dataPath("basic.cfb");
    auto everythingFails = [&](const char *why, int32_t users = 0) {
        EXPECT_EQ(query(file, "Sub", 0).first, 0) << why;
        EXPECT_EQ(openStream(file, "Sub\\top"), 0) << why;
        for (int32_t h = 1; h <= KOR_MAX_STREAMS; ++h) expectNoStream(h, why);
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
    // The unload step unloads the library, but closes no stream; nothing binds again afterwards.
    storage::resetBindingForTest();
    const int32_t open = openStream(file, "Sub\\top");
    expectFacts({FACT(platform::storageLibraryLoads(), 1),
                 FACT(frame::entryPoint(nullptr, static_cast<uint32_t>(frame::Reason::ProcessDetach), nullptr), 1),
                 FACT(platform::storageLibraryLoads(), 0), FACT(storage::gSlots[open].handle, open)});
    everythingFails("unloaded", 1);
    // Bind again, as a fresh process would, to give back the stream that unloading left open.
    storage::resetBindingForTest();
    EXPECT_EQ(query(file, "Sub", 0), (Listed{1, "top"}));
    EXPECT_EQ(KorOleCloseStream(open), 1);
}

}  // namespace
}  // namespace vutil::test
