// What the host knows about the Lathewind effect in particular, kept in this one place: the label
// of its curve control and of its main mask, and the stored form of the curve value, which scene
// files may write as a list of points. Everything else in the host serves any effect.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace lwhost {

// The mask the ribbon follows: without one (or with one that has no segment) nothing is drawn.
inline constexpr std::string_view kPathLabel = "Path";

// The arbitrary-data parameter holding the width curve, and its custom control.
inline constexpr std::string_view kWidthGraphLabel = "Width Graph";

// The curve value's stored form: tag 1, the point count, two reserved bytes, then the x values
// and the y values as little-endian 32-bit floats, kCurveMaxPoints slots each.
inline constexpr size_t kFlatCurveBytes = 100;
inline constexpr int kCurveMaxPoints = 12;
using FlatCurve = std::array<uint8_t, kFlatCurveBytes>;

struct CurvePoint {
  double x = 0.0;
  double y = 0.0;
};

// The stored form of a list of points (at most kCurveMaxPoints are kept), in list order, every
// unused slot and reserved byte zero. Coordinates are stored as 32-bit floats.
FlatCurve FlatCurveFromPoints(std::span<const CurvePoint> points);

// The points of a stored form, or nullopt when it is not one this host can write back as points
// (another tag, a count above kCurveMaxPoints, a value that is not a finite number in [0, 1],
// or bytes that FlatCurveFromPoints would not give for those points).
std::optional<std::vector<CurvePoint>> CurvePointsFromFlat(std::span<const uint8_t> flat);

}  // namespace lwhost
