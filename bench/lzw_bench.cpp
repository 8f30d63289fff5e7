// Benchmark of the LZW (.Z) decoder: KOR_decompress to a file and to a count only, against
// ncompress's uncompress and gzip decoding the same files in the same run.
//
// Three kinds of data (text-like, record-like binary, random), 32 MiB each, are compressed
// with `compress -b 16` (or, without ncompress, with the tests' encoder). The peers run as
// child processes timed by wall clock like the library's calls, writing the same output file
// (and uncompress also to /dev/null, against the library's count-only mode); the ratios at
// the end compare output throughput.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/raster/lzw_support.h"
#include "vutil/raster.h"

namespace {

namespace fs = std::filesystem;
using vutil::test::Bytes;

/// The data: text-like, record-like binary (32-byte records: a running id, a small type, coordinates that drift)
/// or random bytes.
enum class DataKind { Text, Records, Random };

Bytes makeData(DataKind kind, std::size_t size, uint32_t seed) {
    if (kind != DataKind::Records) return vutil::test::makeData(kind == DataKind::Text, size, seed);
    std::mt19937 random(seed);
    Bytes data;
    for (uint32_t id = 0; data.size() < size; ++id) {
        const auto type = static_cast<uint32_t>(random() % 4), drift = static_cast<uint32_t>(random() % 8);
        const uint32_t record[8] = {id, type, id * 16 + drift, id % 1000};
        data.insert(data.end(), reinterpret_cast<const uint8_t *>(record),
                    reinterpret_cast<const uint8_t *>(record + 8));
    }
    data.resize(size);
    return data;
}

constexpr std::size_t kDataBytes = 32u << 20;
constexpr int kIterations = 4;

struct Corpus {
    std::string name;
    DataKind kind;
    std::string plain, compressed, output;
    std::size_t compressedBytes = 0;
};

fs::path workDir;
std::vector<Corpus> corpora;
bool haveUncompress = false, haveGzip = false;

bool have(const std::string &program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

Bytes readAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const std::string &path, const Bytes &bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

/// Makes the data and .Z files, and checks that every decoder gives the original bytes.
bool prepare() {
    workDir = fs::temp_directory_path() / ("vutil-lzw-bench-" + std::to_string(std::random_device{}()));
    fs::create_directories(workDir);
    const bool haveCompress = have("compress");
    haveUncompress = have("uncompress.real");
    haveGzip = have("gzip");
    if (!haveCompress) {
        std::printf("compress (Debian package ncompress) not found: the .Z files come from the tests' encoder\n");
    }
    const struct {
        const char *name;
        DataKind kind;
    } kinds[] = {{"text", DataKind::Text}, {"records", DataKind::Records}, {"random", DataKind::Random}};
    uint32_t seed = 1;
    for (const auto &kind : kinds) {
        Corpus corpus{kind.name, kind.kind, (workDir / kind.name).string(), (workDir / kind.name).string() + ".Z",
                      (workDir / kind.name).string() + ".out"};
        const Bytes data = makeData(kind.kind, kDataBytes, seed++);
        writeAll(corpus.plain, data);
        if (haveCompress) {
            if (std::system(("compress -b 16 -c " + corpus.plain + " > " + corpus.compressed).c_str()) != 0) {
                std::printf("compress failed on %s\n", corpus.plain.c_str());
                return false;
            }
        } else {
            writeAll(corpus.compressed, vutil::test::lzwEncode(data, 16, true));
        }
        corpus.compressedBytes = fs::file_size(corpus.compressed);
        // Identical output: the library, ncompress and gzip all give the original bytes.
        const int32_t count = KOR_decompress(corpus.compressed.c_str(), corpus.output.c_str(), 0);
        bool same = count == static_cast<int32_t>(data.size()) && readAll(corpus.output) == data &&
                    KOR_decompress(corpus.compressed.c_str(), nullptr, 0) == count;
        for (const std::string &peer :
             {std::string(haveUncompress ? "uncompress.real -c " : ""), std::string(haveGzip ? "gzip -dc < " : "")}) {
            if (!peer.empty()) {
                const std::string peerOut = corpus.output + ".peer";
                same = same && std::system((peer + corpus.compressed + " > " + peerOut).c_str()) == 0 &&
                       readAll(peerOut) == data;
                fs::remove(peerOut);
            }
        }
        std::printf("%-8s %zu bytes, compressed to %zu bytes; output identical to the input%s: %s\n", kind.name,
                    data.size(), corpus.compressedBytes, haveUncompress || haveGzip ? " and to the peers'" : "",
                    same ? "yes" : "NO");
        if (!same) {
            return false;
        }
        corpora.push_back(corpus);
    }
    return true;
}

void vutilToFile(benchmark::State &state, const Corpus *corpus) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(KOR_decompress(corpus->compressed.c_str(), corpus->output.c_str(), 0));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kDataBytes));
}

