// A DXF drawing as the viewer keeps it: the group-code stream of every entity (but for the
// handles, subclass markers and owner links, which drawing never needs), and the tables,
// blocks and header values that drawing them needs.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vutil::dxf {

/// One group of the file: its code and its value, a number for the numeric codes (NaN
/// when the value is not a number), else a text (an offset into Drawing::texts).
struct Group {
    int32_t code;
    uint32_t length;  ///< of the text; 0 for a number
    union {
        double number;
        uint32_t text;
    };
};

/// An entity: its kind and the range of its groups. A POLYLINE holds its VERTEX
/// records as groups too, each behind a group (0, "VERTEX").
struct Entity {
    uint32_t kind;   ///< index into Drawing::kinds
    uint32_t first;  ///< first group
    uint32_t count;  ///< groups
};

struct Block {
    std::string name;
    double base[3] = {0, 0, 0};
    std::vector<Entity> entities;
};

struct Layer {
    int32_t colour = 7;       ///< colour index, always positive
    int32_t trueColour = -1;  ///< 0xRRGGBB from group 420, or -1
    bool off = false;
    bool frozen = false;
};

struct Style {
    double height = 0;
    double width = 1;
    double oblique = 0;  ///< degrees
    int32_t flags = 0;   ///< text generation flags (2 backward, 4 upside down)
    std::string font;    ///< the font file named by the style
};

struct Drawing {
    /// Entity::first with this bit set indexes secondGroups.
    static constexpr uint32_t kSecondPart = uint32_t{1} << 31;

    std::vector<Group> groups;
    /// The groups of a large file's second half, as its second reader read them (see read()).
    std::vector<Group> secondGroups;
    std::string texts;               ///< the text of every group, one after another
    std::vector<std::string> kinds;  ///< entity kind names, indexed by Entity::kind
    std::vector<Entity> entities;    ///< model space
    std::unordered_map<std::string, Block> blocks;  ///< by upper-case name
    std::unordered_map<std::string, Layer> layers;
    std::unordered_map<std::string, Style> styles;
    int32_t codepage = 1252;  ///< the Windows code page of the drawing's texts
    std::string version;      ///< $ACADVER
    std::vector<std::string> notes;  ///< what the reader tolerated, for the user
    int readers = 1;                 ///< the readers whose work it holds: 2 when a large file was read in two

    /// The first of an entity's groups.
    const Group *groupsOf(const Entity &e) const {
        return (e.first & kSecondPart) != 0 ? secondGroups.data() + (e.first & ~kSecondPart) : groups.data() + e.first;
    }
    std::string_view text(const Group &group) const {
        return group.length == 0 ? std::string_view() : std::string_view(texts.data() + group.text, group.length);
    }
};

/// Reads a DXF file through the library's buffered files. False with a reason naming
/// the line when the file cannot be read as DXF; damage it can read past (a missing
/// end, unknown sections, an unfinished entity) is put in Drawing::notes instead.
bool read(const std::string &path, Drawing &drawing, std::string &reason);
/// read() with the second of its two readers starting at byte tailFrom of the file (by
/// itself it starts one at the middle of a large file): 0 reads with one alone.
bool read(const std::string &path, Drawing &drawing, std::string &reason, int32_t tailFrom);

/// Upper-cases an ASCII name, as the drawing's tables key them.
std::string upper(std::string_view name);

/// Turns a text of the drawing (in its code page, with \U+XXXX and %%-escapes) into UTF-8.
std::string toUtf8(std::string_view text, int32_t codepage);

}  // namespace vutil::dxf
