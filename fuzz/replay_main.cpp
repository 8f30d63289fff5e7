// Runs a fuzz harness over every file of a corpus directory (and over a few
// generated inputs), so that fuzz findings stay regression tests without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
    std::size_t runs = 0;
    // The empty input and a few fixed patterns run even without a corpus.
    std::vector<uint8_t> pattern;
    LLVMFuzzerTestOneInput(pattern.data(), 0);
    for (int length : {1, 7, 64, 1000}) {
        for (uint8_t fill : {0x00, 0xFF, 0x25}) {
            pattern.assign(static_cast<std::size_t>(length), fill);
            LLVMFuzzerTestOneInput(pattern.data(), pattern.size());
            ++runs;
        }
    }
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path root(argv[i]);
        if (!std::filesystem::exists(root)) {
            continue;
        }
        // A corpus directory, or one input named alone.
        std::vector<std::filesystem::path> inputs;
        if (std::filesystem::is_directory(root)) {
            for (const auto &entry : std::filesystem::recursive_directory_iterator(root)) {
                if (entry.is_regular_file()) {
                    inputs.push_back(entry.path());
                }
            }
        } else {
            inputs.push_back(root);
        }
        for (const auto &input : inputs) {
            std::ifstream in(input, std::ios::binary);
            std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++runs;
        }
    }
    std::printf("replayed %zu inputs\n", runs);
    return 0;
}
