// Source layers and the worlds the host lends for them.
//
// A layer is stored once at full resolution and at the render's bit depth; a render at 1/DX x 1/DY
// gets the layer averaged down per DX x DY block, made on first use and kept for later frames.
// Frames render on several threads at once, so the cache is guarded; a world handed out points into
// an image that stays put until the store is destroyed.
//
// checkout_param / checkin_param serve layer parameters from this store: the layer chosen at the
// requested time (ParamStore::LayerIdAt), as a world at the command's downsampling. Each checkout
// is counted in the command's ledger under kParamCheckoutKind and must be checked in.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>
#include <tuple>

#include "ae_effect.h"
#include "layers/image.h"

namespace lwhost {

class ParamStore;
class Session;

inline constexpr std::string_view kParamCheckoutKind = "param checkout";

class LayerStore {
 public:
  // Every layer of the store has `bitDepth` bits per channel (8 or 16).
  explicit LayerStore(int bitDepth);
  ~LayerStore();
  LayerStore(const LayerStore&) = delete;
  LayerStore& operator=(const LayerStore&) = delete;

  int BitDepth() const { return bitDepth_; }

  // Id 0 means "no layer chosen" and cannot be set. An image of another bit depth, or a second
  // layer with an id already in use, throws std::invalid_argument.
  void SetImage(int32_t id, Image fullResolution);
  void SetEmpty(int32_t id);  // a layer without pixels
  bool Has(int32_t id) const;

  // The layer's world at 1/dx x 1/dy. Id 0, an empty layer and an unknown id give a world without
  // pixels: null data and zero size (the deep flag still tells the bit depth).
  PF_LayerDef World(int32_t id, int32_t dx, int32_t dy);

 private:
  struct Layer {
    bool empty = true;
    Image full;
    std::map<std::pair<int32_t, int32_t>, std::unique_ptr<Image>> reduced;  // by (dx, dy)
  };

  int bitDepth_;
  mutable std::mutex mutex_;
  std::map<int32_t, Layer> layers_;
};

// The downsampling factor a PF_RationalScale stands for (1/2 -> 2). Scales that are not 1/n with n
// in 1..kMaxFactor give 0.
int32_t DownsampleFactor(const PF_RationalScale& scale);

// Installs checkout_param / checkin_param on the session, serving the parameters in
// `layerIndices` from `layers`, with the layer chosen in `params` at frame what_time / time_step.
// Other indices answer PF_Err_INVALID_INDEX. Fault sites: "checkout_param" and "checkin_param"
// (consulted by the session's callbacks before these hooks run). Both stores must outlive every
// command of the session, or ClearLayerHooks must be called first.
void InstallLayerHooks(Session& session, LayerStore& layers, ParamStore& params,
                       std::set<int32_t> layerIndices);
void ClearLayerHooks(Session& session);

}  // namespace lwhost
