// vutil view: draws a drawing file into a PNG or PBM picture. The reader is chosen by the
// file's content, whatever its name says.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

#include "commands.h"
#include "output.h"
#include "raster_view.h"
#include "tiff_reader.h"

namespace vutil::tool {
namespace {

constexpr const char *kCommand = "view";

struct ViewOptions {
    std::string input, output;
    bool native = false;
    int32_t boxWidth = 800, boxHeight = 600;
    bool windowGiven = false;
    PixelWindow window;
    int32_t page = 1;  ///< from 1
    bool timing = false;
};

enum class Format { Tiff, Unknown };

/// What the file holds, by its first bytes.
Format sniff(const std::vector<uint8_t> &head) {
    if (tiff::looksLikeTiff(head)) {
        return Format::Tiff;
    }
    // Vector drawings (DXF) join here: their reader draws into the same output picture.
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

int parse(const Args &args, ViewOptions &options) {
    const Command &command = findCommand(kCommand);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        const bool hasValue = i + 1 < args.size();
        std::vector<int32_t> values;
        if (arg == "-o" || arg == "--size" || arg == "--extents" || arg == "--page") {
            if (!hasValue) {
                return usageError(command, arg + " needs a value");
            }
            const std::string &value = args[++i];
            if (arg == "-o") {
                options.output = value;
            } else if (arg == "--size" && value == "native") {
                options.native = true;
            } else if (arg == "--size") {
                if (!parseList(value, 'x', 2, 1, 1 << 16, values)) {
                    return usageError(command, "--size takes WxH (1 to 65536 each) or native");
                }
                options.boxWidth = values[0];
                options.boxHeight = values[1];
            } else if (arg == "--extents") {
                if (!parseList(value, ',', 4, 0, 0x7FFFFFFF, values) || values[2] <= values[0] ||
                    values[3] <= values[1]) {
                    return usageError(command, "--extents takes X0,Y0,X1,Y1 with X0 < X1 and Y0 < Y1");
                }
                options.window = {values[0], values[1], values[2], values[3]};
                options.windowGiven = true;
            } else if (!parseInt(value, 1, 1 << 16, options.page)) {
                return usageError(command, "--page takes a page number from 1");
            }
        } else if (arg == "--timing") {
            options.timing = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError(command, "unknown option '" + arg + "'");
        } else if (options.input.empty()) {
            options.input = arg;
        } else {
            return usageError(command, "more than one input file");
        }
    }
    if (options.input.empty() || options.output.empty()) {
        return usageError(command, "expected IN -o OUT");
    }
    const auto ends = [&](const char *suffix) {
        const std::string tail(suffix);
        return options.output.size() >= tail.size() &&
               options.output.compare(options.output.size() - tail.size(), tail.size(), tail) == 0;
    };
    if (!ends(".png") && !ends(".pbm")) {
        return usageError(command, "OUT must end in .png or .pbm");
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

int viewTiff(const ViewOptions &options, GreyPicture &picture, std::string &summary) {
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

}  // namespace

int runView(const Args &args) {
    ViewOptions options;
    if (const int status = parse(args, options); status != 0) {
        return status;
    }
    std::vector<uint8_t> head(8, 0);
    std::error_code ignored;
    if (std::filesystem::is_directory(options.input, ignored)) {
        return failure(kCommand, options.input, "is a directory");
    }
    {
        std::ifstream in(options.input, std::ios::binary);
        if (!in) {
            return failure(kCommand, options.input, "cannot open");
        }
        in.read(reinterpret_cast<char *>(head.data()), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<std::size_t>(in.gcount()));
    }
    GreyPicture picture;
    std::string summary;
    switch (sniff(head)) {
    case Format::Tiff:
        if (const int status = viewTiff(options, picture, summary); status != 0) {
            return status;
        }
        break;
    case Format::Unknown:
        return failure(kCommand, options.input, "unknown format (vutil view reads TIFF scans)");
    }
    const bool png = options.output.size() >= 4 && options.output.compare(options.output.size() - 4, 4, ".png") == 0;
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

}  // namespace vutil::tool
