// Source layers and the worlds the host lends for them.
//
// A still layer is stored once at full resolution and at the render's bit depth; a render at
// 1/DX x 1/DY gets the layer averaged down per DX x DY block, made on first use and kept for later
// frames. A moving layer (a movie, an image sequence) gives the frame at the time asked for from
// its MovingSource, whose cache is bounded. Frames render on several threads at once, so the
// caches are guarded; a world handed out points into an image that stays put while it is lent.
//
// checkout_param / checkin_param serve layer parameters from this store: the layer chosen at the
// requested time (ParamStore::LayerIdAt), as a world at the command's downsampling. Each checkout
// is counted in the command's ledger under kParamCheckoutKind and must be checked in.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>
#include <tuple>

#include "ae_effect.h"
#include "layers/image.h"
#include "media/footage.h"

namespace lwhost {

class MovingSource;
class ParamStore;
class Session;

inline constexpr std::string_view kParamCheckoutKind = "param checkout";
// The command's attachment (a std::string) holding the first source frame that could not be
// decoded, as the FootageError told it; the frame render hands it on in FrameOutput.
inline constexpr const char* kFootageProblemAttachment = "footage problem";

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
  // A layer whose pixels change with time. The source's frames must have the store's bit depth.
  void SetMoving(int32_t id, std::shared_ptr<MovingSource> source);
  bool Has(int32_t id) const;
  // The moving source of a layer, or null for a still, empty or unknown one.
  MovingSource* Moving(int32_t id) const;

  // The layer's world at 1/dx x 1/dy. Id 0, an empty layer and an unknown id give a world without
  // pixels: null data and zero size (the deep flag still tells the bit depth), and so does a
  // moving layer, whose pixels depend on the time (WorldAt).
  PF_LayerDef World(int32_t id, int32_t dx, int32_t dy);

  // The layer's world at `time`; `keep` holds the pixels it points into (null for stills, which
  // the store keeps). Throws FootageError when a moving layer's frame cannot be decoded, and
  // FootageWaitCancelled when `cancelled` (asked while waiting for a decoded frame) says so.
  struct LentWorld {
    PF_LayerDef world{};
    std::shared_ptr<Image> keep;
  };
  LentWorld WorldAt(int32_t id, const SceneTime& time, int32_t dx, int32_t dy,
                    const std::function<bool()>& cancelled = {});

 private:
  struct Layer {
    bool empty = true;
    std::shared_ptr<MovingSource> moving;
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
