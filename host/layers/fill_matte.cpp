#include "layers/fill_matte.h"

#include <algorithm>
#include <cstdint>

#include "ae_effect_suites.h"
#include "core/command_context.h"
#include "core/session.h"

namespace lwhost {

namespace {

// A colour in the world's own channel values, alpha first.
struct WorldColor {
  uint32_t alpha, red, green, blue;
};

// c x to / from, rounded: the same channel value on another full scale.
uint32_t Rescale(uint32_t c, uint32_t from, uint32_t to) {
  return static_cast<uint32_t>((2 * uint64_t{c} * to + from) / (2 * uint64_t{from}));
}

PF_Err FillWorld(PF_ProgPtr effect_ref, const char* site, const WorldColor& color, bool colorDeep,
                 const PF_Rect* rect, PF_EffectWorld* world) {
  CommandContext* context = ContextFromEffectRef(effect_ref);
  if (context == nullptr || world == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (PF_Err err = context->GetSession().faults.Check(site); err != PF_Err_NONE) {
    return err;
  }
  if (world->data == nullptr || world->width <= 0 || world->height <= 0) {
    return PF_Err_NONE;  // nothing to fill
  }
  const bool deep = (world->world_flags & PF_WorldFlag_DEEP) != 0;
  const uint32_t from = colorDeep ? PF_MAX_CHAN16 : PF_MAX_CHAN8;
  const uint32_t to = deep ? PF_MAX_CHAN16 : PF_MAX_CHAN8;
  const WorldColor c = {Rescale(color.alpha, from, to), Rescale(color.red, from, to),
                        Rescale(color.green, from, to), Rescale(color.blue, from, to)};

  A_long left = 0, top = 0, right = world->width, bottom = world->height;
  if (rect != nullptr) {
    left = std::max<A_long>(left, rect->left);
    top = std::max<A_long>(top, rect->top);
    right = std::min<A_long>(right, rect->right);
    bottom = std::min<A_long>(bottom, rect->bottom);
  }
  auto* base = reinterpret_cast<unsigned char*>(world->data);
  for (A_long y = top; y < bottom; ++y) {
    unsigned char* row = base + static_cast<std::ptrdiff_t>(y) * world->rowbytes;
    for (A_long x = left; x < right; ++x) {
      if (deep) {
        reinterpret_cast<PF_Pixel16*>(row)[x] = {
            static_cast<A_u_short>(c.alpha), static_cast<A_u_short>(c.red),
            static_cast<A_u_short>(c.green), static_cast<A_u_short>(c.blue)};
      } else {
        reinterpret_cast<PF_Pixel*>(row)[x] = {
            static_cast<A_u_char>(c.alpha), static_cast<A_u_char>(c.red),
            static_cast<A_u_char>(c.green), static_cast<A_u_char>(c.blue)};
      }
    }
  }
  return PF_Err_NONE;
}

PF_Err Fill(PF_ProgPtr effect_ref, const PF_Pixel* color, const PF_Rect* dst_rect,
            PF_EffectWorld* world) {
  if (color == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  return FillWorld(effect_ref, "fill", {color->alpha, color->red, color->green, color->blue}, false,
                   dst_rect, world);
}

PF_Err Fill16(PF_ProgPtr effect_ref, const PF_Pixel16* color, const PF_Rect* dst_rect,
              PF_EffectWorld* world) {
  if (color == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  // Values above full scale are not colours; keep them in range before rescaling.
  const auto clamp = [](A_u_short v) { return std::min<uint32_t>(v, PF_MAX_CHAN16); };
  return FillWorld(
      effect_ref, "fill16",
      {clamp(color->alpha), clamp(color->red), clamp(color->green), clamp(color->blue)}, true,
      dst_rect, world);
}

const PF_FillMatteSuite2 kFillMatteSuite = {Fill, Fill16};

}  // namespace

void RegisterFillMatteSuite(Session& session) {
  session.RegisterSuite(kPFFillMatteSuite, kPFFillMatteSuiteVersion2, &kFillMatteSuite);
}

}  // namespace lwhost
