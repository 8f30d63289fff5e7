// A drawn page as a list of paths in pixels, and its SVG and PNG forms.
#include "picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>

#if VUTIL_TOOL_CAIRO
#include <cairo.h>
#endif
#if VUTIL_TOOL_ZLIB
#include <zlib.h>
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

void PixelPage::start(int32_t pageWidth, int32_t pageHeight) {
    width = std::max(pageWidth, 0);
    height = std::max(pageHeight, 0);
    if (width == 0 || height == 0) {
        width = height = 0;
    }
    pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0xFFFFFF);
}

void PixelPage::line(double x0, double y0, double x1, double y1, uint32_t colour) {
    if (x0 >= 0 && x0 < width && y0 >= 0 && y0 < height && x1 >= 0 && x1 < width && y1 >= 0 && y1 < height) {
        inside(x0, y0, x1, y1, colour);  // the common case: nothing to cut, nothing to test
        return;
    }
    // Cut to a frame a pixel outside the page first (Liang and Barsky): the pixels on the page
    // stay the same, and a line from far away costs no more than one across the page.
    const double lo[2] = {-1, -1}, hi[2] = {width + 1.0, height + 1.0};
    const double start[2] = {x0, y0}, delta[2] = {x1 - x0, y1 - y0};
    double t0 = 0, t1 = 1;
    for (int axis = 0; axis < 2; ++axis) {
        if (!std::isfinite(start[axis]) || !std::isfinite(delta[axis])) {
            return;
        }
        if (delta[axis] == 0) {
            if (start[axis] < lo[axis] || start[axis] > hi[axis]) {
                return;
            }
            continue;
        }
        double a = (lo[axis] - start[axis]) / delta[axis], b = (hi[axis] - start[axis]) / delta[axis];
        if (a > b) {
            std::swap(a, b);
        }
        t0 = std::max(t0, a);
        t1 = std::min(t1, b);
        if (t0 > t1) {
            return;
        }
    }
    const double cut[4] = {x0 + t0 * delta[0], y0 + t0 * delta[1], x0 + t1 * delta[0], y0 + t1 * delta[1]};
    // Bresenham's walk between the pixels that hold the two ends.
    auto x = static_cast<int32_t>(std::floor(cut[0])), y = static_cast<int32_t>(std::floor(cut[1]));
    const auto xEnd = static_cast<int32_t>(std::floor(cut[2])), yEnd = static_cast<int32_t>(std::floor(cut[3]));
    const int32_t dx = std::abs(xEnd - x), dy = -std::abs(yEnd - y);
    const int32_t sx = x < xEnd ? 1 : -1, sy = y < yEnd ? 1 : -1;
    int32_t error = dx + dy;
    // One pixel for each step along the longer axis, the ends included.
    for (int32_t steps = std::max(dx, -dy); steps >= 0; --steps) {
        if (x >= 0 && x < width && y >= 0 && y < height) {
            pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = colour;
        }
        const int32_t twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += sx;
        }
        if (twice <= dx) {
            error += dx;
            y += sy;
        }
    }
}

void PixelPage::inside(double x0, double y0, double x1, double y1, uint32_t colour) {
    // As line() does it, without a test per pixel: every pixel of the walk is on the page.
    auto x = static_cast<int32_t>(x0), y = static_cast<int32_t>(y0);
    const auto xEnd = static_cast<int32_t>(x1), yEnd = static_cast<int32_t>(y1);
    const int32_t dx = std::abs(xEnd - x), dy = -std::abs(yEnd - y);
    const int32_t sx = x < xEnd ? 1 : -1;
    const std::ptrdiff_t sy = y < yEnd ? width : -static_cast<std::ptrdiff_t>(width);
    uint32_t *at = pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
    int32_t error = dx + dy;
    for (int32_t steps = std::max(dx, -dy); steps >= 0; --steps) {
        *at = colour;
        const int32_t twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            at += sx;
        }
        if (twice <= dx) {
            error += dx;
            at += sy;
        }
    }
}

void PixelPage::span(int32_t y, double x0, double x1, uint32_t colour) {
    if (y < 0 || y >= height || !(x1 > x0)) {
        return;
    }
    const double from = std::max(std::ceil(x0 - 0.5), 0.0), to = std::min(std::ceil(x1 - 0.5), static_cast<double>(width));
    if (from < to) {
        uint32_t *row = pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        std::fill(row + static_cast<std::ptrdiff_t>(from), row + static_cast<std::ptrdiff_t>(to), colour);
    }
}

#if VUTIL_TOOL_ZLIB
namespace {

void appendChunk(std::string &png, const char *kind, const std::string &body) {
    const auto length = static_cast<uint32_t>(body.size());
    const char size[4] = {static_cast<char>(length >> 24), static_cast<char>(length >> 16),
                          static_cast<char>(length >> 8), static_cast<char>(length)};
    png.append(size, 4);
    const std::size_t start = png.size();
    png.append(kind, 4);
    png += body;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(png.data() + start), static_cast<uInt>(png.size() - start));
    const char sum[4] = {static_cast<char>(crc >> 24), static_cast<char>(crc >> 16), static_cast<char>(crc >> 8),
                         static_cast<char>(crc)};
    png.append(sum, 4);
}

}  // namespace

std::string pngFile(int32_t width, int32_t height, int colourType, const std::string &zlibStream) {
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header(13, '\0');
    for (int i = 0; i < 4; ++i) {
        header[static_cast<std::size_t>(i)] = static_cast<char>(static_cast<uint32_t>(width) >> (24 - 8 * i));
        header[static_cast<std::size_t>(i) + 4] = static_cast<char>(static_cast<uint32_t>(height) >> (24 - 8 * i));
    }
    header[8] = 8;  // bits per sample; then the colour type, deflate, no filter, no interlace
    header[9] = static_cast<char>(colourType);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", zlibStream);
    appendChunk(png, "IEND", "");
    return png;
}

