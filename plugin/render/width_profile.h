// The width profile: a second mask, read as a graph drawn in the layer, turned into a table of
// width factors along the ribbon. Its horizontal extent is split into bins; height gives the
// factor, 1 at the mask's highest point (smallest y) and 0 at its lowest.
#pragma once

#include <vector>

#include "ae_basic_types.h"
#include "render/render_host.h"

namespace lwd {

constexpr int kWidthProfileBins = 256;
constexpr int kWidthProfileSamples = 1024;  // points sampled along the mask per frame

// Reduces sampled mask points to the profile: kWidthProfileBins entries in [0, 1], with bins that
// no sample fell into filled from their neighbours. Leaves the profile empty when the points have
// no horizontal extent (a vertical line) or there are none.
void ReduceWidthProfile(const double* xs, const double* ys, int count,
                        std::vector<double>& profile);

// Samples the exact spine of the profile mask, `length` px long, at kWidthProfileSamples evenly
// spaced points and reduces them. An empty profile with result 0 is a normal outcome; a failed
// evaluation leaves it empty and is returned.
PF_Err SampleWidthProfile(LWD_RenderHost& mask, double length, std::vector<double>& profile);

}  // namespace lwd
