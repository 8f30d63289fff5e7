// View matrices: a rotation with an offset, a twist about one axis, and the world-to-view frame of a direction.
#include "geometry/view_matrix.h"

#include <cmath>

#include "geometry/matrix.h"
#include "vutil/runtime.h"

namespace vutil::geometry {
namespace {

/// Directions and axes shorter than this in a component count as zero in that component.
constexpr double kTiny = 1e-12;
/// The arbitrary axis threshold: a normal this close to the z axis takes its x axis from world y.
constexpr double kArbitraryAxisLimit = 0.015625;
/// Components are clamped to this magnitude before the direction is normalised.
constexpr double kDirectionLimit = 1000000.0;

bool tiny(double value) noexcept {
    return std::fabs(value) < kTiny;
}

double clampComponent(double value) noexcept {
    if (value < -kDirectionLimit) {
        return -kDirectionLimit;
    }
    if (value > kDirectionLimit) {
        return kDirectionLimit;
    }
    return value;
}

/// The divisor that normalises a vector of squared length sum; 0 when the sum is not positive.
double lengthOf(double sum) noexcept {
    return sum > 0.0 ? std::sqrt(sum) : 0.0;
}

/// True when a normal just off +z, leaning into the first quadrant, keeps the world-z rule rather
/// than switching to world y: this keeps the x axis of such views continuous with the ones beyond
/// the arbitrary axis threshold.
bool keepsWorldZRule(double nx, double ny, double nz) noexcept {
    if (!((std::fabs(nx) > kTiny || std::fabs(ny) > kTiny) && std::fabs(nz - 1.0) < 0.0001)) {
        return false;
    }
    const double r1 = std::fabs(nx) > kTiny ? std::fabs(ny / nx) : 0.0;
    const double r2 = std::fabs(ny) > kTiny ? std::fabs(nx / ny) : 0.0;
    if (!(r1 > 1.0 || r2 > 1.0)) {
        return false;
    }
    if (!((nz - 1.0) * (nz - 1.0) < 1e-12)) {
        return false;
    }
    if (!(std::fabs(r1 - r2) > 0.0001)) {
        return false;
    }
    return nx > 0.0 && ny > 0.0;
}

}  // namespace

void buildViewMatrix(hmatrix &out, std::span<const double, 9> r, double tx, double ty, double tz) noexcept {
    auto &m = out.m;
    const double offset[3] = {tx, ty, tz};
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t column = 0; column < 3; ++column) {
            m[row][column] = r[row * 3 + column];
        }
        m[row][3] = offset[row];
    }
    m[3][0] = 0.0;
    m[3][1] = 0.0;
    m[3][2] = 0.0;
    m[3][3] = 1.0;

    int32_t flags = 0;
    if (nearZero(r[3]) && nearZero(r[6]) && nearZero(r[1]) && nearZero(r[7]) && nearZero(r[2]) && nearZero(r[5])) {
        if (nearOne(r[0]) && nearOne(r[4]) && nearOne(r[8]) && nearZero(tx) && nearZero(ty) && nearZero(tz)) {
            flags = HM_UNIT;
        } else {
            flags |= HM_DIAGONAL;
        }
    }
    if (nearZero(r[6]) && nearZero(r[7]) && nearZero(r[2]) && nearZero(r[5]) && nearOne(r[8])) {
        flags |= HM_PLANAR;
    }
    out.flags = flags;
}

void buildTwistMatrix(hmatrix &out, double ax, double ay, double az) noexcept {
    double r[9] = {1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
    double s = 0.0;
    double c = 0.0;
    if (ax != 0.0) {
        KOR_SinCos(ax, &s, &c);
        r[4] = c;
        r[5] = -s;
        r[7] = s;
        r[8] = c;
    } else if (ay != 0.0) {
        KOR_SinCos(ay, &s, &c);
        r[0] = c;
        r[2] = s;
        r[6] = -s;
        r[8] = c;
    } else if (az != 0.0) {
        KOR_SinCos(az, &s, &c);
        r[0] = c;
        r[1] = -s;
        r[3] = s;
        r[4] = c;
    }
    buildViewMatrix(out, r, 0.0, 0.0, 0.0);
}

void buildWorldToView(hmatrix &out, double dx, double dy, double dz, double twist) noexcept {
    dx = clampComponent(dx);
    dy = clampComponent(dy);
    dz = clampComponent(dz);
    if (tiny(dx) && tiny(dy)) {
        if (tiny(dz - 1.0)) {
            dx = 0.0;
            dy = 0.0;
            dz = 1.0;
        } else if (tiny(dz + 1.0)) {
            dx = 0.0;
            dy = 0.0;
            dz = -1.0;
        }
    }
    if (tiny(dx) && tiny(dy) && tiny(dz)) {
        dx = 0.0;
        dy = 0.0;
        dz = 1.0;
    }
    const double length = lengthOf(dx * dx + dy * dy + dz * dz);
    const double nx = dx / length;
    const double ny = dy / length;
    const double nz = dz / length;

    // The view's x axis: world z cross N, or world y cross N for normals near the z axis.
    double ax;
    double ay;
    double az;
    if (std::fabs(nx) >= kArbitraryAxisLimit || std::fabs(ny) >= kArbitraryAxisLimit || keepsWorldZRule(nx, ny, nz)) {
        ax = -ny;
        ay = nx;
        az = 0.0;
    } else {
        ax = nz;
        ay = 0.0;
        az = -nx;
    }
    if (tiny(ax) && tiny(ay) && tiny(az)) {
        ax = 1.0;
        ay = 0.0;
        az = 0.0;
    }
    const double axisLength = lengthOf(ax * ax + ay * ay + az * az);
    ax = ax / axisLength;
    ay = ay / axisLength;
    az = az / axisLength;

    // The view's y axis completes the right-handed frame.
    const double bx = ny * az - nz * ay;
    const double by = nz * ax - nx * az;
    const double bz = nx * ay - ny * ax;

    hmatrix view{};
    const double rows[3][3] = {{ax, ay, az}, {bx, by, bz}, {nx, ny, nz}};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            view.m[row][column] = rows[row][column];
        }
        view.m[row][3] = 0.0;
    }
    view.m[3][3] = 1.0;
    view.flags = (tiny(nx) && tiny(ny) && tiny(nz - 1.0)) ? HM_UNIT : 0;

    if (twist > 0.0) {
        hmatrix turn;
        buildTwistMatrix(turn, 0.0, 0.0, twist);
        multiply(out, turn, view);
    } else {
        out = view;
    }
}

}  // namespace vutil::geometry
