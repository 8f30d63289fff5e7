// Benchmark of compound-document streams: every stream of a 50 MiB document read in 4 KiB pieces and byte by byte
// through the library, against libgsf's `gsf cat`, python3-olefile and plain `cat` of the whole file, timed in the
// same run; and the character reader against KorGetc on a plain file.
//
// The document holds ten 4 MiB streams, a 10 MiB stream and forty 3,000-byte streams (those in the mini stream).
// It is made with `gsf createole` when gsf is installed, else (or with VUTIL_STORAGE_BENCH_WRITER=1) by the small
// writer below. Before any timing the
// library's bytes are checked against the data the document was made from.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_ratio.h"
#include "compound_writer.h"
#include "vutil/fileio.h"
#include "vutil/storage.h"

namespace {

namespace fs = std::filesystem;

struct Element {
    std::string name;
    std::string data;
};

fs::path workDir;
std::string document;
std::vector<Element> elements;
std::string gsfCommand;
std::string olefileCommand;
int64_t streamBytes = 0;

bool have(const std::string &command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

/// A document of streams at the root, in the benchmark's own writer: the tree of the root's elements is balanced
/// and in directory order (shorter names first, then by upper-cased characters; the names here are ASCII).
std::string writeDocument(std::vector<Element> streams) {
    using vutil::test::WrittenEntry;
    auto upper = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
        return text;
    };
    std::sort(streams.begin(), streams.end(), [&](const Element &a, const Element &b) {
        return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : upper(a.name) < upper(b.name);
    });
    std::vector<WrittenEntry> entries{{"Root Entry", 5}};
    for (const Element &stream : streams) {
        entries.push_back({stream.name, 2, WrittenEntry::kNoLink, WrittenEntry::kNoLink, WrittenEntry::kNoLink,
                           stream.data});
    }
    auto build = [&](auto &self, std::size_t lo, std::size_t hi) -> uint32_t {
        if (lo >= hi) {
            return WrittenEntry::kNoLink;
        }
        const std::size_t mid = (lo + hi) / 2;
        entries[mid + 1].left = self(self, lo, mid);
        entries[mid + 1].right = self(self, mid + 1, hi);
        return static_cast<uint32_t>(mid + 1);
    };
    entries[0].child = build(build, 0, streams.size());
    return vutil::test::writeCompoundFile(std::move(entries));
}

/// Reads a stream through the library: in pieces of `piece` bytes, or byte by byte when it is 0.
std::string readThroughLibrary(const std::string &name, int32_t piece) {
    int32_t handle = 0;
    std::string bytes;
    if (KorOleOpenStream(document.c_str(), name.c_str(), &handle) != 1) {
        return bytes;
    }
    if (piece == 0) {
        for (int32_t c; (c = KorOleStreamFgetc(handle)) >= 0;) {
            bytes.push_back(static_cast<char>(c));
        }
    } else {
        std::vector<char> buffer(static_cast<std::size_t>(piece));
        for (int32_t got; (got = KorOleReadStream(buffer.data(), piece, handle)) > 0;) {
            bytes.append(buffer.data(), static_cast<std::size_t>(got));
        }
    }
    KorOleCloseStream(handle);
    return bytes;
}

/// A name and a number, as in "big7" (put together without operator+, which g++ 12 warns about at -O3).
std::string numbered(const char *prefix, uint32_t number) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%u", prefix, number);
    return name;
}

bool prepare() {
    workDir = fs::temp_directory_path() / numbered("vutil-storage-bench-", std::random_device{}());
    fs::create_directories(workDir / "src");
    std::mt19937_64 random(42);
    auto data = [&](std::size_t size) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i + 8 <= size; i += 8) {
            const uint64_t word = random();
            std::memcpy(bytes.data() + i, &word, 8);
        }
        return bytes;
    };
    for (int i = 0; i < 10; ++i) {
        elements.push_back({numbered("big", static_cast<uint32_t>(i)), data(4u << 20)});
    }
    elements.push_back({"huge", data(10u << 20)});
    for (int i = 0; i < 40; ++i) {
        elements.push_back({numbered("small", static_cast<uint32_t>(10 + i)), data(3000)});
    }
    document = (workDir / "doc.cfb").string();
    std::string names;
    for (const Element &element : elements) {
        names.append(" ").append(element.name);
        streamBytes += static_cast<int64_t>(element.data.size());
    }
    // VUTIL_STORAGE_BENCH_WRITER=1 takes the benchmark's writer even where gsf is installed.
    const char *writer = std::getenv("VUTIL_STORAGE_BENCH_WRITER");
    if ((writer == nullptr || std::strcmp(writer, "1") != 0) && have("command -v gsf")) {
        std::string sources;
        for (const Element &element : elements) {
            std::ofstream((workDir / "src" / element.name).string(), std::ios::binary) << element.data;
            sources.append(" ").append((workDir / "src" / element.name).string());
        }
        if (std::system(("gsf createole " + document + sources + " >/dev/null 2>&1").c_str()) != 0) {
            std::printf("gsf createole failed\n");
            return false;
        }
        gsfCommand = "gsf cat " + document + names + " >/dev/null";
        std::printf("document made by gsf createole: ");
    } else {
        std::ofstream(document, std::ios::binary) << writeDocument(elements);
        std::printf("document made by the benchmark's writer%s: ",
                    writer == nullptr ? " (gsf, Debian package libgsf-bin, not found)" : "");
    }
    std::printf("%ju bytes, %jd in %zu streams\n", static_cast<uintmax_t>(fs::file_size(document)), streamBytes,
                elements.size());
    const std::string olefile = "/usr/bin/python3 -c 'import olefile, sys; f = olefile.OleFileIO(sys.argv[1]); "
                                "[f.openstream(e).read() for e in f.listdir()]' " + document;
    if (have("/usr/bin/python3 -c 'import olefile'")) {
        olefileCommand = olefile;
    } else {
        std::printf("python3-olefile not found: no olefile figures\n");
    }
    // Speed never changes a result: each way of reading gives the bytes the document was made from.
    for (const Element &element : elements) {
        for (int32_t piece : {4096, 0}) {
            if (readThroughLibrary(element.name, piece) != element.data) {
                std::printf("%s read in pieces of %d differs from its data\n", element.name.c_str(), piece);
                return false;
            }
        }
    }
    return true;
}

