// Reading DXF: the group-code and value lines come through the library's buffered
// files, the numbers through its number-text services.
#include <atomic>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

#include "dxf.h"
#include "vutil/fileio.h"
#include "vutil/runtime.h"

namespace vutil::dxf {
namespace {

/// Longest value kept; the rest of a longer line is read and dropped.
constexpr std::size_t kMaxValue = 65536;
/// Files from this size on are read by two threads, each from its own handle: the second
/// reads the entities of the file's second half (see Tail).
constexpr int32_t kSplitSize = 2 << 20;
/// Lines the second reader looks through for the start of an entity before it gives up.
constexpr int kTailSearchLines = 100000;

/// How a group code's value is typed.
bool numericCode(int32_t code) {
    return (code >= 10 && code <= 99) || (code >= 110 && code <= 179) || (code >= 210 && code <= 299) ||
           (code >= 370 && code <= 389) || (code >= 400 && code <= 409) || (code >= 420 && code <= 429) ||
           (code >= 440 && code <= 469) || (code >= 1010 && code <= 1071);
}

/// A number's text as the number-text services read it, or NaN when it is none: some
/// digits, with an optional sign, point and exponent, and nothing after but blanks.
double parseNumber(const char *text) {
    const char *p = text;
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    const char *start = p;
    if (*p == '+' || *p == '-') {
        ++p;
    }
    bool digits = false;
    while (*p >= '0' && *p <= '9') {
        ++p;
        digits = true;
    }
    bool integral = true;
    if (*p == '.') {
        integral = false;
        ++p;
        while (*p >= '0' && *p <= '9') {
            ++p;
            digits = true;
        }
    }
    if (!digits) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (*p == 'e' || *p == 'E') {
        const char *q = p + 1;
        if (*q == '+' || *q == '-') {
            ++q;
        }
        if (*q >= '0' && *q <= '9') {
            while (*q >= '0' && *q <= '9') {
                ++q;
            }
            p = q;
            integral = false;
        }
    }
    while (*p == ' ' || *p == '\t' || *p == '\r') {
        ++p;
    }
    if (*p != '\0') {
        return std::numeric_limits<double>::quiet_NaN();
    }
    // Integers of the integer codes are read as the integer services read them.
    return integral && p - start < 10 ? static_cast<double>(KOR_atol(start)) : KOR_atof(start);
}

/// The file as a stream of lines.
class Lines {
public:
    explicit Lines(int32_t handle) : handle_(handle) {}

    /// The next line without its line end, followed in memory by a NUL; it stays valid until
    /// the next call. False at the end of the file.
    bool next(std::string_view &line) {
        if (KorGets(buffer_, sizeof buffer_, handle_) == nullptr) {
            return false;
        }
        ++number_;
        std::size_t length = lengthOf(buffer_);
        if (length > 0 && buffer_[length - 1] == '\n') {
            // The usual case: the whole line in one piece.
            buffer_[--length] = '\0';
            if (length > 0 && buffer_[length - 1] == '\r') {
                buffer_[--length] = '\0';
            }
            line = std::string_view(buffer_, length);
            return true;
        }
        // A line longer than the buffer: gathered in pieces, kept up to kMaxValue.
        long_.assign(buffer_, length);
        while (KorGets(buffer_, sizeof buffer_, handle_) != nullptr) {
            length = lengthOf(buffer_);
            const bool ended = length > 0 && buffer_[length - 1] == '\n';
            if (ended) {
                --length;
            }
            if (long_.size() < kMaxValue) {
                long_.append(buffer_, std::min(length, kMaxValue - long_.size()));
            }
            if (ended) {
                break;
            }
        }
        if (!long_.empty() && long_.back() == '\r') {
            long_.pop_back();
        }
        line = long_;
        return true;
    }
    int64_t number() const { return number_; }
    /// Where the next line starts in the file.
    int32_t position() const { return KorTellFile(handle_); }
    int32_t handle() const { return handle_; }

private:
    /// strlen of a line in the buffer, but most lines are short: their first bytes are looked
    /// at eight at a time (the buffer is longer than that, and all of it set).
    static std::size_t lengthOf(const char *text) {
        if constexpr (std::endian::native == std::endian::little) {
            constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
            for (std::size_t i = 0; i < 32; i += 8) {
                uint64_t word = 0;
                std::memcpy(&word, text + i, sizeof word);
                // The lowest high bit set marks the first zero byte.
                if (const uint64_t zero = (word - kOnes) & ~word & kHighs; zero != 0) {
                    return i + static_cast<std::size_t>(std::countr_zero(zero) / 8);
                }
            }
            return 32 + std::strlen(text + 32);
        }
        return std::strlen(text);
    }

