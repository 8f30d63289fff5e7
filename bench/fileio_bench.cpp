// Buffered files against stdio on a 64 MiB file in the page cache: getc, 4- and 64-byte reads, lines, 16-byte writes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "bench_ratio.h"
#include "vutil/fileio.h"

namespace {

constexpr std::size_t kFileSize = 64u << 20;
constexpr std::size_t kLineLength = 40;  // 39 characters and a line feed

/// The scratch directory with the two input files, made once and removed at exit.
struct Inputs {
    std::filesystem::path directory;
    std::string binary;
    std::string text;
    std::string output;

    Inputs() {
        directory =
            std::filesystem::temp_directory_path() / ("vutil-fileio-bench-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(directory);
        binary = (directory / "data.bin").string();
        text = (directory / "lines.txt").string();
        output = (directory / "out.bin").string();
        std::string block(1 << 20, '\0');
        std::mt19937 random(1);
        for (char &c : block) {
            c = static_cast<char>(random());
        }
        std::string lines(1 << 20, '\0');
        for (std::size_t i = 0; i < lines.size(); ++i) {
            lines[i] = i % kLineLength == kLineLength - 1 ? '\n' : static_cast<char>('a' + (i * 7 + i / 40) % 26);
        }
        writeRepeated(binary, block);
        writeRepeated(text, lines);
    }
    ~Inputs() {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }

    static void writeRepeated(const std::string &path, const std::string &block) {
        std::FILE *file = std::fopen(path.c_str(), "wb");
        for (std::size_t written = 0; written < kFileSize; written += block.size()) {
            std::fwrite(block.data(), 1, block.size(), file);
        }
        std::fclose(file);
    }
};

const Inputs &inputs() {
    static const Inputs instance;
    return instance;
}

int32_t openVutil(const std::string &path, uint32_t mode, benchmark::State &state) {
    int32_t handle = 0;
    if (KorOpenFile(path.c_str(), &handle, mode) != 1) {
        state.SkipWithError("cannot open the input");
    }
    return handle;
}

void stdioGetc(benchmark::State &state) {
    for (auto _ : state) {
        std::FILE *file = std::fopen(inputs().binary.c_str(), "rb");
        uint32_t sum = 0;
        for (int c; (c = getc_unlocked(file)) != EOF;) {
            sum += static_cast<uint32_t>(c);
        }
        benchmark::DoNotOptimize(sum);
        std::fclose(file);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

/// getc proper: a called function like KorGetc, where getc_unlocked is expanded inline into the loop.
void stdioGetcCalled(benchmark::State &state) {
    int (*const readByte)(std::FILE *) = std::getc;
    for (auto _ : state) {
        std::FILE *file = std::fopen(inputs().binary.c_str(), "rb");
        uint32_t sum = 0;
        for (int c; (c = readByte(file)) != EOF;) {
            sum += static_cast<uint32_t>(c);
        }
        benchmark::DoNotOptimize(sum);
        std::fclose(file);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void vutilKorGetc(benchmark::State &state) {
    for (auto _ : state) {
        int32_t handle = openVutil(inputs().binary, KOR_OPEN_READ, state);
        uint32_t sum = 0;
        for (int32_t c; (c = KorGetc(handle)) != -1;) {
            sum += static_cast<uint32_t>(c);
        }
        benchmark::DoNotOptimize(sum);
        KorCloseFile(handle);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void stdioFread(benchmark::State &state) {
    const auto piece = static_cast<std::size_t>(state.range(0));
    char buffer[64];
    for (auto _ : state) {
        std::FILE *file = std::fopen(inputs().binary.c_str(), "rb");
        uint32_t sum = 0;
        while (std::fread(buffer, 1, piece, file) == piece) {
            sum += static_cast<uint8_t>(buffer[0]);
        }
        benchmark::DoNotOptimize(sum);
        std::fclose(file);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void vutilKorReadFile(benchmark::State &state) {
    const auto piece = static_cast<int32_t>(state.range(0));
    char buffer[64];
    for (auto _ : state) {
        int32_t handle = openVutil(inputs().binary, KOR_OPEN_READ, state);
        uint32_t sum = 0;
        while (KorReadFile(buffer, piece, handle) == piece) {
            sum += static_cast<uint8_t>(buffer[0]);
        }
        benchmark::DoNotOptimize(sum);
        KorCloseFile(handle);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void stdioFgets(benchmark::State &state) {
    char line[256];
    for (auto _ : state) {
        std::FILE *file = std::fopen(inputs().text.c_str(), "rb");
        std::size_t lines = 0;
        while (std::fgets(line, sizeof line, file) != nullptr) {
            ++lines;
        }
        benchmark::DoNotOptimize(lines);
        std::fclose(file);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void vutilKorGets(benchmark::State &state) {
    char line[256];
    for (auto _ : state) {
        int32_t handle = openVutil(inputs().text, KOR_OPEN_READ, state);
        std::size_t lines = 0;
        while (KorGets(line, sizeof line, handle) != nullptr) {
            ++lines;
        }
        benchmark::DoNotOptimize(lines);
        KorCloseFile(handle);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void stdioFwrite16(benchmark::State &state) {
    const char piece[16] = "0123456789abcde";
    for (auto _ : state) {
        std::FILE *file = std::fopen(inputs().output.c_str(), "wb");
        for (std::size_t written = 0; written < kFileSize; written += sizeof piece) {
            std::fwrite(piece, 1, sizeof piece, file);
        }
        std::fclose(file);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void vutilKorWriteFile16(benchmark::State &state) {
    const char piece[16] = "0123456789abcde";
    for (auto _ : state) {
        int32_t handle = openVutil(inputs().output, KOR_OPEN_CREATE | KOR_OPEN_WRITE, state);
        for (std::size_t written = 0; written < kFileSize; written += sizeof piece) {
            KorWriteFile(piece, sizeof piece, handle);
        }
        KorCloseFile(handle);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

}  // namespace

BENCHMARK(stdioGetc)->Name("Stdio_getc")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(stdioGetcCalled)->Name("Stdio_getc_called")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(vutilKorGetc)->Name("Vutil_KorGetc")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(stdioFread)->Name("Stdio_fread")->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(vutilKorReadFile)->Name("Vutil_KorReadFile")->Arg(4)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(stdioFgets)->Name("Stdio_fgets")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(vutilKorGets)->Name("Vutil_KorGets")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(stdioFwrite16)->Name("Stdio_fwrite16")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(vutilKorWriteFile16)->Name("Vutil_KorWriteFile16")->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    inputs();  // make the files before any timing starts
    vutil::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    vutil::bench::printSpeedRatios(reporter, "stdio", {
        {"KorGetc vs getc_unlocked", "Vutil_KorGetc/real_time", "Stdio_getc/real_time"},
        {"KorGetc vs getc (called, not inlined)", "Vutil_KorGetc/real_time", "Stdio_getc_called/real_time"},
        {"KorReadFile 4 vs fread 4", "Vutil_KorReadFile/4/real_time", "Stdio_fread/4/real_time"},
        {"KorReadFile 64 vs fread 64", "Vutil_KorReadFile/64/real_time", "Stdio_fread/64/real_time"},
        {"KorGets vs fgets (40-byte lines)", "Vutil_KorGets/real_time", "Stdio_fgets/real_time"},
        {"KorWriteFile 16 vs fwrite 16", "Vutil_KorWriteFile16/real_time", "Stdio_fwrite16/real_time"},
    });
    benchmark::Shutdown();
    return 0;
}
