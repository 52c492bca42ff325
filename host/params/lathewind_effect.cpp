#include "params/lathewind_effect.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lwhost {
namespace {

constexpr uint8_t kCurveTag = 1;  // the tag of every curve record the effect makes
constexpr size_t kCurveCountOffset = 1;
constexpr size_t kCurveXOffset = 4;  // after tag, count and two reserved bytes
constexpr size_t kCurveYOffset = kCurveXOffset + kCurveMaxPoints * sizeof(float);

void PutFloat(FlatCurve& bytes, size_t offset, float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  for (size_t i = 0; i < sizeof bits; ++i) {
    bytes[offset + i] = static_cast<uint8_t>(bits >> (8 * i));  // little-endian
  }
}

float GetFloat(std::span<const uint8_t> bytes, size_t offset) {
  uint32_t bits = 0;
  for (size_t i = 0; i < sizeof bits; ++i) {
    bits |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
  }
  float value = 0.0f;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

FlatCurve FlatCurveFromPoints(std::span<const CurvePoint> points) {
  FlatCurve bytes{};  // unused slots and reserved bytes stay zero
  const size_t count = std::min<size_t>(points.size(), kCurveMaxPoints);
  bytes[0] = kCurveTag;
  bytes[kCurveCountOffset] = static_cast<uint8_t>(count);
  for (size_t i = 0; i < count; ++i) {
    PutFloat(bytes, kCurveXOffset + i * sizeof(float), static_cast<float>(points[i].x));
    PutFloat(bytes, kCurveYOffset + i * sizeof(float), static_cast<float>(points[i].y));
  }
  return bytes;
}

std::optional<std::vector<CurvePoint>> CurvePointsFromFlat(std::span<const uint8_t> flat) {
  if (flat.size() != kFlatCurveBytes || flat[0] != kCurveTag ||
      flat[kCurveCountOffset] > kCurveMaxPoints) {
    return std::nullopt;
  }
  std::vector<CurvePoint> points;
  for (size_t i = 0; i < flat[kCurveCountOffset]; ++i) {
    const float x = GetFloat(flat, kCurveXOffset + i * sizeof(float));
    const float y = GetFloat(flat, kCurveYOffset + i * sizeof(float));
    if (!(x >= 0.0f && x <= 1.0f && y >= 0.0f && y <= 1.0f)) {
      return std::nullopt;  // a scene's points are in [0, 1]; NaN fails here too
    }
    points.push_back({x, y});
  }
  // Whatever the effect keeps in the slots it does not use must survive the round trip.
  if (!std::ranges::equal(FlatCurveFromPoints(points), flat)) {
    return std::nullopt;
  }
  return points;
}

}  // namespace lwhost