    int32_t handle_;
    int64_t number_ = 0;
    char buffer_[4096] = {};
    std::string long_;
};

std::string_view trimmed(std::string_view text) {
    std::size_t a = 0, b = text.size();
    while (a < b && (text[a] == ' ' || text[a] == '\t')) {
        ++a;
    }
    while (b > a && (text[b - 1] == ' ' || text[b - 1] == '\t')) {
        --b;
    }
    return text.substr(a, b - a);
}

std::string trim(std::string_view text) { return std::string(trimmed(text)); }

/// Groups that drawing never needs: handles, subclass markers, owners and reactors.
bool bookkeeping(int32_t code) { return code == 5 || code == 100 || code == 102 || code == 330 || code == 360; }

/// A file of the library's buffered files, open for reading while this lives.
struct OpenFile {
    int32_t handle = 0;
    explicit OpenFile(const std::string &path) {
        if (KorOpenFile(path.c_str(), &handle, KOR_OPEN_READ) == 0) {
            handle = 0;
        }
    }
    OpenFile(const OpenFile &) = delete;
    OpenFile &operator=(const OpenFile &) = delete;
    ~OpenFile() {
        if (handle != 0) {
            KorCloseFile(handle);
        }
    }
};

/// The second reader's share of a large file. From a point in the file it looks for a line
/// "0" followed by an entity's name, and reads model-space entities from there as the first
/// reader would if that pair started an entity of the ENTITIES section. When the first reader
/// then meets that very pair there (the same value line, ending at the same position), the two
/// are in the same state, and what the second read is taken over whole; otherwise the first
/// reads on alone and the second's work is dropped. Either way the drawing is the same.
struct Tail {
    static constexpr int32_t kSearching = -1;
    static constexpr int32_t kNoStart = -2;

    /// Where the second reader starts: the position after its first pair's value line, or
    /// kNoStart when it found none. Said once, by the second reader.
    void found(int32_t position) {
        {
            std::lock_guard lock(mutex_);
            start_.store(position, std::memory_order_release);
        }
        said_.notify_all();
    }
    /// That position, once the second reader has said it: it looks through a few lines only.
    int32_t start() {
        const int32_t now = start_.load(std::memory_order_acquire);
        if (now != kSearching) {
            return now;
        }
        std::unique_lock lock(mutex_);
        said_.wait(lock, [this] { return start_.load(std::memory_order_acquire) != kSearching; });
        return start_.load(std::memory_order_acquire);
    }
    bool searching() const { return start_.load(std::memory_order_acquire) == kSearching; }

    Drawing part;
    std::string kind;  ///< the value line of the pair it started at, set before its position is said
    bool whole = false;   ///< read cleanly to the EOF: ENDSEC, then only sections that are skipped

private:
    std::atomic<int32_t> start_{kSearching};
    std::mutex mutex_;
    std::condition_variable said_;

public:
    std::jthread thread;  ///< last: stopped and joined first when the tail is dropped
};

class Reader {
public:
    Reader(int32_t handle, Drawing &drawing, Tail *tail = nullptr) : lines_(handle), d_(drawing), tail_(tail) {}

