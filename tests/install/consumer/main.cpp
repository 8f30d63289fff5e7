// A C++ caller built against an installed vutil: the C interface from C++, with its own types.
#include <vutil.h>

#include <cstdio>
#include <string>

int main() {
    static_assert(noexcept(KorStrtok(nullptr, nullptr, nullptr)), "the exports are declared noexcept in C++");
    std::string text = "LINE 10,20";
    int32_t slot = -1;
    const std::string first = KorStrtok(text.c_str(), " ", &slot);
    vpoint a{-5, 5, 7}, b{15, 5, 9}, from{}, to{};
    const int32_t visible = KorClipVLine(a, b, &from, &to, vpoint{0, 0, 0}, vpoint{10, 10, 0});
    hmatrix view{};
    create_vmatrix(&view, 0, 0, 1, 0);
    if (first != "LINE" || visible != 1 || from.x != 0 || to.x != 10 || to.z != 9 || view.flags != 1 ||
        GetAcadRGBColor(1) != 0x0000FF) {
        return 1;
    }
    std::printf("vutil %d from C++\n", GetMXRLANG());
    return 0;
}