void vutilCount(benchmark::State &state, const Corpus *corpus) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(KOR_decompress(corpus->compressed.c_str(), nullptr, 0));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kDataBytes));
}

void peer(benchmark::State &state, const Corpus *corpus, const std::string &command, bool toFile) {
    const std::string line = command + corpus->compressed + " > " + (toFile ? corpus->output : "/dev/null");
    for (auto _ : state) {
        if (std::system(line.c_str()) != 0) {
            state.SkipWithError("peer failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kDataBytes));
}

/// Prints the usual table and keeps each benchmark's throughput for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            const double seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (!run.error_occurred && seconds > 0) {
                throughput[run.run_name.function_name] = static_cast<double>(kDataBytes) / seconds;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> throughput;
};

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (!prepare()) {
        fs::remove_all(workDir);
        return 1;
    }
    for (const Corpus &corpus : corpora) {
        auto add = [&](const std::string &name, auto function) {
            benchmark::RegisterBenchmark((name + "/" + corpus.name).c_str(), function)
                ->Iterations(kIterations)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        };
        add("vutil_file", [&corpus](benchmark::State &state) { vutilToFile(state, &corpus); });
        add("vutil_count", [&corpus](benchmark::State &state) { vutilCount(state, &corpus); });
        if (haveUncompress) {
            add("uncompress_file",
                [&corpus](benchmark::State &state) { peer(state, &corpus, "uncompress.real -c ", true); });
            add("uncompress_null",
                [&corpus](benchmark::State &state) { peer(state, &corpus, "uncompress.real -c ", false); });
        }
        if (haveGzip) {
            add("gzip_file", [&corpus](benchmark::State &state) { peer(state, &corpus, "gzip -dc < ", true); });
        }
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf(
        "\nOutput throughput in MB/s. The library and the peers write the same file (file), or the\n"
        "library only counts while uncompress writes to /dev/null (count, null); ratios are the library's.\n");
    std::printf("%-8s %10s %10s %10s %10s %10s %12s %12s %10s\n", "data", "vutil_file", "vutil_cnt", "uncomp_file",
                "uncomp_null", "gzip_file", "file/uncomp", "count/null", "file/gzip");
    for (const Corpus &corpus : corpora) {
        auto rate = [&](const char *name) {
            auto found = reporter.throughput.find(std::string(name) + "/" + corpus.name);
            return found == reporter.throughput.end() ? 0.0 : found->second;
        };
        auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
        const double file = rate("vutil_file"), count = rate("vutil_count"), uncompressFile = rate("uncompress_file"),
                     uncompressNull = rate("uncompress_null"), gzip = rate("gzip_file");
        std::printf("%-8s %10.0f %10.0f %10.0f %10.0f %10.0f %12.2f %12.2f %10.2f\n", corpus.name.c_str(), file / 1e6,
                    count / 1e6, uncompressFile / 1e6, uncompressNull / 1e6, gzip / 1e6, ratio(file, uncompressFile),
                    ratio(count, uncompressNull), ratio(file, gzip));
    }
    benchmark::Shutdown();
    fs::remove_all(workDir);
    return 0;
}
