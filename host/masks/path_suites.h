// "PF Path Query Suite" 1 and "PF Path Data Suite" 1 over the masks of the layer that carries the
// effect. A checkout hands out the mask at the command's resolution (divided by its downsample
// factors); segment preparations are the arc-length preparations of host/bezier.h.
//
// Ledger kinds: "path checkout" and "path segment preparation", keyed by address. Every function
// is a fault site under its own name ("PF_CheckoutPath", "PF_PathGetSegLength", ...).
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string_view>

#include "ae_params.h"
#include "masks/mask.h"

namespace lwhost {

class Session;

inline constexpr std::string_view kPathCheckoutKind = "path checkout";
inline constexpr std::string_view kSegPrepKind = "path segment preparation";

// The layer's masks in full-resolution pixels, by path id. Id 0 means "no mask" and is never
// stored.
class LayerMasks {
 public:
  void Set(PF_PathID id, Mask mask);
  std::optional<Mask> Find(PF_PathID id) const;

 private:
  mutable std::mutex mutex_;
  std::map<PF_PathID, Mask> masks_;
};

// Publishes both suites on the session, serving `masks`. The masks must outlive every command of
// the session; a later call replaces the masks the session serves.
void RegisterPathSuites(Session& session, const LayerMasks& masks);
// Forgets the session (call before destroying the masks if the session lives on).
void UnregisterPathSuites(Session& session);

}  // namespace lwhost