namespace {

/// Rows [first, last) of a picture as raw deflate data, each row led by its filter byte (none).
/// A part that is not the last ends on a byte boundary and leaves the stream open, so that
/// parts made apart join into one stream.
struct DeflatedRows {
    std::string data;
    uLong adler = adler32(0, Z_NULL, 0);  ///< checksum of the rows, to be joined with the others'
    uLong length = 0;
    bool good = false;
};

void deflateRows(const std::function<void(int32_t, std::string &)> &row, int32_t first, int32_t last, bool closing,
                 DeflatedRows &part) {
    z_stream stream{};
    if (deflateInit2(&stream, 1, Z_DEFLATED, -15, 8, Z_RLE) != Z_OK) {
        return;
    }
    std::string line, samples;
    std::vector<unsigned char> out(1 << 16);
    bool good = true;
    for (int32_t y = first; good && y <= last; ++y) {
        const bool end = y == last;
        stream.avail_in = 0;
        if (!end) {
            samples.clear();
            row(y, samples);
            line.assign(1, '\0');
            line += samples;
            stream.next_in = reinterpret_cast<Bytef *>(line.data());
            stream.avail_in = static_cast<uInt>(line.size());
            part.adler = adler32(part.adler, stream.next_in, stream.avail_in);
            part.length += line.size();
        }
        const int flush = !end ? Z_NO_FLUSH : closing ? Z_FINISH : Z_SYNC_FLUSH;
        do {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            const int status = deflate(&stream, flush);
            good = status == Z_OK || status == Z_STREAM_END || status == Z_BUF_ERROR;
            part.data.append(reinterpret_cast<const char *>(out.data()), out.size() - stream.avail_out);
        } while (good && (stream.avail_in > 0 || (end && stream.avail_out == 0)));
    }
    deflateEnd(&stream);
    part.good = good;
}

}  // namespace

bool deflatedPng(int32_t width, int32_t height, int colourType, const std::function<void(int32_t, std::string &)> &row,
                 std::string &png, std::string &reason) {
    // A large picture is deflated in two halves at once, the lower on a thread of its own, and
    // the halves joined into one stream.
    const int32_t middle = height >= 256 ? height / 2 : height;
    DeflatedRows upper, lower;
    std::thread worker;
    if (middle < height) {
        try {
            worker = std::thread([&] { deflateRows(row, middle, height, true, lower); });
        } catch (const std::system_error &) {
            deflateRows(row, middle, height, true, lower);  // no thread: one after the other
        }
    }
    deflateRows(row, 0, middle, middle == height, upper);
    if (worker.joinable()) {
        worker.join();
    }
    if (!upper.good || (middle < height && !lower.good)) {
        reason = "zlib failed";
        return false;
    }
    std::string compressed = "\x78\x01";  // deflate with a 32 KiB window, fastest level
    compressed += upper.data;
    compressed += lower.data;
    const uLong adler = adler32_combine(upper.adler, lower.adler, static_cast<z_off_t>(lower.length));
    for (int shift = 24; shift >= 0; shift -= 8) {
        compressed += static_cast<char>(adler >> shift);
    }
    png = pngFile(width, height, colourType, compressed);
    return true;
}

bool pixelPngAvailable() { return true; }

bool pngOf(const PixelPage &page, std::string &png, std::string &reason) {
    if (page.width < 1 || page.height < 1) {
        reason = "the page has no pixels";
        return false;
    }
    return deflatedPng(
        page.width, page.height, 2,
        [&page](int32_t y, std::string &out) {
            out.resize(3 * static_cast<std::size_t>(page.width));
            for (int32_t x = 0; x < page.width; ++x) {
                const uint32_t c = page.at(x, y);
                out[3 * static_cast<std::size_t>(x)] = static_cast<char>(c & 0xFF);
                out[3 * static_cast<std::size_t>(x) + 1] = static_cast<char>((c >> 8) & 0xFF);
                out[3 * static_cast<std::size_t>(x) + 2] = static_cast<char>((c >> 16) & 0xFF);
            }
        },
        png, reason);
}
#elif VUTIL_TOOL_CAIRO

bool pixelPngAvailable() { return true; }

bool pngOf(const PixelPage &page, std::string &png, std::string &reason) {
    if (page.width < 1 || page.height < 1) {
        reason = "the page has no pixels";
        return false;
    }
    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, page.width, page.height);
    cairo_surface_flush(surface);
    unsigned char *data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int32_t y = 0; data != nullptr && y < page.height; ++y) {
        auto *row = reinterpret_cast<uint32_t *>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int32_t x = 0; x < page.width; ++x) {
            const uint32_t c = page.at(x, y);
            row[x] = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
        }
    }
    cairo_surface_mark_dirty(surface);
    png.clear();
    const cairo_status_t written = cairo_surface_write_to_png_stream(
        surface,
        [](void *closure, const unsigned char *bytes, unsigned int length) {
            static_cast<std::string *>(closure)->append(reinterpret_cast<const char *>(bytes), length);
            return CAIRO_STATUS_SUCCESS;
        },
        &png);
    cairo_surface_destroy(surface);
    if (written != CAIRO_STATUS_SUCCESS) {
        reason = std::string("cairo: ") + cairo_status_to_string(written);
        return false;
    }
    return true;
}
#else

bool pixelPngAvailable() { return false; }

bool pngOf(const PixelPage &, std::string &, std::string &reason) {
    reason = "this vutil was built without zlib or cairo, which write the PNG";
    return false;
}
#endif

}  // namespace vutil::tool
