/* A C caller of the shared library, as a format reader would use it. */
#include <stdio.h>
#include <string.h>

#include <vutil.h>

static int failures = 0;

#define CHECK(condition)                                              \
    do {                                                              \
        if (!(condition)) {                                           \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
            ++failures;                                               \
        }                                                             \
    } while (0)

int main(void) {
    char buffer[64];
    int32_t slot = -1;
    const char *token;
    uint8_t data[5] = {'h', 'e', 'l', 'l', 'o'};
    char hex[11];
    int32_t key;
    double s, c;

    CHECK(GetMXRLANG() == 300);

    KorStrncpy(buffer, "layer,0;color=7", sizeof buffer - 1);
    token = KorStrtok(buffer, ",;=", &slot);
    CHECK(token != NULL && strcmp(token, "layer") == 0);
    token = KorStrtok(NULL, NULL, &slot);
    CHECK(token != NULL && strcmp(token, "0") == 0);
    CHECK(KorGetStringIndex("COLOR", -1, "layer", 1, "color", 2, (const char *)NULL) == 2);

    CHECK(KorStrToL("0x7FFFFFFF", NULL, 0) == 2147483647);
    CHECK(KOR_atoi("-2147483649") == (-2147483647 - 1));

    KOR_SinCos(0.0, &s, &c);
    CHECK(s == 0.0 && c == 1.0);

    key = KOR_prepare_rc4key((const uint8_t *)"k", 1);
    KOR_rc4(data, 5, key);
    key = KOR_prepare_rc4key((const uint8_t *)"k", 1);
    KOR_rc4(data, 5, key);
    CHECK(memcmp(data, "hello", 5) == 0);
    CHECK(KOR_BinHex(data, 5, hex) == 11 && strcmp(hex, "68656C6C6F") == 0);

    {
        HGLOBAL block = GlobalAlloc(GHND, 32);
        unsigned char *p = (unsigned char *)GlobalLock(block);
        CHECK(p != NULL && p[31] == 0);
        GlobalUnlock(block);
        CHECK(GlobalFree(block) == NULL);
    }

    if (failures == 0) {
        printf("C caller: all checks passed\n");
    }
    return failures == 0 ? 0 : 1;
}
