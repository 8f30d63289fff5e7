// The demo's drawing file: a header record and entity records, read and written with record descriptors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vutil::tool::drawing {

/// The file is a header followed by `entities` entity records, every field in Intel
/// (little-endian) order with no padding, as the library's record descriptors move them.
/// Header, «C4 I2 L1 D4 D3 D1»: 76 bytes in the file, 80 in memory.
struct Header {
    char magic[4];     ///< "VDRW"
    int16_t version;   ///< 1
    int16_t reserved;  ///< 0
    int32_t entities;  ///< entity records that follow
    double window[4];  ///< the part of the view to show: xmin, ymin, xmax, ymax in view coordinates
    double view[3];    ///< view direction, from the drawing towards the viewer
    double twist;      ///< turn of the view about its direction, radians counter-clockwise
};
inline constexpr const char *kHeaderDescriptor = "C4 I2 L1 D4 D3 D1";
inline constexpr int16_t kVersion = 1;

enum class Kind : int16_t { Line = 1, Polyline = 2, Arc = 3, Text = 4, Region = 5 };
inline constexpr int kKinds = 5;

/// Every entity record begins with this head, «I2 L1»: the kind, a colour of the
/// AutoCAD colour index and a count whose meaning depends on the kind. The body follows:
/// - Line: «D6», the two end points (count 0);
/// - Polyline: count points of «D3»;
/// - Arc: «D7», the centre, the radii along x and y and the start and end angles (count 0);
/// - Text: «D6 L1 C<count>», the insertion point, height, character width, angle, the
///   text flags (those of txt, and kOutlineText) and the count characters of the text (no NUL);
/// - Region: «L1», the distance of its fill lines in pixels, then count points of «D3»
///   (a closed outline: the last point repeats the first).
struct EntityHead {
    int16_t kind;
    int16_t colour;
    int32_t count;
};
inline constexpr const char *kHeadDescriptor = "I2 L1";

/// Text flag: the text is set in the host's outline font (kOutlineFace or the nearest face
/// the host has), or in the stroke font where the host has none. A width of 0 then keeps
/// the face's own proportions.
inline constexpr int32_t kOutlineText = 0x10000;
inline constexpr const char *kOutlineFace = "DejaVu Sans";

struct Point {
    double x, y, z;
};

/// One entity as the demo keeps it in memory.
struct Entity {
    Kind kind = Kind::Line;
    int16_t colour = 7;
    std::vector<Point> points;  ///< line ends, polyline or region outline; arc centre; text insertion point
    double rx = 0, ry = 0, start = 0, end = 0;       ///< arc
    double height = 0, width = 0, angle = 0;         ///< text
    int32_t flags = 0;                               ///< text
    std::string text;                                ///< text
    int32_t spacing = 1;                             ///< region
};

struct Drawing {
    Header header{};
    std::vector<Entity> entities;
};

/// Limits a reader keeps to, so that a damaged file cannot make it allocate without end.
inline constexpr int32_t kMaxEntities = 100000;
inline constexpr int32_t kMaxPoints = 65536;
inline constexpr int32_t kMaxText = 255;

/// The drawing the demo takes along the road: a bracket plate with holes, a slot, a
/// rib in section, dimensions and a title.
Drawing builtin();

/// Writes the drawing through the library's buffered files; false if a record could not be written.
bool write(const std::string &path, const Drawing &drawing);

/// Reads a drawing from an open buffered file; false with the reason when the file is
/// not one or ends early.
bool read(int32_t handle, Drawing &drawing, std::string &reason);

}  // namespace vutil::tool::drawing