    bool run(std::string &reason);
    /// The second reader's work: see Tail.
    void readTail(int32_t from, Tail &tail, std::stop_token stop);

private:
    /// Reads the next pair into code_/value_; false at the end of the file or on a bad code.
    bool pair();
    void header();
    void headerValue();
    void tables();
    void blocks();
    /// Reads entities until a (0, name) group ends them, which is then the current pair.
    /// The first entity starts at the current pair, or at the next when `next` is set.
    void entities(std::vector<Entity> &into, const char *end, bool next);
    void skipSection();
    uint32_t kindOf(const std::string &name);
    void store();
    /// At the start of a model-space entity: true when the second reader started here too and
    /// read the rest of the file, which is then taken into the drawing.
    bool meetsTail();

    Lines lines_;
    Drawing &d_;
    int32_t code_ = 0;
    /// The current value, NUL-terminated in the line reader's memory until the next pair.
    std::string_view value_;
    std::string_view line_;
    bool ended_ = false;
    std::string failure_;
    std::string variable_;
    std::unordered_map<std::string, uint32_t> kindIndex_;
    Tail *tail_ = nullptr;   ///< the second reader, until the first passes its start
    bool tookTail_ = false;  ///< the rest of the file came from the second reader
    std::stop_token stop_;   ///< of the second reader: the first no longer needs it
};

bool Reader::pair() {
    if (ended_) {
        return false;
    }
    if (!lines_.next(line_)) {
        ended_ = true;
        return false;
    }
    // The code's text ends where the line does (a NUL follows it), blanks trimmed. Most are
    // a few plain digits, read here; the rest go through the library's integer reading.
    const std::string_view code = trimmed(line_);
    int32_t value = 0;
    bool valid = !code.empty() && code.size() <= 4;
    for (std::size_t i = 0; valid && i < code.size(); ++i) {
        valid = code[i] >= '0' && code[i] <= '9';
        value = value * 10 + (code[i] - '0');
    }
    if (!valid && !code.empty()) {
        char *end = nullptr;
        value = KorStrToL(code.data(), &end, 10);
        valid = end == code.data() + code.size();
    }
    if (!valid || value < -1 || value > 1071) {
        failure_ = "line " + std::to_string(lines_.number()) + ": a group code was expected, not \"" +
                   std::string(code.substr(0, 40)) + "\"";
        ended_ = true;
        return false;
    }
    code_ = value;
    if (!lines_.next(value_)) {
        d_.notes.push_back("the file ends at line " + std::to_string(lines_.number()) + " without a value");
        ended_ = true;
        return false;
    }
    return true;
}

void Reader::store() {
    if (bookkeeping(code_)) {
        return;
    }
    Group group{};
    group.code = code_;
    if (numericCode(code_)) {
        group.number = parseNumber(value_.data());
    } else {
        group.text = static_cast<uint32_t>(d_.texts.size());
        group.length = static_cast<uint32_t>(value_.size());
        d_.texts += value_;
    }
    d_.groups.push_back(group);
}

uint32_t Reader::kindOf(const std::string &name) {
    auto found = kindIndex_.find(name);
    if (found != kindIndex_.end()) {
        return found->second;
    }
    const auto index = static_cast<uint32_t>(d_.kinds.size());
    d_.kinds.push_back(name);
    kindIndex_.emplace(name, index);
    return index;
}

void Reader::skipSection() {
    while (pair()) {
        if (code_ == 0 && (value_ == "ENDSEC" || value_ == "SECTION" || value_ == "EOF")) {
            return;
        }
    }
}

void Reader::header() {
    while (pair()) {
        if (code_ == 0) {
            if (value_ == "ENDSEC" || value_ == "SECTION" || value_ == "EOF") {
                return;
            }
            continue;
        }
        headerValue();
    }
}

void Reader::headerValue() {
    // Variables: (9, name) then their values. Some writers end the section early and
    // go on with variables; those are read wherever they come.
    if (code_ == 9) {
        variable_ = trim(value_);
    } else if (variable_ == "$DWGCODEPAGE" && code_ == 3) {
        const std::string page = upper(trim(value_));
        const std::size_t digits = page.find_first_of("0123456789");
        if (digits != std::string::npos) {
            d_.codepage = KOR_atoi(page.c_str() + digits);
        }
    } else if (variable_ == "$ACADVER" && code_ == 1) {
        d_.version = trim(value_);
    }
}

void Reader::tables() {
    // Records of the tables: (0, LAYER) or (0, STYLE) and their groups.
    enum { None, LayerRecord, StyleRecord } record = None;
    std::string name;
    Layer layer;
    Style style;
    auto finish = [&] {
        if (record == LayerRecord && !name.empty()) {
            d_.layers[upper(name)] = layer;
        } else if (record == StyleRecord && !name.empty()) {
            d_.styles[upper(name)] = style;
        }
        record = None;
        name.clear();
    };
    while (pair()) {
        if (code_ == 0) {
            finish();
            if (value_ == "ENDSEC" || value_ == "SECTION" || value_ == "EOF") {
                return;
            }
            if (value_ == "LAYER") {
                record = LayerRecord;
                layer = Layer{};
            } else if (value_ == "STYLE") {
                record = StyleRecord;
                style = Style{};
            }
            continue;
        }
        if (record == None) {
            continue;
        }
        const double number = numericCode(code_) ? parseNumber(value_.data()) : 0;
        const int32_t integer = std::isfinite(number) && std::fabs(number) < 2e9 ? static_cast<int32_t>(number) : 0;
        if (code_ == 2) {
            name = trim(value_);
        } else if (record == LayerRecord) {
            if (code_ == 62) {
                layer.off = integer < 0;
                layer.colour = integer == std::numeric_limits<int32_t>::min() ? 7 : std::abs(integer);
            } else if (code_ == 70) {
                layer.frozen = (integer & 1) != 0;
            } else if (code_ == 420) {
                layer.trueColour = integer & 0xFFFFFF;
            }
        } else if (std::isfinite(number)) {
            if (code_ == 40) {
                style.height = number;
            } else if (code_ == 41) {
                style.width = number;
            } else if (code_ == 50) {
                style.oblique = number;
            } else if (code_ == 71) {
                style.flags = integer;
            } else if (code_ == 3) {
                style.font = trim(value_);
            }
        } else if (code_ == 3) {
            style.font = trim(value_);
        }
    }
    finish();
}

void Reader::blocks() {
    // (0, BLOCK), its groups up to the first entity, the entities, (0, ENDBLK).
    while (true) {
        if (code_ == 0 && value_ == "BLOCK") {
            Block block;
            while (pair() && code_ != 0) {
                const double number = numericCode(code_) ? parseNumber(value_.data()) : 0;
                if (code_ == 2 && block.name.empty()) {
                    block.name = trim(value_);
                } else if (code_ >= 10 && code_ <= 30 && code_ % 10 == 0 && std::isfinite(number)) {
                    block.base[code_ / 10 - 1] = number;
                }
            }
            if (ended_) {
                return;
            }
            entities(block.entities, "ENDBLK", false);
            const std::string key = upper(block.name);
            if (!key.empty() && d_.blocks.find(key) == d_.blocks.end()) {
                d_.blocks.emplace(key, std::move(block));
            }
            if (ended_) {
                return;
            }
            if (code_ == 0 && value_ == "ENDBLK") {
                if (!pair()) {
                    return;
                }
            }
            continue;
        }
        if (code_ == 0 && (value_ == "ENDSEC" || value_ == "SECTION" || value_ == "EOF")) {
            return;
        }
        if (!pair()) {
            return;
        }
    }
}

void Reader::entities(std::vector<Entity> &into, const char *end, bool next) {
    bool have = next ? pair() : !ended_;
    while (have) {
        if (code_ != 0) {
            have = pair();
            continue;
        }
        if (value_ == end || value_ == "ENDSEC" || value_ == "EOF" || value_ == "SECTION" || value_ == "BLOCK" ||
            value_ == "ENDBLK") {
            return;
        }
        if (tail_ != nullptr && &into == &d_.entities && meetsTail()) {
            return;
        }
        if (stop_.stop_requested()) {
            ended_ = true;
            return;
        }
        const std::string kind = trim(value_);
        Entity entity{kindOf(kind), static_cast<uint32_t>(d_.groups.size()), 0};
        const bool polyline = kind == "POLYLINE";
        while ((have = pair())) {
            if (code_ == 0) {
                if (polyline && value_ == "VERTEX") {
                    store();
                    continue;
                }
                if (polyline && value_ == "SEQEND") {
                    // The end of the vertices; the entity ends at the next (0, ...).
                    while ((have = pair()) && code_ != 0) {
                    }
                }
                break;
            }
            store();
        }
        entity.count = static_cast<uint32_t>(d_.groups.size()) - entity.first;
        into.push_back(entity);
    }
}

bool Reader::run(std::string &reason) {
    bool sawSection = false;
    bool sawEof = false;
    bool have = pair();
    while (have) {
        if (code_ == 0 && value_ == "EOF") {
            sawEof = true;
            break;
        }
        if (code_ == 0 && value_ == "SECTION") {
            sawSection = true;
            if (!pair()) {
                break;
            }
            const std::string name = code_ == 2 ? upper(trim(value_)) : std::string();
            if (name == "HEADER") {
                header();
            } else if (name == "TABLES") {
                tables();
            } else if (name == "BLOCKS") {
                pair();
                blocks();
            } else if (name == "ENTITIES") {
                entities(d_.entities, "ENDSEC", true);
            } else {
                skipSection();
            }
            if (ended_) {
                break;
            }
            // The section reader stops on ENDSEC, or on the SECTION or EOF of a section left open.
            if (code_ == 0 && (value_ == "SECTION" || value_ == "EOF")) {
                continue;
            }
        } else if (code_ != 0) {
            headerValue();
        }
        have = pair();
    }
    if (!failure_.empty()) {
        reason = failure_;
        return false;
    }
    if (!sawSection) {
        reason = "line " + std::to_string(lines_.number()) + ": no SECTION: not a DXF drawing";
        return false;
    }
    if (!sawEof && !tookTail_) {
        d_.notes.push_back("the file ends at line " + std::to_string(lines_.number()) + " before its EOF");
    }
    return true;
}

bool Reader::meetsTail() {
    // The second reader finds its start within a few lines; should this reader get there first, it waits.
    const int32_t start = tail_->start();
    if (start < 0) {
        tail_ = nullptr;
        return false;
    }
    const int32_t here = lines_.position();
    if (here < start) {
        return false;
    }
    Tail &tail = *tail_;
    tail_ = nullptr;  // met or passed: either way the only chance
    if (here != start || value_ != tail.kind) {
        return false;
    }
    tail.thread.join();
    if (!tail.whole) {
        return false;
    }
    // Offsets into the tail's texts become offsets into the drawing's, and its kinds indices
    // into the drawing's, numbered in the order the entities come. Its groups are kept as the
    // drawing's second part, which its entities then index: they are not copied.
    const auto textBase = static_cast<uint32_t>(d_.texts.size());
    d_.texts += tail.part.texts;
    for (Group &g : tail.part.groups) {
        g.text += g.length != 0 ? textBase : 0;
    }
    d_.secondGroups = std::move(tail.part.groups);
    std::vector<uint32_t> kinds(tail.part.kinds.size());
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        kinds[k] = kindOf(tail.part.kinds[k]);
    }
    d_.entities.reserve(d_.entities.size() + tail.part.entities.size());
    for (Entity e : tail.part.entities) {
        e.kind = kinds[e.kind];
        e.first |= Drawing::kSecondPart;
        d_.entities.push_back(e);
    }
    tail.part = Drawing{};
    d_.readers = 2;
    tookTail_ = true;
    ended_ = true;
    return true;
}

/// A value line that can name an entity: a word of capitals, digits and underscores, none of
/// the markers the entity loop stops at, nor a polyline's own records.
bool entityName(std::string_view name) {
    if (name.empty() || !((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= '0' && name[0] <= '9'))) {
        return false;
    }
    for (char c : name) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) {
            return false;
        }
    }
    for (const char *marker : {"ENDSEC", "EOF", "SECTION", "BLOCK", "ENDBLK", "VERTEX", "SEQEND"}) {
        if (name == marker) {
            return false;
        }
    }
    return true;
}

