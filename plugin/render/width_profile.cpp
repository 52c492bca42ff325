#include "render/width_profile.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace lwd {

namespace {

constexpr double kMinExtent = 1e-6;  // a mask narrower or flatter than this has no extent
constexpr double kNoData = -1.0;     // marks a bin no sample fell into, while filling

}  // namespace

void ReduceWidthProfile(const double* xs, const double* ys, int count,
                        std::vector<double>& profile) {
  profile.clear();
  if (count <= 0) {
    return;
  }
  double minX = xs[0];
  double maxX = xs[0];
  double minY = ys[0];
  double maxY = ys[0];
  for (int i = 1; i < count; ++i) {
    minX = std::min(minX, xs[i]);
    maxX = std::max(maxX, xs[i]);
    minY = std::min(minY, ys[i]);
    maxY = std::max(maxY, ys[i]);
  }
  const double rangeX = maxX - minX;
  if (!(rangeX > kMinExtent)) {
    return;
  }
  const double rangeY = maxY - minY;

  // Bins follow x, not the drawing direction; height is the factor.
  std::array<double, kWidthProfileBins> binSum{};
  std::array<std::int32_t, kWidthProfileBins> binCount{};
  for (int i = 0; i < count; ++i) {
    const double position = ((xs[i] - minX) / rangeX) * (kWidthProfileBins - 1) + 0.5;
    int b = position > 0.0 ? static_cast<int>(std::min(position, double{kWidthProfileBins})) : 0;
    b = std::clamp(b, 0, kWidthProfileBins - 1);
    const double v = rangeY > kMinExtent ? (maxY - ys[i]) / rangeY : 1.0;
    binSum[b] += v;
    binCount[b] += 1;
  }

  profile.assign(kWidthProfileBins, kNoData);
  int first = -1;
  int last = -1;
  for (int b = 0; b < kWidthProfileBins; ++b) {
    if (binCount[b] > 0) {
      profile[b] = binSum[b] / binCount[b];
      if (first < 0) {
        first = b;
      }
      last = b;
    }
  }
  if (first < 0) {
    profile.clear();
    return;
  }
  for (int b = 0; b < first; ++b) {
    profile[b] = profile[first];
  }
  for (int b = last + 1; b < kWidthProfileBins; ++b) {
    profile[b] = profile[last];
  }
  // Runs of empty bins between two filled ones: linear from the left value to the right one.
  for (int g = first + 1; g < last;) {
    if (profile[g] >= 0.0) {
      ++g;
      continue;
    }
    int n = 0;
    while (profile[g + n] < 0.0) {
      ++n;
    }
    const double p = profile[g - 1];
    const double q = profile[g + n];
    for (int k = 0; k < n; ++k) {
      profile[g + k] = p + (k + 1) * (q - p) / (n + 1);
    }
    g += n;
  }
}

PF_Err SampleWidthProfile(LWD_RenderHost& mask, double length, std::vector<double>& profile) {
  profile.clear();
  std::vector<double> xs(kWidthProfileSamples);
  std::vector<double> ys(kWidthProfileSamples);
  for (int i = 0; i < kWidthProfileSamples; ++i) {
    const double s = std::min(std::max(i * length / (kWidthProfileSamples - 1), 0.0), length);
    LWD_SpinePosition spine;
    if (const PF_Err err = mask.EvalSpine(s, &spine); err != PF_Err_NONE) {
      return err;
    }
    xs[i] = spine.x;
    ys[i] = spine.y;
  }
  ReduceWidthProfile(xs.data(), ys.data(), kWidthProfileSamples, profile);
  return PF_Err_NONE;
}

}  // namespace lwd
