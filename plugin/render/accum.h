// The accumulation buffers of a render: weighted color points are splatted into cells at
// sub-pixel positions, and each cell is later normalised and composited over the output world.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "ae_effect.h"

namespace lwd {

// One cell: sums of color x tap weight, and of the tap weights. Red, green, blue, alpha is our
// order, not the host's (which puts alpha first).
struct LWD_Accum {
  float r;
  float g;
  float b;
  float a;
  float weight;
};

// A color inside the renderer: premultiplied, as the host stores it, each channel in 0..1.
struct LWD_Color {
  float red;
  float green;
  float blue;
  float alpha;
};

// The cells of one accumulation buffer. A fresh buffer comes zeroed from the allocator (calloc),
// so pages the ribbon never reaches are neither written nor, for large buffers, even touched.
// Dropping a buffer frees it; ReleaseAccum may keep it for the next render instead.
class LWD_AccumBuffer {
 public:
  LWD_Accum* data() { return cells_.get(); }
  const LWD_Accum* data() const { return cells_.get(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void reset() {
    cells_.reset();
    size_ = 0;
    capacity_ = 0;
  }

 private:
  friend PF_Err AllocateAccum(std::int64_t width, std::int64_t height, LWD_AccumBuffer& cells);
  friend void ReleaseAccum(LWD_AccumBuffer& cells, bool zeroed);
  struct Free {
    void operator()(LWD_Accum* p) const { std::free(p); }
  };
  std::unique_ptr<LWD_Accum, Free> cells_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;  // cells allocated; all of them zero whenever the buffer is kept
};

// Makes `cells` width x height zeroed cells: a buffer kept from an earlier render when one is
// large enough, otherwise a fresh allocation. Returns PF_Err_OUT_OF_MEMORY without allocating
// when the count cannot be held by an array, and when the allocation fails.
PF_Err AllocateAccum(std::int64_t width, std::int64_t height, LWD_AccumBuffer& cells);

// Gives `cells` up. When `zeroed` (every cell is zero again) the buffer may be kept for a later
// render of the same or a smaller box: a frame then costs no fresh, page-faulted allocation.
// Otherwise, or when enough is kept already, it is freed.
void ReleaseAccum(LWD_AccumBuffer& cells, bool zeroed);

// Frees every buffer kept for later renders.
void DrainAccumPool();

// Spreads one point of `weight` over the four cells around (x, y), output pixel coordinates with
// pixel centres at integer + 0.5. The buffer covers the box (x0, y0, w, h); taps outside it are
// dropped. A non-finite point, or one too far away for a 32-bit pixel index, is dropped whole.
void SplatBilinear(LWD_Accum* buffer, std::int32_t x0, std::int32_t y0, std::int32_t w,
                   std::int32_t h, double x, double y, const LWD_Color& color, double weight);

// Normalises each cell of the box's buffer, applies opacity and composites it premultiplied
// "over" the output world, at 8 bits (full scale 255) or 16 bits (full scale 32768) per channel.
// Cells that fall outside the world are skipped.
void ResolveAccum(const LWD_Accum* buffer, std::int32_t x0, std::int32_t y0, std::int32_t w,
                  std::int32_t h, PF_EffectWorld* output, double opacity, bool deepColor);

}  // namespace lwd