void Reader::readTail(int32_t from, Tail &tail, std::stop_token stop) {
    stop_ = std::move(stop);
    int32_t start = Tail::kNoStart;
    if (KorSeekFile(lines_.handle(), from, KOR_SEEK_SET) == from) {
        std::string_view line;
        lines_.next(line);  // the end of the line the seek fell into
        bool zero = false;
        for (int i = 0; i < kTailSearchLines && !stop_.stop_requested() && lines_.next(line); ++i) {
            const std::string_view word = trimmed(line);
            if (zero && entityName(word)) {
                tail.kind = std::string(line);
                start = lines_.position();
                code_ = 0;
                value_ = line;
                break;
            }
            zero = word == "0";
        }
    }
    tail.found(start);
    if (start < 0) {
        return;
    }
    entities(d_.entities, "ENDSEC", false);
    // The rest must be what the first reader would pass over: the end of the section, any
    // sections that are skipped, and the EOF.
    if (ended_ || code_ != 0 || value_ != "ENDSEC") {
        return;
    }
    while (pair()) {
        if (code_ == 0 && value_ == "EOF") {
            tail.whole = failure_.empty() && d_.notes.empty();
            return;
        }
        if (code_ != 0 || value_ != "SECTION" || !pair() || code_ != 2) {
            return;
        }
        const std::string name = upper(trim(value_));
        if (name == "HEADER" || name == "TABLES" || name == "BLOCKS" || name == "ENTITIES") {
            return;
        }
        skipSection();
        if (ended_ || value_ != "ENDSEC") {
            return;
        }
    }
}

