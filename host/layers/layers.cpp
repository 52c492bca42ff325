#include "layers/layers.h"

#include <iostream>
#include <list>
#include <stdexcept>
#include <string>
#include <utility>

#include "core/command_context.h"
#include "core/session.h"
#include "media/frame_cache.h"
#include "params/param_store.h"
#include "scenes/scene.h"

namespace lwhost {

namespace {

// One checkout in flight. Its address is written into the lent record's reserved0, so that the
// check-in finds the checkout whatever copy of the record the effect hands back.
struct LentLayer {
  PF_ParamIndex index = 0;
  int32_t layerId = 0;
  std::shared_ptr<Image> keep;  // a moving layer's frame, alive until checked in
};

// The checkouts of one command; a list so that addresses stay put.
using LentLayers = std::list<LentLayer>;
constexpr const char* kLentAttachment = "layer checkouts";

std::string CheckoutKey(const LentLayer& lent) {
  return "param " + std::to_string(lent.index) + " layer " + std::to_string(lent.layerId) + " at " +
         AddressKey(&lent);
}

}  // namespace

LayerStore::LayerStore(int bitDepth) : bitDepth_(bitDepth) {
  if (bitDepth != 8 && bitDepth != 16) {
    throw std::invalid_argument("layer store: bit depth " + std::to_string(bitDepth));
  }
}

LayerStore::~LayerStore() = default;

void LayerStore::SetImage(int32_t id, Image fullResolution) {
  if (id == 0) {
    throw std::invalid_argument("layer id 0 is reserved for \"no layer\"");
  }
  if (fullResolution.bitDepth != bitDepth_) {
    throw std::invalid_argument("layer " + std::to_string(id) + " has " +
                                std::to_string(fullResolution.bitDepth) + " bits, the store " +
                                std::to_string(bitDepth_));
  }
  std::lock_guard lock(mutex_);
  Layer layer;
  layer.empty =
      fullResolution.bytes.empty() || fullResolution.width <= 0 || fullResolution.height <= 0;
  layer.full = std::move(fullResolution);
  if (!layers_.emplace(id, std::move(layer)).second) {
    throw std::invalid_argument("layer id " + std::to_string(id) + " is already in use");
  }
}

void LayerStore::SetEmpty(int32_t id) {
  if (id == 0) {
    throw std::invalid_argument("layer id 0 is reserved for \"no layer\"");
  }
  std::lock_guard lock(mutex_);
  if (!layers_.emplace(id, Layer{}).second) {
    throw std::invalid_argument("layer id " + std::to_string(id) + " is already in use");
  }
}

void LayerStore::SetMoving(int32_t id, std::shared_ptr<MovingSource> source) {
  if (id == 0) {
    throw std::invalid_argument("layer id 0 is reserved for \"no layer\"");
  }
  std::lock_guard lock(mutex_);
  Layer layer;
  layer.empty = false;
  layer.moving = std::move(source);
  if (!layers_.emplace(id, std::move(layer)).second) {
    throw std::invalid_argument("layer id " + std::to_string(id) + " is already in use");
  }
}

MovingSource* LayerStore::Moving(int32_t id) const {
  std::lock_guard lock(mutex_);
  const auto found = layers_.find(id);
  return found == layers_.end() ? nullptr : found->second.moving.get();
}

LayerStore::LentWorld LayerStore::WorldAt(int32_t id, const SceneTime& time, int32_t dx, int32_t dy,
                                          const std::function<bool()>& cancelled) {
  std::shared_ptr<MovingSource> moving;
  {
    std::lock_guard lock(mutex_);
    const auto found = layers_.find(id);
    if (found != layers_.end()) {
      moving = found->second.moving;
    }
  }
  if (!moving || dx < 1 || dy < 1) {
    return {World(id, dx, dy), nullptr};
  }
  // Outside the store's lock: waiting for a frame of one layer must not hold up the others.
  LentWorld lent;
  lent.keep = moving->FrameAt(time, dx, dy, cancelled);
  if (lent.keep->bitDepth != bitDepth_) {
    throw std::invalid_argument("layer " + std::to_string(id) + " gave a frame of " +
                                std::to_string(lent.keep->bitDepth) + " bits");
  }
  lent.world = MakeWorldView(*lent.keep);
  return lent;
}

bool LayerStore::Has(int32_t id) const {
  std::lock_guard lock(mutex_);
  return layers_.count(id) != 0;
}

PF_LayerDef LayerStore::World(int32_t id, int32_t dx, int32_t dy) {
  Image none;
  none.bitDepth = bitDepth_;
  std::lock_guard lock(mutex_);
  auto found = layers_.find(id);
  if (found == layers_.end() || found->second.empty || dx < 1 || dy < 1) {
    return MakeWorldView(none);  // null data and zero size; `none` is not referenced
  }
  Layer& layer = found->second;
  if (layer.moving) {
    return MakeWorldView(none);  // its pixels depend on the time: WorldAt
  }
  if (dx == 1 && dy == 1) {
    return MakeWorldView(layer.full);
  }
  std::unique_ptr<Image>& reduced = layer.reduced[{dx, dy}];
  if (!reduced) {
    // Made under the lock: a second frame asking for the same factor waits for this one.
    reduced = std::make_unique<Image>(Downsample(layer.full, dx, dy));
  }
  return MakeWorldView(*reduced);
}

int32_t DownsampleFactor(const PF_RationalScale& scale) {
  if (scale.num != 1 || scale.den < 1 || scale.den > static_cast<A_u_long>(kMaxDownsample)) {
    return 0;
  }
  return static_cast<int32_t>(scale.den);
}

void InstallLayerHooks(Session& session, LayerStore& layers, ParamStore& params,
                       std::set<int32_t> layerIndices) {
  Ledger::NameKind(kParamCheckoutKind, "checked out", "checked in");
  ParamHooks hooks;
  hooks.checkout = [&layers, &params, indices = std::move(layerIndices)](
                       CommandContext& context, PF_ParamIndex index, A_long what_time,
                       A_long time_step, A_u_long time_scale, PF_ParamDef* param) -> PF_Err {
    if (indices.count(index) == 0) {
      return PF_Err_INVALID_INDEX;
    }
    if (time_step == 0) {
      return PF_Err_BAD_CALLBACK_PARAM;  // no frame to speak of
    }
    const PF_InData& in = *context.InData();
    const int32_t dx = DownsampleFactor(in.downsample_x);
    const int32_t dy = DownsampleFactor(in.downsample_y);
    if (dx == 0 || dy == 0) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    const double frame = static_cast<double>(what_time) / static_cast<double>(time_step);
    const int32_t layerId = params.LayerIdAt(index, frame);
    LayerStore::LentWorld world;
    try {
      world = layers.WorldAt(layerId, SceneTime{what_time, time_step, time_scale}, dx, dy,
                             context.stopRequested);
    } catch (const FootageWaitCancelled&) {
      return PF_Interrupt_CANCEL;
    } catch (const FootageError& e) {
      // The render fails; the reason is the file's, so it goes to whoever reports the frame.
      std::string& problem = context.Attachment<std::string>(kFootageProblemAttachment);
      if (problem.empty()) {
        problem = e.what();
      }
      return PF_Err_INTERNAL_STRUCT_DAMAGED;
    } catch (const std::bad_alloc&) {
      return PF_Err_OUT_OF_MEMORY;
    }
    LentLayers& lent = context.Attachment<LentLayers>(kLentAttachment);
    LentLayer& entry = lent.emplace_back(LentLayer{index, layerId, std::move(world.keep)});

    *param = PF_ParamDef{};
    param->param_type = PF_Param_LAYER;
    param->u.ld = world.world;
    param->u.ld.reserved0 = &entry;
    context.Open(kParamCheckoutKind, CheckoutKey(entry));
    return PF_Err_NONE;
  };
  hooks.checkin = [](CommandContext& context, PF_ParamDef* param) -> PF_Err {
    LentLayers& lent = context.Attachment<LentLayers>(kLentAttachment);
    for (auto it = lent.begin(); it != lent.end(); ++it) {
      if (param->param_type == PF_Param_LAYER && param->u.ld.reserved0 == &*it) {
        context.Close(kParamCheckoutKind, CheckoutKey(*it));
        lent.erase(it);
        return PF_Err_NONE;
      }
    }
    // Not one of this command's checkouts (a second check-in, or a record never lent).
    context.ledger.NoteMisuse("checkin_param of a parameter that is not checked out");
    context.GetSession().ledger.NoteMisuse("checkin_param of a parameter that is not checked out");
    return PF_Err_BAD_CALLBACK_PARAM;
  };
  session.SetParamHooks(std::move(hooks));
}

void ClearLayerHooks(Session& session) {
  session.SetParamHooks(ParamHooks{});
}

}  // namespace lwhost
