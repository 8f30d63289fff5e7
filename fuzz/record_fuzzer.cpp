// Fuzz harness for record descriptors: arbitrary descriptor text against arbitrary data, in memory and file forms.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fileio/record_descriptor.h"
#include "fuzz_file.h"
#include "vutil/fileio.h"

namespace fio = vutil::fileio;

namespace {

/// Memory a caller must provide for a descriptor under an operation and limit:
/// the record up to its natural size, rounded to 8 for the last element.
std::size_t recordBytes(const std::string &descriptor, fio::RecordOperation operation, uint32_t limit) {
    fio::Descriptor parsed;
    fio::parseDescriptor(descriptor, parsed);
    fio::RecordLayout layout;
    fio::layoutRecord(parsed, operation, limit, layout);
    std::size_t end = 0;
    for (uint32_t i = 0; i < layout.runCount; ++i) {
        const fio::FieldRun &run = layout.runs[i];
        std::size_t runEnd = run.offset + std::size_t{run.width} * run.count;
        end = runEnd > end ? runEnd : end;
    }
    return end;
}

std::size_t packedBytes(const std::string &descriptor, fio::RecordOperation operation, uint32_t limit) {
    fio::Descriptor parsed;
    fio::parseDescriptor(descriptor, parsed);
    fio::RecordLayout layout;
    fio::layoutRecord(parsed, operation, limit, layout);
    return layout.packedBytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) {
        return 0;
    }
    // Limits stay small so that the records a caller must provide stay small.
    const uint32_t limit = static_cast<uint32_t>(data[0] | (data[1] & 0x0F) << 8);
    const uint8_t *rest = data + 2;
    std::size_t restSize = size - 2;
    const void *newline = std::memchr(rest, '\n', restSize < 700 ? restSize : 700);
    std::size_t textSize = newline != nullptr ? static_cast<std::size_t>(static_cast<const uint8_t *>(newline) - rest)
                                              : (restSize < 700 ? restSize : 700);
    std::string descriptor(reinterpret_cast<const char *>(rest), textSize);
    descriptor = descriptor.c_str();  // the text ends at its first NUL, as a caller's would
    const uint8_t *payload = rest + textSize;
    std::size_t payloadSize = restSize - textSize;

    for (bool motor : {false, true}) {
        auto operation = motor ? fio::RecordOperation::MemoryMotor : fio::RecordOperation::MemoryIntel;
        std::vector<uint8_t> image(packedBytes(descriptor, operation, limit));
        std::size_t copied = image.size() < payloadSize ? image.size() : payloadSize;
        if (copied > 0) {
            std::memcpy(image.data(), payload, copied);
        }
        std::vector<uint8_t> record(recordBytes(descriptor, operation, limit));
        int32_t result = motor ? memcpyMotorStruct(record.data(), image.data(), limit, descriptor.c_str())
                               : memcpyIntelStruct(record.data(), image.data(), limit, descriptor.c_str());
        if (result != 0 && result != 1) {
            std::abort();
        }
    }

    const std::string &path = vutil::fuzz::scratch().write(payload, payloadSize);
    int32_t handle = 0;
    if (KorOpenFile(path.c_str(), &handle, KOR_OPEN_READ) != 1) {
        std::abort();
    }
    std::vector<uint8_t> intel(recordBytes(descriptor, fio::RecordOperation::ReadIntel, limit));
    std::vector<uint8_t> motor(recordBytes(descriptor, fio::RecordOperation::ReadMotor, limit));
    for (int pass = 0; pass < 4; ++pass) {
        int32_t before = KorTellFile(handle);
        int32_t got = (pass % 2 == 0) ? KorReadIntelStruct(intel.data(), limit, handle, descriptor.c_str())
                                      : KorReadMotorStruct(motor.data(), limit, handle, descriptor.c_str());
        if (got < 0 || KorTellFile(handle) < before) {
            std::abort();
        }
        if (pass % 2 == 0 && got > 0 &&
            static_cast<std::size_t>(got) != packedBytes(descriptor, fio::RecordOperation::ReadIntel, limit)) {
            std::abort();
        }
    }
    KorCloseFile(handle);

    std::string output = vutil::fuzz::scratch().outputPath();
    if (KorOpenFile(output.c_str(), &handle, KOR_OPEN_CREATE | KOR_OPEN_WRITE) != 1) {
        std::abort();
    }
    int32_t written = KorWriteIntelStruct(handle, intel.data(), limit, descriptor.c_str());
    if (written != 0 &&
        static_cast<std::size_t>(written) != packedBytes(descriptor, fio::RecordOperation::WriteIntel, limit)) {
        std::abort();
    }
    KorCloseFile(handle);
    return 0;
}
