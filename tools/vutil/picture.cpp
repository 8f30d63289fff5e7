// A drawn page as a list of paths in pixels, and its SVG and PNG forms.
#include "picture.h"

#include <cstdio>

#if VUTIL_TOOL_CAIRO
#include <cairo.h>
#endif

namespace vutil::tool {
namespace {

std::string hex(uint32_t colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    return text;
}

/// Pixel coordinates to two decimals, without trailing zeros.
void appendNumber(std::string &out, double value) {
    char text[32];
    int length = std::snprintf(text, sizeof text, "%.2f", value);
    while (length > 0 && text[length - 1] == '0') {
        --length;
    }
    if (length > 0 && text[length - 1] == '.') {
        --length;
    }
    out.append(text, static_cast<std::size_t>(length));
}

std::string escapeXml(const std::string &text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace

std::string svgOf(const Picture &picture) {
    const std::string width = std::to_string(picture.width), height = std::to_string(picture.height);
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      width + "\" height=\"" + height + "\" viewBox=\"0 0 " + width + " " + height + "\">\n<title>" +
                      escapeXml(picture.title) + "</title>\n<rect width=\"" + width + "\" height=\"" + height +
                      "\" fill=\"#ffffff\"/>\n<g stroke-linecap=\"round\" stroke-linejoin=\"round\">\n";
    const std::string ends = picture.roundEnds ? "" : " stroke-linecap=\"square\" stroke-linejoin=\"bevel\"";
    std::string lineWidthText;
    appendNumber(lineWidthText, picture.lineWidth);
    for (const PagePath &path : picture.paths) {
        svg += "<path class=\"" + path.kind + "\" ";
        svg += path.filled ? "fill=\"" + hex(path.colour) + "\" stroke=\"none\"" :
                             "fill=\"none\" stroke=\"" + hex(path.colour) + "\" stroke-width=\"" + lineWidthText + "\"" + ends;
        svg += " d=\"";
        for (const std::vector<PagePoint> &piece : path.pieces) {
            for (std::size_t i = 0; i < piece.size(); ++i) {
                svg += i == 0 ? "M" : "L";
                appendNumber(svg, piece[i].x);
                svg += ' ';
                appendNumber(svg, piece[i].y);
            }
            svg += path.filled ? "Z" : "";
        }
        svg += "\"/>\n";
    }
    return svg + "</g>\n</svg>\n";
}

#if VUTIL_TOOL_CAIRO

bool pngAvailable() { return true; }

bool pngOf(const Picture &picture, std::string &png, std::string &reason) {
    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture.width, picture.height);
    cairo_t *cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_line_width(cr, picture.lineWidth);
    cairo_set_line_cap(cr, picture.roundEnds ? CAIRO_LINE_CAP_ROUND : CAIRO_LINE_CAP_SQUARE);
    cairo_set_line_join(cr, picture.roundEnds ? CAIRO_LINE_JOIN_ROUND : CAIRO_LINE_JOIN_BEVEL);
    for (const PagePath &path : picture.paths) {
        cairo_set_source_rgb(cr, (path.colour & 0xFF) / 255.0, ((path.colour >> 8) & 0xFF) / 255.0,
                             ((path.colour >> 16) & 0xFF) / 255.0);
        for (const std::vector<PagePoint> &piece : path.pieces) {
            for (std::size_t i = 0; i < piece.size(); ++i) {
                (i == 0 ? cairo_move_to : cairo_line_to)(cr, piece[i].x, piece[i].y);
            }
            if (path.filled) {
                cairo_close_path(cr);
            }
        }
        if (path.filled) {
            cairo_fill(cr);
        } else {
            cairo_stroke(cr);
        }
    }
    png.clear();
    const cairo_status_t drawn = cairo_status(cr);
    const cairo_status_t written = cairo_surface_write_to_png_stream(
        surface,
        [](void *closure, const unsigned char *data, unsigned int length) {
            static_cast<std::string *>(closure)->append(reinterpret_cast<const char *>(data), length);
            return CAIRO_STATUS_SUCCESS;
        },
        &png);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    if (drawn != CAIRO_STATUS_SUCCESS || written != CAIRO_STATUS_SUCCESS) {
        reason = std::string("cairo: ") + cairo_status_to_string(drawn != CAIRO_STATUS_SUCCESS ? drawn : written);
        return false;
    }
    return true;
}

#else

bool pngAvailable() { return false; }

bool pngOf(const Picture &, std::string &, std::string &reason) {
    reason = "this vutil was built without cairo, which draws the PNG";
    return false;
}

#endif

}  // namespace vutil::tool
