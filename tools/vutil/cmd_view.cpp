// vutil view: draws a drawing file as a picture. The reader is chosen by the file's content,
// whatever its name says: DXF drawings are drawn as PNG or SVG pages, bilevel TIFF scans as PNG
// or PBM pictures.
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

#include "commands.h"
#include "output.h"
#include "raster_view.h"
#include "tiff_reader.h"
#include "view_dxf.h"

namespace vutil::tool {
namespace {

constexpr const char *kCommand = "view";

/// What `vutil view` was asked for, as given, before the file's format is known.
struct RawOptions {
    std::string input, output;
    std::string size, extents, margin, page;
    std::vector<std::string> layers;
    bool stats = false, timing = false;
};

/// A scan's options.
struct ScanOptions {
    std::string input, output;
    bool native = false;
    int32_t boxWidth = 800, boxHeight = 600;
    bool windowGiven = false;
    PixelWindow window;
    int32_t page = 1;  ///< from 1
    bool timing = false;
};

enum class Format { Dxf, Tiff, Unknown };

/// What the file holds, by its first bytes.
Format sniff(const std::string &head) {
    if (tiff::looksLikeTiff(std::vector<uint8_t>(head.begin(), head.end()))) {
        return Format::Tiff;
    }
    if (looksLikeDxf(head)) {
        return Format::Dxf;
    }
    return Format::Unknown;
}

bool parseInt(const std::string &text, int32_t low, int32_t high, int32_t &value) {
    try {
        std::size_t used = 0;
        const long parsed = std::stol(text, &used);
        if (used != text.size() || parsed < low || parsed > high) {
            return false;
        }
        value = static_cast<int32_t>(parsed);
        return true;
    } catch (...) {
        return false;
    }
}

/// Splits "A<sep>B<sep>..." into exactly `count` integers.
bool parseList(const std::string &text, char separator, std::size_t count, int32_t low, int32_t high,
               std::vector<int32_t> &values) {
    values.clear();
    std::size_t from = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t end = i + 1 == count ? text.size() : text.find(separator, from);
        int32_t value = 0;
        if (end == std::string::npos || !parseInt(text.substr(from, end - from), low, high, value)) {
            return false;
        }
        values.push_back(value);
        from = end + 1;
    }
    return true;
}

/// Reads `count` finite reals separated by `separator`, and nothing else.
bool parseNumbers(const std::string &text, double *out, int count, char separator) {
    const char *p = text.c_str();
    for (int i = 0; i < count; ++i) {
        char *end = nullptr;
        errno = 0;
        out[i] = std::strtod(p, &end);
        if (end == p || errno != 0 || !std::isfinite(out[i])) {
            return false;
        }
        p = end;
        if (i + 1 < count) {
            if (*p != separator) {
                return false;
            }
            ++p;
        }
    }
    return *p == '\0';
}

bool endsWith(const std::string &text, const char *suffix) {
    const std::string tail(suffix);
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

/// Takes the arguments apart; an option's value may follow it or be joined with '='.
int parse(const Args &args, RawOptions &options) {
    const Command &command = findCommand(kCommand);
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i], value;
        const bool option = arg.size() > 1 && arg[0] == '-';
        const std::size_t equals = arg.find('=');
        const bool joined = option && arg.rfind("--", 0) == 0 && equals != std::string::npos;
        if (joined) {
            value = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
        }
        const bool takesValue = arg == "-o" || arg == "--size" || arg == "--extents" || arg == "--margin" ||
                                arg == "--layer" || arg == "--page";
        if (takesValue && !joined) {
            if (i + 1 >= args.size()) {
                return usageError(command, arg + " needs a value");
            }
            value = args[++i];
        }
        if (arg == "-o") {
            options.output = value;
        } else if (arg == "--size") {
            options.size = value;
        } else if (arg == "--extents") {
            options.extents = value;
        } else if (arg == "--margin") {
            options.margin = value;
        } else if (arg == "--page") {
            options.page = value;
        } else if (arg == "--layer") {
            options.layers.push_back(value);
        } else if (arg == "--stats" && !joined) {
            options.stats = true;
        } else if (arg == "--timing" && !joined) {
            options.timing = true;
        } else if (option) {
            return usageError(command, "unknown option '" + args[i] + "'");
        } else if (options.input.empty()) {
            options.input = arg;
        } else {
            return usageError(command, "more than one input file");
        }
    }
    if (options.input.empty() || options.output.empty()) {
        return usageError(command, "expected IN -o OUT");
    }
    bool known = false;
    for (const char *kind : {".png", ".svg", ".pbm", ".PNG", ".SVG", ".PBM"}) {
        known = known || endsWith(options.output, kind);
    }
    if (!known) {
        return usageError(command, "OUT must end in .png, .svg or .pbm");
    }
    // The forms every reader shares are checked before the file is read; what only one reader
    // takes (whole pixels for a scan's window, say) is checked once the format is known.
    double numbers[4];
    std::vector<int32_t> values;
    if (!options.size.empty() && options.size != "native" && !parseList(options.size, 'x', 2, 1, 1 << 16, values)) {
        return usageError(command, "--size takes WxH (1 to 65536 each) or native: " + options.size);
    }
    if (!options.extents.empty() && (!parseNumbers(options.extents, numbers, 4, ',') || !(numbers[0] < numbers[2]) ||
                                     !(numbers[1] < numbers[3]))) {
        return usageError(command, "--extents takes XMIN,YMIN,XMAX,YMAX with XMIN < XMAX and YMIN < YMAX: " +
                                       options.extents);
    }
    int32_t page = 0;
    if (!options.page.empty() && !parseInt(options.page, 1, 1 << 16, page)) {
        return usageError(command, "--page takes a page number from 1: " + options.page);
    }
    return 0;
}

