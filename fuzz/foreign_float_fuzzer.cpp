// Fuzz harness for the VAX F and D converters and the ecvt/fcvt/gcvt texts.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "vutil/fileio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    for (std::size_t at = 0; at + 9 <= size; at += 9) {
        uint8_t in[8];
        std::memcpy(in, data + at, 8);
        const auto digits = static_cast<int32_t>(static_cast<int8_t>(data[at + 8])) * 3;

        // F: a VAX value that converts comes back unchanged.
        const uint32_t exponent = static_cast<uint32_t>((in[1] & 0x7F) << 1 | in[0] >> 7);
        uint8_t single[4], vaxF[4];
        if (_xdr_float_to_ieee(in, single) == 1 && exponent != 0) {
            if (_xdr_ieee_to_float(vaxF, single) != 1 || std::memcmp(vaxF, in, 4) != 0) {
                std::abort();
            }
        }
        // D: the IEEE value keeps all but the three lowest fraction bits.
        uint8_t ieee[8], vaxD[8];
        if (_xdr_double_to_ieee(in, ieee) != 1) {
            std::abort();
        }
        if (exponent != 0) {
            if (_xdr_ieee_to_double(vaxD, ieee) != 1 || std::memcmp(vaxD, in, 6) != 0 || vaxD[7] != in[7] ||
                vaxD[6] != (in[6] & 0xF8)) {
                std::abort();
            }
        }
        double value;
        std::memcpy(&value, in, 8);
        int32_t decpt = 0, sign = 0;
        const char *e = KORecvt(value, digits, &decpt, &sign);
        if (e == nullptr || std::strlen(e) > 348 || std::strspn(e, "0123456789") != std::strlen(e)) {
            std::abort();
        }
        const char *f = KORfcvt(value, digits, &decpt, &sign);
        if (f == nullptr || std::strlen(f) > 348 || std::strspn(f, "0123456789") != std::strlen(f)) {
            std::abort();
        }
        char text[400];
        std::memset(text, 'x', sizeof text);
        if (KORgcvt(value, digits, text) != text || std::memchr(text, '\0', 349) == nullptr) {
            std::abort();
        }
        (void)conv_d_dec(in);
        (void)conv_dec_long(static_cast<uint32_t>(in[0]) << 24 | in[1]);
    }
    return 0;
}
