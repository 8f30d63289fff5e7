// Demo section: text. The whole stroke font as a sheet of glyphs with their codes, the layout flags of stroke
// text, and a line of outline text from a host font, all drawn from the segments the library hands out.
#include <cstdio>
#include <string>

#include "demo.h"
#include "text_drawing.h"
#include "vutil.h"

namespace vutil::tool::demo {
namespace {

constexpr int kColumns = 16;
constexpr double kCellWidth = 48;
constexpr double kCellHeight = 58;
constexpr double kGlyphHeight = 24;
constexpr double kCodeHeight = 7;

/// SVG elements in sheet coordinates (y down); text segments come in drawing coordinates (y up) and are placed
/// with a translation.
class TextSheet {
public:
    void title(double y, const std::string &text) {
        body_ += "<text x=\"20\" y=\"" + std::to_string(y) + "\" class=\"title\">" + text + "</text>\n";
    }
    void strokes(const Segments &segments, double width) {
        body_ += "<path class=\"stroke\" stroke-width=\"" + std::to_string(width) + "\" d=\"" + svgPathData(segments) +
                 "\"/>\n";
    }
    void outline(const Segments &segments) {
        body_ += "<path class=\"outline\" d=\"" + svgPathData(segments) + "\"/>\n";
    }
    std::string svg(double height) const {
        const std::string h = std::to_string(height);
        return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"" + h + "\" viewBox=\"0 0 800 " + h +
               "\">\n<style>\n .title{font:bold 14px sans-serif}\n"
               " .stroke{fill:none;stroke:#1a1a1a;stroke-linecap:round;stroke-linejoin:round}\n"
               " .outline{fill:#1a1a1a;fill-rule:nonzero}\n</style>\n<rect width=\"800\" height=\"" +
               h + "\" fill=\"white\"/>\n" + body_ + "</svg>\n";
    }

private:
    std::string body_;
};

/// Places text with its baseline at sheet point (x, y): drawing y is sheet -y.
TextLayout at(double x, double y, double height) {
    TextLayout layout;
    layout.x = x;
    layout.y = -y;
    layout.height = height;
    return layout;
}

}  // namespace

void textSection(Context &context) {
    TextSheet sheet;
    double top = 30;
    sheet.title(top, "The stroke font: all 127 glyphs with their codes (txt)");
    std::size_t segmentCount = 0;
    int glyphs = 0;
    init_txt();
    for (int code = 1; code < 256; ++code) {
        const char text[2] = {static_cast<char>(code), 0};
        const double x = 24 + (glyphs % kColumns) * kCellWidth;
        const double y = top + 44 + (glyphs / kColumns) * kCellHeight;
        // A glyph that draws nothing at this size has none; the codes of the font are the others.
        const Segments glyph = strokeText(text, at(x + 8, y, kGlyphHeight));
        if (glyph.empty()) {
            continue;
        }
        sheet.strokes(glyph, 1.6);
        const Segments label = strokeText(std::to_string(code), at(x + 4, y + 16, kCodeHeight));
        sheet.strokes(label, 0.6);
        segmentCount += glyph.size();
        ++glyphs;
    }
    top += 44 + ((glyphs + kColumns - 1) / kColumns) * kCellHeight;

    sheet.title(top, "Stroke text layouts: escapes, slant, rotation, vertical, backward, upside down");
    const double line = top + 50;
    sheet.strokes(strokeText("%%uDia. %%c25 %%p0.1%%u at 90%%d", at(30, line, 16)), 1.2);
    TextLayout slanted = at(400, line, 16);
    slanted.oblique = 20;
    sheet.strokes(strokeText("Obliqued 20%%d", slanted), 1.2);
    TextLayout turned = at(60, line + 150, 14);
    turned.angle = 30;
    sheet.strokes(strokeText("Turned 30%%d", turned), 1.2);
    TextLayout vertical = at(300, line + 40, 14);
    vertical.vertical = true;
    vertical.width = 9;  // glyphs turned on their side: the width scales their height
    sheet.strokes(strokeText("VERT", vertical), 1.2);
    TextLayout backward = at(560, line + 60, 14);
    backward.backward = true;
    sheet.strokes(strokeText("Backward", backward), 1.2);
    TextLayout upsideDown = at(440, line + 110, 14);
    upsideDown.upsideDown = true;
    sheet.strokes(strokeText("Upside down", upsideDown), 1.2);
    top = line + 190;

    sheet.title(top, "Outline text from a host font (ttxt with a callback): DejaVu Sans");
    const Segments outline = outlineText(
        "Outline text \xc4rger \xfc"
        "ber 25\xb0"
        "C \xb1"
        "0.5",
        "DejaVu Sans", at(30, top + 60, 40));
    sheet.outline(outline);
    top += 90;

    std::fprintf(context.out, "stroke font: %d glyphs, %zu segments at height %g\n", glyphs, segmentCount,
                 kGlyphHeight);
    if (outline.empty()) {
        std::fprintf(context.out, "outline text: no outline font on this host\n");
    } else {
        std::fprintf(context.out, "outline text: %zu segments from DejaVu Sans (or the host's nearest face)\n",
                     outline.size());
    }
    context.writeFile("text.svg", sheet.svg(top));
    std::fprintf(context.out, "text sheet: text.svg\n");
}

}  // namespace vutil::tool::demo