// Code pages 1250 and 1251 above 0x7F, and 1252 from 0x80 to 0x9F (the rest of 1252 is Latin-1).
constexpr uint16_t k1252[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
constexpr uint16_t k1251[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x98,   0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};
constexpr uint16_t k1250[128] = {
    0x20AC, 0x81,   0x201A, 0x83,   0x201E, 0x2026, 0x2020, 0x2021, 0x88,   0x2030, 0x0160, 0x2039, 0x015A,
    0x0164, 0x017D, 0x0179, 0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x98,   0x2122,
    0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6,
    0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142,
    0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154,
    0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD,
    0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA,
    0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4,
    0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9};

void appendUtf8(std::string &out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool validUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 9;
        if (more == 9 || i + more >= text.size() + (more == 0 ? 1 : 0)) {
            return false;
        }
        for (std::size_t k = 1; k <= more; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += more + 1;
    }
    return true;
}

int hexDigit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

}  // namespace

std::string upper(std::string_view name) {
    std::string out(name);
    for (char &c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

std::string toUtf8(std::string_view text, int32_t codepage) {
    std::string out;
    out.reserve(text.size());
    // Texts written as UTF-8 (R2007 and later) pass through; older ones are in the code page.
    const bool utf8 = validUtf8(text);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\' && i + 6 < text.size() + 0 && (text[i + 1] == 'U' || text[i + 1] == 'u') && text[i + 2] == '+') {
            uint32_t code = 0;
            int k = 0;
            for (; k < 4 && hexDigit(text[i + 3 + static_cast<std::size_t>(k)]) >= 0; ++k) {
                code = code * 16 + static_cast<uint32_t>(hexDigit(text[i + 3 + static_cast<std::size_t>(k)]));
            }
            if (k == 4) {
                appendUtf8(out, code);
                i += 6;
                continue;
            }
        }
        if (c == '%' && i + 2 < text.size() && text[i + 1] == '%') {
            const char e = static_cast<char>(text[i + 2] | 0x20);
            const uint32_t code = e == 'd' ? 0xB0 : e == 'p' ? 0xB1 : e == 'c' ? 0x2300 : 0;
            if (code != 0) {
                appendUtf8(out, code);
                i += 2;
                continue;
            }
            if (e == 'u' || e == 'o' || e == 'k') {
                i += 2;  // underline, overline and strike-through are not drawn
                continue;
            }
            if (text[i + 2] == '%') {
                out += '%';
                i += 2;
                continue;
            }
        }
        if (c < 0x80 || utf8) {
            out += static_cast<char>(c);
        } else if (codepage == 1251) {
            appendUtf8(out, c >= 0xC0 ? 0x0410u + (c - 0xC0u) : k1251[c - 0x80]);
        } else if (codepage == 1250) {
            appendUtf8(out, k1250[c - 0x80]);
        } else {
            appendUtf8(out, c < 0xA0 ? k1252[c - 0x80] : c);
        }
    }
    return out;
}

