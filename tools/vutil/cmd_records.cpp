// vutil records: dumps the records of a file field by field, as a record descriptor reads them.
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "output.h"
#include "vutil.h"

namespace vutil::tool {
namespace {

/// One field of the memory record, as the descriptor places it.
struct Field {
    char letter;
    uint32_t count;
    uint32_t offset;
};

/// Where the descriptor puts its fields in memory (the library's layout rule:
/// natural alignment unless a leading P1 packs the record). The library does the
/// reading; this only tells the dump where to look.
struct Layout {
    std::vector<Field> fields;
    uint64_t memorySize = 0;
    uint64_t fileSize = 0;
};

/// Records the dump is willing to hold in memory.
constexpr uint64_t kMaxRecordBytes = uint64_t{64} << 20;

uint32_t width(char letter) {
    return letter == 'C' ? 1 : letter == 'I' ? 2 : letter == 'L' ? 4 : 8;
}

/// Follows the library's walk item for item (the same 511-character cut, the same
/// clamped counts, no limit), so that the record holds every byte the library
/// stores. Sizes are kept in 64 bits: past 64 MiB the dump refuses the descriptor.
Layout describe(std::string descriptor, bool motor) {
    if (descriptor.size() > 511) {
        descriptor.resize(511);
    }
    Layout layout;
    uint64_t offset = 0, alignment = 1;
    bool packed = false;
    std::size_t i = 0;
    auto separator = [](char c) { return c == ' ' || c == ',' || c == ';'; };
    while (i < descriptor.size()) {
        while (i < descriptor.size() && separator(descriptor[i])) {
            ++i;
        }
        std::size_t start = i;
        while (i < descriptor.size() && !separator(descriptor[i])) {
            ++i;
        }
        if (start == i) {
            break;
        }
        char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(descriptor[start])));
        long count = std::strtol(descriptor.substr(start + 1, i - start - 1).c_str(), nullptr, 10);
        count = count > INT32_MAX ? INT32_MAX : count;
        if (letter == 'P' && !motor) {
            packed = packed || (count == 1 && offset == 0);
            continue;
        }
        if (std::strchr("CILD", letter) == nullptr || letter == '\0' || count < 0) {
            break;
        }
        uint64_t w = width(letter);
        if (!packed) {
            offset = (offset + w - 1) / w * w;
            alignment = w > alignment ? w : alignment;
        }
        if (count > 0) {
            layout.fields.push_back({letter, static_cast<uint32_t>(count), static_cast<uint32_t>(offset)});
        }
        offset += w * static_cast<uint64_t>(count);
        layout.fileSize += w * static_cast<uint64_t>(count);
    }
    layout.memorySize = packed ? offset : (offset + alignment - 1) / alignment * alignment;
    return layout;
}

void printField(const Field &field, const uint8_t *record) {
    std::printf("  %c%-5" PRIu32 " @%-5" PRIu32, field.letter, field.count, field.offset);
    const uint32_t shown = field.count < 16 ? field.count : 16;
    const uint8_t *at = record + field.offset;
    switch (field.letter) {
        case 'C': {
            for (uint32_t k = 0; k < shown; ++k) {
                std::printf(" %02x", at[k]);
            }
            std::printf("%s  \"", shown < field.count ? " ..." : "");
            for (uint32_t k = 0; k < shown; ++k) {
                std::putchar(std::isprint(at[k]) ? at[k] : '.');
            }
            std::printf("\"");
            break;
        }
        case 'I':
            for (uint32_t k = 0; k < shown; ++k) {
                int16_t v;
                std::memcpy(&v, at + std::size_t{2} * k, 2);
                std::printf(" %d", v);
            }
            break;
        case 'L':
            for (uint32_t k = 0; k < shown; ++k) {
                int32_t v;
                float f;
                std::memcpy(&v, at + std::size_t{4} * k, 4);
                std::memcpy(&f, at + std::size_t{4} * k, 4);
                std::printf(" %" PRId32 " (0x%08" PRIx32 ", %g)", v, static_cast<uint32_t>(v), static_cast<double>(f));
            }
            break;
        default:
            for (uint32_t k = 0; k < shown; ++k) {
                double v;
                std::memcpy(&v, at + std::size_t{8} * k, 8);
                std::printf(" %.17g", v);
            }
            break;
    }
    if (field.letter != 'C' && shown < field.count) {
        std::printf(" ...");
    }
    std::printf("\n");
}

