// Tests of outline text on every host: the device path, which hands the whole string to the caller's device.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/facts.h"
#include "vutil/text.h"

namespace {

constexpr const char *kFace = "DejaVu Sans";

/// The device's text operation records its calls: the pointers, then every number in order.
struct TextCall {
    int calls = 0;
    const char *face, *text;
    std::vector<double> numbers;
} textCall;
void deviceText(intptr_t context, const char *face, const double *p, const double *p2, const char *text, double height,
                double width, double escapement, double orientation, int32_t kind, int32_t style, intptr_t user,
                int32_t backward, int32_t upsideDown) {
    textCall = {textCall.calls + 1,
                face,
                text,
                {double(context), p[0], p[1], p[2], p2[0], p2[1], p2[2], height, width, escapement, orientation,
                 double(kind), double(style), double(user), double(backward), double(upsideDown)}};
}

TEST(OutlineText, DevicePathHandsOverTheWholeString) {
    draw_device device{};
    device.text = deviceText;
    device.line = [](intptr_t, const double *, const double *, intptr_t) { ADD_FAILURE() << "a line"; };
    kor_logfont font{};
    std::strcpy(font.lfFaceName, kFace);
    font.lfWeight = 700;
    font.lfUnderline = 1;
    const char *text = "Hello";
    textCall = {};
    ttxt(5, &device, text, &font, 1, 2, 3, 10, 20, 0.5, 0.25, nullptr, TXT_BACKWARD | TXT_UPSIDEDOWN | 8, 0x100, 6,
         nullptr, 0);
    vutil::test::expectFacts({FACT(textCall.calls, 1), FACT(textCall.face == font.lfFaceName, 1), FACT(textCall.text == text, 1)});
    EXPECT_EQ(textCall.numbers, (std::vector<double>{5, 1, 2, 3, 1, 2, 3, 10, 20, 0.5, 0.25, 8,
                                                     0x100 | TTXT_BOLD | TTXT_UNDERLINE, 6, 2, 4}));
    // Weight 600 is not bold; italic comes from the description; a unit diagonal still takes the device path.
    font = {};
    font.lfWeight = 600;
    font.lfItalic = 1;
    const double skewed[9] = {1, 0.5, 0, 0, 1, 0, 0, 0, 1};
    ttxt(0, &device, "x", &font, 0, 0, 0, 1, 1, 0, 0, skewed, 0, 0, 0, nullptr, 0);
    vutil::test::expectFacts({FACT(textCall.calls, 2), FACT(textCall.numbers[12], TTXT_ITALIC)});
    ttxt(0, nullptr, "x", &font, 0, 0, 0, 1, 1, 0, 0, nullptr, 0, 0, 0, nullptr, 0);  // no device: nothing
    // A diagonal entry other than 1 takes the outline path, here to no line operation.
    device.line = nullptr;
    for (const int entry : {0, 4, 8}) {
        double scaled[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        scaled[entry] = 2;
        ttxt(0, &device, "x", &font, 0, 0, 0, 1, 1, 0, 0, scaled, 0, 0, 0, nullptr, 0);
    }
    EXPECT_EQ(textCall.calls, 2);
}

}  // namespace
