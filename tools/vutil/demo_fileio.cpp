// Demo section: file access, a record round trip through a buffered file in both byte orders.
#include <cinttypes>
#include <cstring>
#include <string>

#include "demo.h"
#include "vutil.h"

namespace vutil::tool::demo {
namespace {

/// The memory record that «C4,L2;D1 I3» describes: 26 bytes in the file, 32 in memory.
struct Part {
    char tag[4];
    int32_t id;
    int32_t layer;
    double length;
    int16_t colour, style, flags;
};

constexpr const char *kDescriptor = "C4,L2;D1 I3";

void print(Context &context, const char *label, const Part &part) {
    std::fprintf(context.out,
                 "  %-8s tag %.4s  id %-11" PRId32 " layer %-11" PRId32 " length %-12g colour %d style %d flags %d\n",
                 label, part.tag, part.id, part.layer, part.length, part.colour, part.style, part.flags);
}

bool sameFields(const Part &a, const Part &b) {
    return std::memcmp(a.tag, b.tag, 4) == 0 && a.id == b.id && a.layer == b.layer && a.length == b.length &&
           a.colour == b.colour && a.style == b.style && a.flags == b.flags;
}

}  // namespace

void fileioSection(Context &context) {
    const std::string path = context.outputDirectory + "/parts.rec";
    const Part parts[] = {
        {{'L', 'I', 'N', 'E'}, 1, 0, 12.5, 7, 0, 1},
        {{'A', 'R', 'C', ' '}, 2, 3, 0.75, 1, 2, 0},
        {{'T', 'E', 'X', 'T'}, 0x01020304, 256, -3.0, 256, 1, 0x0102},
    };

    int32_t handle = 0;
    if (KorOpenFile(path.c_str(), &handle, KOR_OPEN_CREATE | KOR_OPEN_WRITE) != 1) {
        std::fprintf(context.out, "cannot create %s\n", path.c_str());
        return;
    }
    for (const Part &part : parts) {
        KorWriteIntelStruct(handle, &part, sizeof part, kDescriptor);
    }
    std::fprintf(context.out, "wrote %zu records \"%s\" in Intel order: %" PRId32 " bytes in %s\n", std::size(parts),
                 kDescriptor, KorTellFile(handle), path.c_str());
    KorCloseFile(handle);

    KorOpenFile(path.c_str(), &handle, KOR_OPEN_READ);
    uint8_t packed[26];
    KorReadFile(packed, sizeof packed, handle);
    KorSeekFile(handle, 0, KOR_SEEK_SET);
    std::fprintf(context.out, "first record in the file:");
    for (uint8_t byte : packed) {
        std::fprintf(context.out, " %02x", byte);
    }
    std::fprintf(context.out, "\n");
    for (const Part &written : parts) {
        Part intel{}, motor{};
        int32_t moved = KorReadIntelStruct(&intel, sizeof intel, handle, kDescriptor);
        KorSeekFile(handle, -moved, KOR_SEEK_CUR);
        int32_t size = KorReadMotorStruct(&motor, sizeof motor, handle, kDescriptor);
        std::fprintf(context.out,
                     "record at %" PRId32 ": Intel read moved %" PRId32 " bytes (%s), Motor read gives a %" PRId32
                     "-byte record\n",
                     KorTellFile(handle) - moved, moved,
                     sameFields(intel, written) ? "fields as written" : "fields DIFFER", size);
        print(context, "Intel", intel);
        print(context, "Motor", motor);
    }
    KorCloseFile(handle);

    int32_t x = 0, y = 0;
    int32_t found = read_d_coord_pair("X=120, -45", &x, &y);
    std::fprintf(context.out, "read_d_coord_pair(\"X=120, -45\") found %" PRId32 ": %" PRId32 ", %" PRId32 "\n", found,
                 x, y);
    char text[64];
    std::fprintf(context.out, "KORgcvt(1234567.0, 4) = \"%s\"\n", KORgcvt(1234567.0, 4, text));
}

}  // namespace vutil::tool::demo
