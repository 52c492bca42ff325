// What a drawing context tells its owner as it runs, apart from the context itself, so that the
// records behind Drawbot refs (drawing_objects.h) can report without knowing the context.
#pragma once

#include <string_view>

#include "drawbot_suites.h"

namespace lwhost {

// What a context tells its owner as it runs: a later host service forwards these into its
// balance ledger and fault injection. Every method has a do-nothing default.
class DrawingObserver {
 public:
  virtual ~DrawingObserver() = default;
  // A Drawbot function is about to do its work; a non-zero answer makes it fail with that code.
  virtual SPErr Check(std::string_view /*call*/) { return 0; }
  virtual void ObjectMade(const void* /*object*/, std::string_view /*kind*/) {}
  // The last reference to an object was given up.
  virtual void ObjectReleased(const void* /*object*/) {}
  // A wrong call: releasing an unknown or dead object, the supplier or the surface.
  virtual void Misuse(std::string_view /*what*/) {}
};

}  // namespace lwhost
