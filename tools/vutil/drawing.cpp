// The demo's drawing file: a header record and entity records, read and written with record descriptors.
#include "drawing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "vutil.h"

namespace vutil::tool::drawing {
namespace {

/// The record bodies as they lie in memory, laid out as their descriptors say.
struct LineBody {
    Point from, to;
};
struct ArcBody {
    Point centre;
    double rx, ry, start, end;
};
struct TextBody {
    Point at;
    double height, width, angle;
    int32_t flags;
    char text[kMaxText + 1];
};
constexpr const char *kPointDescriptor = "D3";
constexpr const char *kLineDescriptor = "D6";
constexpr const char *kArcDescriptor = "D7";
constexpr const char *kSpacingDescriptor = "L1";

/// «D6 L1 C<n>»: the text record of n characters.
std::string textDescriptor(int32_t length) {
    return "D6 L1 C" + std::to_string(length);
}

constexpr double kPi = std::numbers::pi;

Entity line(int16_t colour, Point from, Point to) {
    Entity e;
    e.kind = Kind::Line;
    e.colour = colour;
    e.points = {from, to};
    return e;
}

Entity polyline(int16_t colour, std::vector<Point> points) {
    Entity e;
    e.kind = Kind::Polyline;
    e.colour = colour;
    e.points = std::move(points);
    return e;
}

Entity arc(int16_t colour, Point centre, double radius, double start, double end) {
    Entity e;
    e.kind = Kind::Arc;
    e.colour = colour;
    e.points = {centre};
    e.rx = e.ry = radius;
    e.start = start;
    e.end = end;
    return e;
}

Entity text(int16_t colour, Point at, double height, double angle, std::string content, int32_t flags = 0) {
    Entity e;
    e.kind = Kind::Text;
    e.colour = colour;
    e.points = {at};
    e.height = height;
    e.width = (flags & kOutlineText) != 0 ? 0 : height;
    e.angle = angle;
    e.flags = flags;
    e.text = std::move(content);
    return e;
}

Entity region(int16_t colour, int32_t spacing, std::vector<Point> outline) {
    Entity e;
    e.kind = Kind::Region;
    e.colour = colour;
    e.spacing = spacing;
    outline.push_back(outline.front());
    e.points = std::move(outline);
    return e;
}

/// The window a drawing program would save with the view: the whole drawing with a
/// margin of 6 units, except that it stops at `keep` of the drawing's width, so that
/// the right end is cut off and the clipping shows.
void fitWindow(Drawing &d, double keep) {
    hmatrix view{};
    create_vmatrix(&view, d.header.view[0], d.header.view[1], d.header.view[2], d.header.twist);
    double low[2] = {1e300, 1e300}, high[2] = {-1e300, -1e300};
    auto take = [&](double x, double y, double z) {
        double v[3] = {x, y, z};
        mult_hmatrix_v(&view, v);
        for (int axis = 0; axis < 2; ++axis) {
            low[axis] = std::min(low[axis], v[axis]);
            high[axis] = std::max(high[axis], v[axis]);
        }
    };
    for (const Entity &e : d.entities) {
        const Point &p = e.points[0];
        if (e.kind == Kind::Arc) {
            for (int k = 0; k < 36; ++k) {
                take(p.x + e.rx * std::cos(k * kPi / 18), p.y + e.ry * std::sin(k * kPi / 18), p.z);
            }
        } else if (e.kind == Kind::Text) {
            take(p.x + (e.width > 0 ? e.width : e.height) * static_cast<double>(e.text.size()), p.y + e.height, p.z);
        }
        for (const Point &q : e.points) {
            take(q.x, q.y, q.z);
        }
    }
    const double window[4] = {low[0] - 6, low[1] - 6, low[0] + keep * (high[0] - low[0]), high[1] + 6};
    std::memcpy(d.header.window, window, sizeof window);
}

bool readPoints(int32_t handle, int32_t count, std::vector<Point> &points) {
    points.resize(static_cast<std::size_t>(count));
    for (Point &point : points) {
        if (KorReadIntelStruct(&point, sizeof point, handle, kPointDescriptor) == 0) {
            return false;
        }
    }
    return true;
}

bool writePoints(int32_t handle, const std::vector<Point> &points) {
    for (const Point &point : points) {
        if (KorWriteIntelStruct(handle, &point, sizeof point, kPointDescriptor) == 0) {
            return false;
        }
    }
    return true;
}

/// Reads a body of fixed layout and, when all of it is there, hands it to `take`.
template <class Body, class Take>
bool readFixed(int32_t handle, const char *descriptor, Take take) {
    Body body{};
    if (KorReadIntelStruct(&body, sizeof body, handle, descriptor) == 0) {
        return false;
    }
    take(body);
    return true;
}

/// Reads the body of one entity whose head has been read and checked.
bool readBody(int32_t handle, const EntityHead &head, Entity &entity) {
    switch (static_cast<Kind>(head.kind)) {
        case Kind::Line:
            return readFixed<LineBody>(handle, kLineDescriptor,
                                       [&](const LineBody &line) { entity.points = {line.from, line.to}; });
        case Kind::Polyline:
            return readPoints(handle, head.count, entity.points);
        case Kind::Arc:
            return readFixed<ArcBody>(handle, kArcDescriptor, [&](const ArcBody &arc) {
                entity.points = {arc.centre};
                entity.rx = arc.rx;
                entity.ry = arc.ry;
                entity.start = arc.start;
                entity.end = arc.end;
            });
        case Kind::Text:
            return readFixed<TextBody>(handle, textDescriptor(head.count).c_str(), [&](const TextBody &text) {
                entity.points = {text.at};
                entity.height = text.height;
                entity.width = text.width;
                entity.angle = text.angle;
                entity.flags = text.flags;
                entity.text.assign(text.text, static_cast<std::size_t>(head.count));
            });
        case Kind::Region:
            return KorReadIntelStruct(&entity.spacing, sizeof entity.spacing, handle, kSpacingDescriptor) != 0 &&
                   readPoints(handle, head.count, entity.points);
    }
    return false;
}

/// The count a head may carry for its kind, so that a damaged file is refused before
/// anything is allocated for it.
bool countFits(const EntityHead &head) {
    switch (static_cast<Kind>(head.kind)) {
        case Kind::Line:
        case Kind::Arc:
            return head.count == 0;
        case Kind::Polyline:
            return head.count >= 2 && head.count <= kMaxPoints;
        case Kind::Text:
            return head.count >= 0 && head.count <= kMaxText;
        case Kind::Region:
            return head.count >= 4 && head.count <= kMaxPoints;
    }
    return false;
}

}  // namespace

Drawing builtin() {
    Drawing d;
    std::memcpy(d.header.magic, "VDRW", 4);
    d.header.version = kVersion;
    // A view from the front and above, turned a little about the line of sight.
    const double view[3] = {0.0, -0.6, 1.0};
    std::memcpy(d.header.view, view, sizeof view);
    d.header.twist = 0.1;

    constexpr int16_t kOutline = 5, kHole = 1, kCentre = 8, kRib = 30, kDimension = 3, kTitle = 6, kBoss = 140;
    auto &e = d.entities;
    // The plate, 160 x 100 with corners of radius 10.
    e.push_back(line(kOutline, {10, 0, 0}, {150, 0, 0}));
    e.push_back(line(kOutline, {160, 10, 0}, {160, 90, 0}));
    e.push_back(line(kOutline, {150, 100, 0}, {10, 100, 0}));
    e.push_back(line(kOutline, {0, 90, 0}, {0, 10, 0}));
    e.push_back(arc(kOutline, {150, 10, 0}, 10, -kPi / 2, 0));
    e.push_back(arc(kOutline, {150, 90, 0}, 10, 0, kPi / 2));
    e.push_back(arc(kOutline, {10, 90, 0}, 10, kPi / 2, kPi));
    e.push_back(arc(kOutline, {10, 10, 0}, 10, kPi, 1.5 * kPi));
    // Four holes, the bore and the raised boss around it.
    for (const Point &centre : {Point{20, 20, 0}, Point{140, 20, 0}, Point{140, 80, 0}, Point{20, 80, 0}}) {
        e.push_back(arc(kHole, centre, 6, 0, 2 * kPi));
    }
    e.push_back(arc(kHole, {70, 50, 12}, 22, 0, 2 * kPi));
    e.push_back(arc(kBoss, {70, 50, 12}, 30, 0, 2 * kPi));
    e.push_back(arc(kBoss, {70, 50, 0}, 30, kPi, 2 * kPi));
    e.push_back(line(kBoss, {40, 50, 0}, {40, 50, 12}));
    e.push_back(line(kBoss, {100, 50, 0}, {100, 50, 12}));
    // A slot with rounded ends.
    e.push_back(polyline(kOutline, {{110, 45, 0}, {130, 45, 0}}));
    e.push_back(polyline(kOutline, {{130, 55, 0}, {110, 55, 0}}));
    e.push_back(arc(kOutline, {130, 50, 0}, 5, -kPi / 2, kPi / 2));
    e.push_back(arc(kOutline, {110, 50, 0}, 5, kPi / 2, 1.5 * kPi));
    // Centre lines, running past the plate (and the window).
    e.push_back(line(kCentre, {-15, 50, 0}, {190, 50, 0}));
    e.push_back(line(kCentre, {70, -8, 0}, {70, 108, 0}));
    // A rib seen in section, its outline and its hatch, and a solid marker on the
    // centre line across the plate's end.
    e.push_back(polyline(kRib, {{100, 66, 0}, {124, 66, 0}, {130, 92, 0}, {100, 92, 0}, {100, 66, 0}}));
    e.push_back(region(kRib, 5, {{100, 66, 0}, {124, 66, 0}, {130, 92, 0}, {100, 92, 0}}));
    e.push_back(region(kRib, 1, {{152, 50, 0}, {174, 42, 0}, {174, 58, 0}}));
    // The length dimension: extension lines, the dimension line, its arrows and its value.
    e.push_back(line(kDimension, {0, -2, 0}, {0, -20, 0}));
    e.push_back(line(kDimension, {160, -2, 0}, {160, -20, 0}));
    e.push_back(polyline(kDimension, {{0, -16, 0}, {160, -16, 0}}));
    e.push_back(region(kDimension, 1, {{0, -16, 0}, {8, -18, 0}, {8, -14, 0}}));
    e.push_back(region(kDimension, 1, {{160, -16, 0}, {152, -14, 0}, {152, -18, 0}}));
    e.push_back(text(kDimension, {72, -13, 0}, 5, 0, "160"));
    e.push_back(text(kDimension, {8, 28, 0}, 4, 0, "4x %%c12"));
    e.push_back(text(kTitle, {0, -30, 0}, 7, 0, "BRACKET PLATE  1:1", kOutlineText));
    d.header.entities = static_cast<int32_t>(e.size());
    fitWindow(d, 0.84);
    return d;
}

bool write(const std::string &path, const Drawing &drawing) {
    int32_t handle = 0;
    if (KorOpenFile(path.c_str(), &handle, KOR_OPEN_CREATE | KOR_OPEN_WRITE) != 1) {
        return false;
    }
    bool written = KorWriteIntelStruct(handle, &drawing.header, sizeof drawing.header, kHeaderDescriptor) != 0;
    for (const Entity &entity : drawing.entities) {
        if (!written) {
            break;
        }
        EntityHead head{static_cast<int16_t>(entity.kind), entity.colour, 0};
        if (entity.kind == Kind::Polyline || entity.kind == Kind::Region) {
            head.count = static_cast<int32_t>(entity.points.size());
        } else if (entity.kind == Kind::Text) {
            head.count = static_cast<int32_t>(std::min<std::size_t>(entity.text.size(), kMaxText));
        }
        written = KorWriteIntelStruct(handle, &head, sizeof head, kHeadDescriptor) != 0;
        switch (entity.kind) {
            case Kind::Line: {
                const LineBody body{entity.points[0], entity.points[1]};
                written = written && KorWriteIntelStruct(handle, &body, sizeof body, kLineDescriptor) != 0;
                break;
            }
            case Kind::Polyline:
                written = written && writePoints(handle, entity.points);
                break;
            case Kind::Arc: {
                const ArcBody body{entity.points[0], entity.rx, entity.ry, entity.start, entity.end};
                written = written && KorWriteIntelStruct(handle, &body, sizeof body, kArcDescriptor) != 0;
                break;
            }
            case Kind::Text: {
                TextBody body{entity.points[0], entity.height, entity.width, entity.angle, entity.flags, {}};
                std::memcpy(body.text, entity.text.data(), static_cast<std::size_t>(head.count));
                const std::string descriptor = textDescriptor(head.count);
                written = written && KorWriteIntelStruct(handle, &body, sizeof body, descriptor.c_str()) != 0;
                break;
            }
            case Kind::Region:
                written = written &&
                          KorWriteIntelStruct(handle, &entity.spacing, sizeof entity.spacing, kSpacingDescriptor) != 0 &&
                          writePoints(handle, entity.points);
                break;
        }
    }
    return KorCloseFile(handle) == 1 && written;
}

bool read(int32_t handle, Drawing &drawing, std::string &reason) {
    Header &header = drawing.header;
    if (KorReadIntelStruct(&header, sizeof header, handle, kHeaderDescriptor) == 0 ||
        std::memcmp(header.magic, "VDRW", 4) != 0) {
        reason = "not a drawing (no VDRW header)";
        return false;
    }
    if (header.version != kVersion || header.entities < 0 || header.entities > kMaxEntities) {
        reason = "a drawing of version " + std::to_string(header.version) + " with " +
                 std::to_string(header.entities) + " entities, which this reader does not take";
        return false;
    }
    drawing.entities.clear();
    for (int32_t i = 0; i < header.entities; ++i) {
        EntityHead head{};
        if (KorReadIntelStruct(&head, sizeof head, handle, kHeadDescriptor) == 0) {
            reason = "the file ends before entity " + std::to_string(i);
            return false;
        }
        if (head.kind < 1 || head.kind > kKinds || !countFits(head)) {
            reason = "entity " + std::to_string(i) + " has kind " + std::to_string(head.kind) + " and count " +
                     std::to_string(head.count) + ", which do not go together";
            return false;
        }
        Entity entity;
        entity.kind = static_cast<Kind>(head.kind);
        entity.colour = head.colour;
        if (!readBody(handle, head, entity)) {
            reason = "the file ends inside entity " + std::to_string(i);
            return false;
        }
        drawing.entities.push_back(std::move(entity));
    }
    return true;
}

}  // namespace vutil::tool::drawing