void vutilPieces(benchmark::State &state) {
    std::vector<char> buffer(4096);
    for (auto _ : state) {
        for (const Element &element : elements) {
            int32_t handle = 0;
            KorOleOpenStream(document.c_str(), element.name.c_str(), &handle);
            while (KorOleReadStream(buffer.data(), 4096, handle) > 0) {
                benchmark::DoNotOptimize(buffer.data());
            }
            KorOleCloseStream(handle);
        }
    }
    state.SetBytesProcessed(state.iterations() * streamBytes);
}

void vutilFgetc(benchmark::State &state) {
    for (auto _ : state) {
        uint32_t sum = 0;
        for (const Element &element : elements) {
            int32_t handle = 0;
            KorOleOpenStream(document.c_str(), element.name.c_str(), &handle);
            for (int32_t c; (c = KorOleStreamFgetc(handle)) >= 0;) {
                sum += static_cast<uint32_t>(c);
            }
            KorOleCloseStream(handle);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * streamBytes);
}

/// KorGetc over as many bytes of the plain file as the streams hold.
void vutilKorGetc(benchmark::State &state) {
    for (auto _ : state) {
        int32_t handle = 0;
        KorOpenFile(document.c_str(), &handle, KOR_OPEN_READ);
        uint32_t sum = 0;
        for (int64_t i = 0; i < streamBytes; ++i) {
            sum += static_cast<uint32_t>(KorGetc(handle));
        }
        KorCloseFile(handle);
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * streamBytes);
}

void command(benchmark::State &state, const std::string &line) {
    for (auto _ : state) {
        if (std::system(line.c_str()) != 0) {
            state.SkipWithError("the command failed");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * streamBytes);
}

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (!prepare()) {
        fs::remove_all(workDir);
        return 1;
    }
    auto add = [](const char *name, auto function) {
        benchmark::RegisterBenchmark(name, function)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
    };
    add("Vutil_read_4KiB", vutilPieces);
    add("Vutil_KorOleStreamFgetc", vutilFgetc);
    add("Vutil_KorGetc_plain_file", vutilKorGetc);
    if (!gsfCommand.empty()) {
        add("Gsf_cat", [](benchmark::State &state) { command(state, gsfCommand); });
    }
    if (!olefileCommand.empty()) {
        add("Olefile", [](benchmark::State &state) { command(state, olefileCommand); });
    }
    add("Cat_whole_file", [](benchmark::State &state) { command(state, "cat " + document + " >/dev/null"); });
    vutil::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    vutil::bench::printSpeedRatios(reporter, "reference", {
        {"4 KiB reads vs gsf cat", "Vutil_read_4KiB/iterations:5/real_time", "Gsf_cat/iterations:5/real_time"},
        {"4 KiB reads vs olefile", "Vutil_read_4KiB/iterations:5/real_time", "Olefile/iterations:5/real_time"},
        {"4 KiB reads vs cat of the whole file", "Vutil_read_4KiB/iterations:5/real_time",
         "Cat_whole_file/iterations:5/real_time"},
        {"KorOleStreamFgetc vs KorGetc, per byte", "Vutil_KorOleStreamFgetc/iterations:5/real_time",
         "Vutil_KorGetc_plain_file/iterations:5/real_time"},
        {"KorOleStreamFgetc vs gsf cat", "Vutil_KorOleStreamFgetc/iterations:5/real_time",
         "Gsf_cat/iterations:5/real_time"},
    });
    benchmark::Shutdown();
    fs::remove_all(workDir);
    return 0;
}
