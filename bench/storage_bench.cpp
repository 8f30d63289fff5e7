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

void put32(std::string &bytes, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
}

/// A version-3 compound file of streams at the root: large ones in chains of sectors, small ones in the mini
/// stream, the sector table continued in DIFAT sectors when it needs more than the header holds.
std::string writeDocument(std::vector<Element> streams) {
    constexpr uint32_t kSector = 512, kPerSector = kSector / 4, kEnd = 0xFFFFFFFE, kNone = 0xFFFFFFFF;
    // Directory order: shorter names first, then by upper-cased characters (the names here are ASCII).
    std::sort(streams.begin(), streams.end(), [](const Element &a, const Element &b) {
        std::string x = a.name, y = b.name;
        for (auto *s : {&x, &y}) {
            std::transform(s->begin(), s->end(), s->begin(), [](unsigned char c) { return std::toupper(c); });
        }
        return x.size() != y.size() ? x.size() < y.size() : x < y;
    });
    std::string body;  // the sectors after the header
    std::vector<uint32_t> fat;
    auto chain = [&](const std::string &data) -> uint32_t {
        if (data.empty()) {
            return kEnd;
        }
        const auto first = static_cast<uint32_t>(fat.size());
        const auto count = static_cast<uint32_t>((data.size() + kSector - 1) / kSector);
        for (uint32_t i = 0; i < count; ++i) {
            fat.push_back(i + 1 < count ? first + i + 1 : kEnd);
        }
        body += data;
        body.resize(fat.size() * kSector, '\0');
        return first;
    };
    std::vector<uint32_t> starts(streams.size());
    std::string mini;
    std::string miniTable;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const std::string &data = streams[i].data;
        if (data.size() >= 4096) {
            starts[i] = chain(data);
            continue;
        }
        starts[i] = static_cast<uint32_t>(mini.size() / 64);
        const auto count = static_cast<uint32_t>((data.size() + 63) / 64);
        for (uint32_t k = 0; k < count; ++k) {
            miniTable.resize(miniTable.size() + 4);
            put32(miniTable, miniTable.size() - 4, k + 1 < count ? starts[i] + k + 1 : kEnd);
        }
        mini += data;
        mini.resize(mini.size() + (64 - mini.size() % 64) % 64, '\0');
    }
    const uint32_t miniStart = chain(mini);
    miniTable.resize((miniTable.size() + kSector - 1) / kSector * kSector, '\xFF');
    const uint32_t miniTableStart = chain(miniTable);
    // The directory: the root, then every stream, as a balanced tree in directory order.
    std::string directory((streams.size() + 1 + 3) / 4 * kSector, '\0');
    std::vector<uint32_t> left(streams.size(), kNone), right(streams.size(), kNone);
    auto build = [&](auto &self, std::size_t lo, std::size_t hi) -> uint32_t {
        if (lo >= hi) {
            return kNone;
        }
        const std::size_t mid = (lo + hi) / 2;
        left[mid] = self(self, lo, mid);
        right[mid] = self(self, mid + 1, hi);
        return static_cast<uint32_t>(mid + 1);
    };
    const uint32_t top = build(build, 0, streams.size());
    auto entry = [&](std::size_t id, const std::string &name, uint8_t type, uint32_t l, uint32_t r, uint32_t child,
                     uint32_t start, uint32_t size) {
        const std::size_t at = id * 128;
        for (std::size_t c = 0; c < name.size(); ++c) {
            directory[at + 2 * c] = name[c];
        }
        directory[at + 64] = static_cast<char>(2 * (name.size() + 1));
        directory[at + 66] = static_cast<char>(type);
        directory[at + 67] = 1;
        put32(directory, at + 68, l);
        put32(directory, at + 72, r);
        put32(directory, at + 76, child);
        put32(directory, at + 116, start);
        put32(directory, at + 120, size);
    };
    entry(0, "Root Entry", 5, kNone, kNone, top, miniStart, static_cast<uint32_t>(mini.size()));
    for (std::size_t i = 0; i < streams.size(); ++i) {
        entry(i + 1, streams[i].name, 2, left[i], right[i], kNone, starts[i],
              static_cast<uint32_t>(streams[i].data.size()));
    }
    for (std::size_t id = streams.size() + 1; id < directory.size() / 128; ++id) {
        entry(id, "", 0, kNone, kNone, kNone, 0, 0);
        directory[id * 128 + 64] = 0;
    }
    const uint32_t directoryStart = chain(directory);
    // The sector table covers itself and the DIFAT sectors that list it beyond the header's 109 entries.
    uint32_t tableSectors = 0, difatSectors = 0;
    for (;;) {
        const auto total = static_cast<uint32_t>(fat.size()) + tableSectors + difatSectors;
        const uint32_t needTable = (total + kPerSector - 1) / kPerSector;
        const uint32_t needDifat = needTable > 109 ? (needTable - 109 + kPerSector - 2) / (kPerSector - 1) : 0;
        if (needTable == tableSectors && needDifat == difatSectors) {
            break;
        }
        tableSectors = needTable;
        difatSectors = needDifat;
    }
    const auto tableStart = static_cast<uint32_t>(fat.size());
    const uint32_t difatStart = tableStart + tableSectors;
    fat.resize(difatStart, 0xFFFFFFFD);
    fat.resize(difatStart + difatSectors, 0xFFFFFFFC);
    fat.resize(std::size_t{tableSectors} * kPerSector, kNone);
    std::string table(fat.size() * 4, '\0');
    for (std::size_t i = 0; i < fat.size(); ++i) {
        put32(table, 4 * i, fat[i]);
    }
    body += table;
    std::string difat(std::size_t{difatSectors} * kSector, '\xFF');
    for (uint32_t k = 109; k < tableSectors; ++k) {
        const uint32_t sector = (k - 109) / (kPerSector - 1), slot = (k - 109) % (kPerSector - 1);
        put32(difat, sector * kSector + 4 * slot, tableStart + k);
    }
    for (uint32_t d = 0; d < difatSectors; ++d) {
        put32(difat, d * kSector + kSector - 4, d + 1 < difatSectors ? difatStart + d + 1 : kEnd);
    }
    body += difat;
    std::string header(kSector, '\0');
    std::memcpy(header.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    header[24] = 0x3E;
    header[26] = 3;
    header[28] = '\xFE';
    header[29] = '\xFF';
    header[30] = 9;
    header[32] = 6;
    put32(header, 44, tableSectors);
    put32(header, 48, directoryStart);
    put32(header, 56, 4096);
    put32(header, 60, miniTableStart);
    put32(header, 64, static_cast<uint32_t>(miniTable.size() / kSector));
    put32(header, 68, difatSectors != 0 ? difatStart : kEnd);
    put32(header, 72, difatSectors);
    for (uint32_t k = 0; k < 109; ++k) {
        put32(header, 76 + 4 * k, k < tableSectors ? tableStart + k : kNone);
    }
    return header + body;
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

bool prepare() {
    workDir = fs::temp_directory_path() / ("vutil-storage-bench-" + std::to_string(std::random_device{}()));
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
        elements.push_back({"big" + std::to_string(i), data(4u << 20)});
    }
    elements.push_back({"huge", data(10u << 20)});
    for (int i = 0; i < 40; ++i) {
        elements.push_back({"small" + std::to_string(10 + i), data(3000)});
    }
    document = (workDir / "doc.cfb").string();
    std::string names;
    for (const Element &element : elements) {
        names += " " + element.name;
        streamBytes += static_cast<int64_t>(element.data.size());
    }
    // VUTIL_STORAGE_BENCH_WRITER=1 takes the benchmark's writer even where gsf is installed.
    const char *writer = std::getenv("VUTIL_STORAGE_BENCH_WRITER");
    if ((writer == nullptr || std::strcmp(writer, "1") != 0) && have("command -v gsf")) {
        std::string sources;
        for (const Element &element : elements) {
            std::ofstream((workDir / "src" / element.name).string(), std::ios::binary) << element.data;
            sources += " " + (workDir / "src" / element.name).string();
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