/// The options of a DXF drawing.
int dxfOptions(const RawOptions &raw, ViewOptions &options) {
    const Command &command = findCommand(kCommand);
    options.input = raw.input;
    options.output = raw.output;
    options.layers = raw.layers;
    options.stats = raw.stats;
    if (endsWith(raw.output, ".pbm") || endsWith(raw.output, ".PBM")) {
        return usageError(command, "a DXF drawing is drawn as PNG or SVG: " + raw.output);
    }
    if (!raw.page.empty() || raw.timing) {
        return usageError(command, "--page and --timing are for scans; " + raw.input + " is a DXF drawing");
    }
    if (!raw.size.empty()) {
        double size[2];
        if (!parseNumbers(raw.size, size, 2, 'x') || size[0] < 1 || size[1] < 1 || size[0] > 16384 ||
            size[1] > 16384 || size[0] != std::floor(size[0]) || size[1] != std::floor(size[1])) {
            return usageError(command, "--size takes WIDTHxHEIGHT in pixels, 1 to 16384: " + raw.size);
        }
        options.width = static_cast<int>(size[0]);
        options.height = static_cast<int>(size[1]);
    }
    if (!raw.extents.empty()) {
        if (!parseNumbers(raw.extents, options.extents, 4, ',') || !(options.extents[2] > options.extents[0]) ||
            !(options.extents[3] > options.extents[1])) {
            return usageError(command,
                              "--extents takes XMIN,YMIN,XMAX,YMAX with XMIN < XMAX and YMIN < YMAX: " + raw.extents);
        }
        options.haveExtents = true;
    }
    if (!raw.margin.empty() &&
        (!parseNumbers(raw.margin, &options.margin, 1, ',') || options.margin < 0 || options.margin > 10)) {
        return usageError(command, "--margin takes a share of the extents from 0 to 10: " + raw.margin);
    }
    return 0;
}

/// The options of a scan.
int scanOptions(const RawOptions &raw, ScanOptions &options) {
    const Command &command = findCommand(kCommand);
    options.input = raw.input;
    options.output = raw.output;
    options.timing = raw.timing;
    if (endsWith(raw.output, ".svg") || endsWith(raw.output, ".SVG")) {
        return usageError(command, "a scan is drawn as PNG or PBM: " + raw.output);
    }
    if (!raw.margin.empty() || !raw.layers.empty() || raw.stats) {
        return usageError(command, "--margin, --layer and --stats are for DXF drawings; " + raw.input + " is a scan");
    }
    std::vector<int32_t> values;
    if (raw.size == "native") {
        options.native = true;
    } else if (!raw.size.empty()) {
        if (!parseList(raw.size, 'x', 2, 1, 1 << 16, values)) {
            return usageError(command, "--size takes WxH (1 to 65536 each) or native");
        }
        options.boxWidth = values[0];
        options.boxHeight = values[1];
    }
    if (!raw.extents.empty()) {
        if (!parseList(raw.extents, ',', 4, 0, 0x7FFFFFFF, values) || values[2] <= values[0] ||
            values[3] <= values[1]) {
            return usageError(command, "--extents takes X0,Y0,X1,Y1 image pixels with X0 < X1 and Y0 < Y1");
        }
        options.window = {values[0], values[1], values[2], values[3]};
        options.windowGiven = true;
    }
    if (!raw.page.empty() && !parseInt(raw.page, 1, 1 << 16, options.page)) {
        return usageError(command, "--page takes a page number from 1");
    }
    return 0;
}

/// Clock for --timing.
double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

/// Rows counted on their way to the picture, for --timing.
class TimedSink : public tiff::RowSink {
public:
    TimedSink(tiff::RowSink &inner, std::chrono::steady_clock::time_point start) : inner_(inner), start_(start) {}
    void row(int32_t y, std::span<const int32_t> ink) override {
        if (firstRow_ < 0) {
            firstRow_ = seconds(start_);
        }
        inner_.row(y, ink);
    }
    double firstRow() const { return firstRow_; }

private:
    tiff::RowSink &inner_;
    std::chrono::steady_clock::time_point start_;
    double firstRow_ = -1;
};

const char *compressionName(int32_t compression) {
    switch (compression) {
    case 1: return "uncompressed";
    case 2: return "CCITT Modified Huffman";
    case 3: return "CCITT T.4";
    case 4: return "CCITT T.6";
    default: return "PackBits";
    }
}

