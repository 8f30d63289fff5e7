// Demo section: runtime services on built-in data.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "demo.h"
#include "vutil.h"

namespace vutil::tool::demo {

void runtimeSection(Context &context) {
    std::FILE *out = context.out;
    std::fprintf(out, "interface version %d\n", GetMXRLANG());

    // Two tokenizations under way at once, each in its own slot.
    const char *record = "LINE 10,20;30,40";
    int32_t words = -1;
    int32_t numbers = -1;
    std::fprintf(out, "tokens of \"%s\":", record);
    for (char *word = KorStrtok(record, " ", &words); word != nullptr; word = KorStrtok(nullptr, nullptr, &words)) {
        std::fprintf(out, " [%s]", word);
        if (std::strchr(word, ',') == nullptr) {
            continue;
        }
        for (char *n = KorStrtok(word, ",;", &numbers); n != nullptr; n = KorStrtok(nullptr, nullptr, &numbers)) {
            std::fprintf(out, " <%d>", KOR_atoi(n));
        }
    }
    std::fprintf(out, "\n");

    std::fprintf(out, "keyword \"Dashed\" -> %d\n",
                 KorGetStringIndex("Dashed", -1, "continuous", 0, "dashed", 1, "dotted", 2, (const char *)nullptr));
    char *end = nullptr;
    std::fprintf(out, "KorStrToL(\"0x7FFFFFFF0\", 0) = %d (saturated at 32 bits), KorStrToUL(\"-1\") = %u\n",
                 KorStrToL("0x7FFFFFFF0", &end, 0), KorStrToUL("-1", nullptr, 10));

    char squeezed[] = "a  b   c";
    ssqueeze(squeezed, ' ');
    std::fprintf(out, "ssqueeze(\"a  b   c\") = \"%s\"\n", squeezed);

    int32_t x1 = 5, y1 = 1, x2 = 2, y2 = 7;
    sortints(&x1, &y1, &x2, &y2);
    std::fprintf(out, "sortints(5,1,2,7) = (%d,%d,%d,%d)\n", x1, y1, x2, y2);

    const double halfPi = std::acos(0.0);
    std::fprintf(out, "near a quarter turn: KOR_Sin(pi/2) = %.17g, KOR_Cos(pi/2) = %.17g (series)\n",
                 KOR_Sin(halfPi), KOR_Cos(halfPi));
    std::fprintf(out, "huge angle: KOR_Sin(1e20) = %.17g (reduced in bounded time)\n", KOR_Sin(1e20));

    uint8_t message[] = "drawing key";
    const size_t length = sizeof message - 1;
    char hex[2 * sizeof message + 1];
    const uint8_t key[] = {'v', 'u', 't', 'i', 'l'};
    KOR_rc4(message, static_cast<int32_t>(length), KOR_prepare_rc4key(key, sizeof key));
    KOR_BinHex(message, static_cast<int32_t>(length), hex);
    std::fprintf(out, "RC4(\"drawing key\") = %s\n", hex);
    KOR_HexBin(hex, static_cast<int32_t>(2 * length), message);
    KOR_rc4(message, static_cast<int32_t>(length), KOR_prepare_rc4key(key, sizeof key));
    std::fprintf(out, "deciphered again   = \"%.*s\"\n", static_cast<int>(length), message);

    // A list box sorted with the caller's comparison, and an atom.
    kor_listbox *layers = KorCreateListBox();
    for (const char *layer : {"WALLS", "DOORS", "TEXT", "AXES"}) {
        KorAddToListBox(layers, layer);
    }
    KorSortListBox(layers, [](const void *a, const void *b) {
        return std::strcmp(*static_cast<const char *const *>(a), *static_cast<const char *const *>(b));
    });
    std::fprintf(out, "sorted layers:");
    for (uint32_t i = 0; i < KorQueryListBoxNumEntries(layers); ++i) {
        std::fprintf(out, " %s", KorQueryListBoxEntry(layers, i));
    }
    KorDestroyListBox(layers);
    KorAddAtom(0x4C415945, 4);
    std::fprintf(out, "\natom 0x4C415945 -> %u\n", KorFindAtom(0x4C415945));

    // A settings file: written key by key (each write replaces the file whole), read back.
    const std::string settings = context.outputDirectory + "/viewer.ini";
    std::remove(settings.c_str());
    KorWritePrivateProfileString("Display", "Background", "black", settings.c_str());
    KorWritePrivateProfileInt("Display", "Pens", 7, settings.c_str());
    KorWritePrivateProfileReal("View", "Scale", 2.0 / 3.0, settings.c_str());
    char background[32];
    KorGetPrivateProfileString("display", "BACKGROUND", "white", background, sizeof background, settings.c_str());
    std::fprintf(out, "%s: background %s, pens %d, scale %g (3 digits), zoom %g (the default)\n", settings.c_str(),
                 background, KorGetPrivateProfileInt("Display", "Pens", 0, settings.c_str()),
                 KorGetPrivateProfileReal("View", "Scale", 1.0, settings.c_str()),
                 KorGetPrivateProfileReal("View", "Zoom", 1.25, settings.c_str()));
}

}  // namespace vutil::tool::demo