bool parseNumber(const std::string &text, long long &value) {
    char *end = nullptr;
    value = std::strtoll(text.c_str(), &end, 0);
    return !text.empty() && *end == '\0' && value >= 0 && value <= INT32_MAX;
}

}  // namespace

int runRecords(const Args &args) {
    const Command &command = findCommand("records");
    std::vector<std::string> positional;
    bool motor = false;
    long long offset = 0, count = -1;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--motor") {
            motor = true;
        } else if (args[i] == "--offset" || args[i] == "--count") {
            long long value = 0;
            if (i + 1 >= args.size() || !parseNumber(args[i + 1], value)) {
                return usageError(command, args[i] + " needs a number from 0 to 2147483647");
            }
            (args[i] == "--offset" ? offset : count) = value;
            ++i;
        } else if (args[i].rfind("--", 0) == 0) {
            return usageError(command, "unknown option '" + args[i] + "'");
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2) {
        return usageError(command, "needs a FILE and a DESCRIPTOR");
    }
    const std::string &path = positional[0];
    const std::string &descriptor = positional[1];
    Layout layout = describe(descriptor, motor);
    if (layout.fileSize == 0) {
        return usageError(command, "the descriptor '" + descriptor + "' describes no field");
    }
    if (layout.memorySize > kMaxRecordBytes) {
        return usageError(command, "the descriptor '" + descriptor + "' describes a record of more than 64 MiB");
    }

    int32_t handle = 0;
    if (KorOpenFile(path.c_str(), &handle, KOR_OPEN_READ) != 1) {
        // The library gives no reason; the host's own open usually has one.
        std::FILE *probe = std::fopen(path.c_str(), "rb");
        const std::string reason = probe == nullptr ? std::string(": ") + std::strerror(errno) : "";
        if (probe != nullptr) {
            std::fclose(probe);
        }
        return failure("records", path, "cannot open" + reason);
    }
    if (offset > 0 && KorSeekFile(handle, static_cast<int32_t>(offset), KOR_SEEK_SET) != offset) {
        KorCloseFile(handle);
        return failure("records", path, "cannot seek to byte " + std::to_string(offset));
    }
    std::printf("%s: records \"%s\" in %s order, %" PRIu64 " bytes in the file, %" PRIu64 " in memory\n", path.c_str(),
                descriptor.c_str(), motor ? "Motorola (big-endian)" : "Intel (little-endian)", layout.fileSize,
                layout.memorySize);
    std::vector<uint8_t> record(layout.memorySize + 8);
    long long index = 0;
    for (; count < 0 || index < count; ++index) {
        int32_t at = KorTellFile(handle);
        std::fill(record.begin(), record.end(), 0);
        int32_t got = motor ? KorReadMotorStruct(record.data(), UINT32_MAX, handle, descriptor.c_str())
                            : KorReadIntelStruct(record.data(), UINT32_MAX, handle, descriptor.c_str());
        if (got == 0) {
            if (KorTellFile(handle) != at) {
                std::printf("record %lld at %" PRId32 ": incomplete, the file ends inside it\n", index, at);
            }
            break;
        }
        std::printf("record %lld at %" PRId32 "\n", index, at);
        for (const Field &field : layout.fields) {
            printField(field, record.data());
        }
    }
    std::printf("%lld record%s\n", index, index == 1 ? "" : "s");
    KorCloseFile(handle);
    return 0;
}

}  // namespace vutil::tool
