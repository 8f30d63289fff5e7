// Record descriptors against a hand-written reader: 1,000,000 records of «C4,L2;D1 I3» in both byte orders.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "bench_ratio.h"
#include "vutil/fileio.h"

namespace {

constexpr int kRecords = 1000000;
constexpr std::size_t kPackedSize = 26;
constexpr const char *kDescriptor = "C4,L2;D1 I3";

struct Record {
    uint8_t chars[4];
    int32_t longs[2];
    double value;
    int16_t ints[3];
};

struct Input {
    std::filesystem::path directory;
    std::string path;

    Input() {
        directory =
            std::filesystem::temp_directory_path() / ("vutil-records-bench-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(directory);
        path = (directory / "records.bin").string();
        std::string bytes(kPackedSize * kRecords, '\0');
        std::mt19937 random(3);
        for (char &c : bytes) {
            c = static_cast<char>(random());
        }
        std::FILE *file = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    ~Input() {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
};

const Input &input() {
    static const Input instance;
    return instance;
}

/// The hand-written reader: one fread of the packed record, then field copies.
template <bool Motor>
bool readByHand(std::FILE *file, Record &record) {
    uint8_t packed[kPackedSize];
    if (std::fread(packed, 1, kPackedSize, file) != kPackedSize) {
        return false;
    }
    std::memcpy(record.chars, packed, 4);
    std::memcpy(record.longs, packed + 4, 8);
    std::memcpy(&record.value, packed + 12, 8);
    std::memcpy(record.ints, packed + 20, 6);
    if constexpr (Motor) {
        for (int32_t &v : record.longs) {
            v = static_cast<int32_t>(__builtin_bswap32(static_cast<uint32_t>(v)));
        }
        uint64_t bits;
        std::memcpy(&bits, &record.value, 8);
        bits = __builtin_bswap64(bits);
        std::memcpy(&record.value, &bits, 8);
        for (int16_t &v : record.ints) {
            v = static_cast<int16_t>(__builtin_bswap16(static_cast<uint16_t>(v)));
        }
    }
    return true;
}

template <bool Motor>
void handWrittenFread(benchmark::State &state) {
    Record record{};
    for (auto _ : state) {
        std::FILE *file = std::fopen(input().path.c_str(), "rb");
        int count = 0;
        while (readByHand<Motor>(file, record)) {
            ++count;
        }
        benchmark::DoNotOptimize(record);
        if (count != kRecords) {
            state.SkipWithError("short file");
        }
        std::fclose(file);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

template <bool Motor>
void vutilReadStruct(benchmark::State &state) {
    Record record{};
    for (auto _ : state) {
        int32_t handle = 0;
        KorOpenFile(input().path.c_str(), &handle, KOR_OPEN_READ);
        int count = 0;
        const int32_t expected = Motor ? 32 : 26;
        while ((Motor ? KorReadMotorStruct(&record, sizeof record, handle, kDescriptor)
                      : KorReadIntelStruct(&record, sizeof record, handle, kDescriptor)) == expected) {
            ++count;
        }
        benchmark::DoNotOptimize(record);
        if (count != kRecords) {
            state.SkipWithError("short file");
        }
        KorCloseFile(handle);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

}  // namespace

BENCHMARK_TEMPLATE(handWrittenFread, false)->Name("HandWritten_Intel")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(vutilReadStruct, false)->Name("KorReadIntelStruct")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(handWrittenFread, true)->Name("HandWritten_Motor")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(vutilReadStruct, true)->Name("KorReadMotorStruct")->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    input();
    vutil::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\ntime ratio = vutil time / hand-written time (target: 1.5 or less)\n");
    for (auto [what, vutil, reference] :
         {std::tuple{"KorReadIntelStruct", "KorReadIntelStruct/real_time", "HandWritten_Intel/real_time"},
          std::tuple{"KorReadMotorStruct", "KorReadMotorStruct/real_time", "HandWritten_Motor/real_time"}}) {
        double ratio = reporter.timeRatio(vutil, reference);
        if (ratio > 0) {
            std::printf("  %-20s %.2f\n", what, ratio);
        }
    }
    benchmark::Shutdown();
    return 0;
}