bool read(const std::string &path, Drawing &drawing, std::string &reason) {
    return read(path, drawing, reason, -1);
}

bool read(const std::string &path, Drawing &drawing, std::string &reason, int32_t tailFrom) {
    drawing = Drawing{};
    // Binary DXF starts with its own sentinel; this reader takes the text form only.
    OpenFile file(path);
    if (file.handle == 0) {
        reason = "cannot be opened";
        return false;
    }
    char head[22] = {};
    const int32_t got = KorReadFile(head, sizeof head, file.handle);
    if (got >= 18 && std::memcmp(head, "AutoCAD Binary DXF", 18) == 0) {
        reason = "binary DXF is not read; save the drawing as ASCII DXF";
        return false;
    }
    // Room for the groups at a little more than the rate of common drawings (a stored group for
    // every 24 bytes or so), so that they are seldom moved while they are read, the whole file's
    // should the second reader's work not be taken. Room not written to takes no memory.
    const int32_t size = KorSeekFile(file.handle, 0, KOR_SEEK_END);
    KorSeekFile(file.handle, 0, KOR_SEEK_SET);
    if (size > 0) {
        drawing.groups.reserve(static_cast<std::size_t>(size) / 20);
    }
    if (tailFrom < 0) {
        tailFrom = size >= kSplitSize ? size / 2 : 0;
    }
    // Declared before the tail, so that the tail's thread is gone before its file is closed.
    std::optional<OpenFile> tailFile;
    std::optional<Tail> tail;
    if (tailFrom > 0 && tailFrom < size && tailFile.emplace(path).handle != 0) {
        try {
            tail.emplace();
            tail->part.groups.reserve(static_cast<std::size_t>(size - tailFrom) / 24);
            tail->thread = std::jthread([&t = *tail, handle = tailFile->handle, tailFrom](std::stop_token stop) {
                try {
                    Reader(handle, t.part).readTail(tailFrom, t, std::move(stop));
                } catch (...) {
                    t.whole = false;  // out of memory: the first reader reads on alone
                }
                if (t.searching()) {
                    t.found(Tail::kNoStart);
                }
            });
        } catch (...) {
            tail.reset();  // no thread: one reader it is
        }
    }
    Reader reader(file.handle, drawing, tail ? &*tail : nullptr);
    const bool ok = reader.run(reason);
    tail.reset();  // stops the second reader if it still runs
    // What was read stays while the page is drawn: keep little spare room. (Where the second
    // reader's groups were taken, the first's room was sized for its half.)
    if (drawing.readers == 1 && drawing.groups.capacity() > drawing.groups.size() + drawing.groups.size() / 4) {
        drawing.groups.shrink_to_fit();
    }
    drawing.texts.shrink_to_fit();
    drawing.entities.shrink_to_fit();
    return ok;
}

}  // namespace vutil::dxf