int viewTiff(const ScanOptions &options, GreyPicture &picture, std::string &summary) {
    const auto start = std::chrono::steady_clock::now();
    tiff::Reader reader;
    std::string error;
    if (!reader.open(options.input, options.page - 1, error)) {
        return failure(kCommand, options.input, error);
    }
    const tiff::PageInfo &info = reader.info();
    PixelWindow window{0, 0, info.width, info.height};
    if (options.windowGiven) {
        window = {options.window.x0, options.window.y0, std::min(options.window.x1, info.width),
                  std::min(options.window.y1, info.height)};
        if (window.x0 >= window.x1 || window.y0 >= window.y1) {
            return failure(kCommand, options.input,
                           "the extents lie outside the image of " + std::to_string(info.width) + " x " +
                               std::to_string(info.height) + " pixels");
        }
    }
    int32_t width = window.x1 - window.x0, height = window.y1 - window.y0;
    if (!options.native) {
        fitSize(width, height, info.xResolution, info.yResolution, options.boxWidth, options.boxHeight, width, height);
    }
    if (static_cast<int64_t>(width) * height > (int64_t{1} << 31)) {
        return failure(kCommand, options.input, "the output picture would be too large; give a smaller --size");
    }
    AreaFit fit;
    if (!fit.start(window, width, height, error)) {
        return failure(kCommand, options.input, error);
    }
    TimedSink sink(fit, start);
    Progress progress(kCommand, options.input);
    // Strips (and rows of tiles) are coded apart: with two or more of them in the window, a second
    // reader takes the lower half of the picture on a thread of its own.
    AreaFit lowerFit;
    tiff::Reader lowerReader;
    int32_t middle = -1;
    if (window.y1 - window.y0 >= 2 * info.tileHeight) {
        middle = fit.split(lowerFit);
        if (middle > 0 && !lowerReader.open(options.input, options.page - 1, error)) {
            return failure(kCommand, options.input, error);
        }
    }
    bool lowerRead = true;
    std::string lowerError;
    const auto readLower = [&] { lowerRead = lowerReader.read(middle, window.y1, lowerFit, lowerError); };
    std::thread worker;
    if (middle > 0) {
        try {
            worker = std::thread(readLower);
        } catch (const std::system_error &) {
            readLower();  // no thread to be had: one after the other
        }
    }
    const bool read = reader.read(window.y0, middle > 0 ? middle : window.y1, sink, error);
    if (worker.joinable()) {
        worker.join();
    }
    progress.clear();
    if (!read || !lowerRead) {
        return failure(kCommand, options.input, read ? lowerError : error);
    }
    if (options.timing) {
        std::fprintf(stderr, "vutil view: first row after %.3f s, all rows after %.3f s\n", sink.firstRow(),
                     seconds(start));
    }
    char text[256];
    std::snprintf(text, sizeof text, "page %d of %d, %d x %d pixels", options.page, info.pages, info.width,
                  info.height);
    summary = text;
    if (info.widthMm() > 0 && info.heightMm() > 0) {
        std::snprintf(text, sizeof text, " (%.0f x %.0f mm)", info.widthMm(), info.heightMm());
        summary += text;
    }
    summary += std::string(", ") + compressionName(info.compression) + (info.tiled ? " tiles" : " strips");
    picture = std::move(fit.picture());
    return 0;
}

/// A scan fitted, encoded and written.
int drawScan(const RawOptions &raw) {
    ScanOptions options;
    if (const int status = scanOptions(raw, options); status != 0) {
        return status;
    }
    GreyPicture picture;
    std::string summary;
    if (const int status = viewTiff(options, picture, summary); status != 0) {
        return status;
    }
    const bool png = endsWith(options.output, ".png") || endsWith(options.output, ".PNG");
    std::string data, reason;
    if (png ? !pngOf(picture, data, reason) : (data = pbmOf(picture), false)) {
        return failure(kCommand, options.output, reason);
    }
    if (writeOutput(kCommand, options.output, data) != 0) {
        return 1;
    }
    std::printf("%s: %s; %d x %d written to %s\n", options.input.c_str(), summary.c_str(), picture.width,
                picture.height, options.output.c_str());
    return 0;
}

}  // namespace

int runView(const Args &args) {
    RawOptions raw;
    if (const int status = parse(args, raw); status != 0) {
        return status;
    }
    std::error_code ignored;
    if (std::filesystem::is_directory(raw.input, ignored)) {
        return failure(kCommand, raw.input, "is a directory");
    }
    std::string head(512, '\0');
    {
        std::ifstream in(raw.input, std::ios::binary);
        if (!in) {
            return failure(kCommand, raw.input, "cannot open");
        }
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<std::size_t>(in.gcount()));
    }
    switch (sniff(head)) {
    case Format::Tiff:
        return drawScan(raw);
    case Format::Dxf: {
        ViewOptions options;
        if (const int status = dxfOptions(raw, options); status != 0) {
            return status;
        }
        return view_dxf(options);
    }
    case Format::Unknown:
        break;
    }
    return failure(kCommand, raw.input, "unknown format (vutil view reads DXF drawings and TIFF scans)");
}

}  // namespace vutil::tool
