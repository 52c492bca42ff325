// The host's parameter storage: the value of every parameter the effect declared, static or
// keyframed, and the parameter array handed to the effect on every command.
//
// Arbitrary data (the width curve) is opaque here, as in a real host: values are made, copied,
// loaded, interpolated, compared and freed only through the effect's arbitrary-data callbacks
// (PF_Cmd_ARBITRARY_CALLBACK).
//
// Time is counted in frames: the parameter array for frame f holds every value at f; keyframed
// numbers and angles interpolate by the fraction their key's interpolation gives (linear, hold,
// ease), popups, layers and masks hold until the next key, arbitrary data interpolates through the
// effect's INTERP callback at that same fraction.
//
// Threads: At, LayerIdAt, PathIdAt, Count and IndexOfLabel may run at once on several threads;
// everything that changes a value (Set*, LoadArbitrary, AdoptEditedValue) needs exclusive use.
// A ParamArray must not outlive the store that made it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ae_effect.h"
#include "params/key_interpolation.h"

namespace lwhost {

class Session;

// A value in the host's terms; which field counts depends on the parameter's type.
struct ParamValue {
  double number = 0.0;          // float sliders
  PF_Fixed fixed = 0;           // angles, 16.16 degrees
  int32_t popup = 1;            // popups, from 1
  int32_t layerId = 0;          // layers: 0 = none chosen
  PF_PathID pathId = 0;         // masks: 0 = none chosen
  PF_ArbitraryH arb = nullptr;  // arbitrary data: a handle the store owns
};

struct ParamKey {
  double frame = 0.0;
  ParamValue value;
  KeyInterpolation interpolation = KeyInterpolation::kLinear;  // of the span to the next key
};

// The array of one command: index 0 is the layer carrying the effect, then every declared
// parameter with its value at the frame. Owns the copies and any value made for this frame
// alone (an interpolated curve), which it frees when destroyed.
class ParamArray {
 public:
  virtual ~ParamArray() = default;
  virtual PF_ParamDef** Pointers() = 0;
  virtual int Count() const = 0;
  // The first error of the callbacks that made this frame's values (an INTERP); 0 when all went
  // well. A value that could not be made is null in the array.
  virtual PF_Err Error() const = 0;
};

class ParamStore {
 public:
  // Takes the parameters the effect declared at the session's last PARAMS_SETUP; every value
  // starts at its default (arbitrary data: a COPY of the declared default, or NEW without one).
  explicit ParamStore(Session& session);
  ~ParamStore();  // frees every value it owns through the effect's callbacks
  ParamStore(const ParamStore&) = delete;
  ParamStore& operator=(const ParamStore&) = delete;

  int Count() const;                               // declared parameters + 1
  int IndexOfLabel(std::string_view label) const;  // -1 when no parameter has that label
  // The declaration as add_param gave it (index 0: an empty layer record), and its text (popup
  // choices, button text).
  const PF_ParamDef& Declaration(int index) const;
  const std::string& DeclarationText(int index) const;

  // Arbitrary handles given here must have been made by this store (LoadArbitrary, Keys, Static);
  // the store frees a replaced value once nothing refers to it any more.
  void SetStatic(int index, const ParamValue& value);
  void SetKeys(int index, std::vector<ParamKey> keys);  // frames ascending
  bool IsAnimated(int index) const;
  ParamValue Static(int index) const;
  std::vector<ParamKey> Keys(int index) const;  // empty when not animated

  // Arbitrary data loaded from its stored form through the effect's UNFLATTEN; the store owns the
  // made value. Returns the effect's error, or PF_Err_INTERNAL_STRUCT_DAMAGED when the effect
  // answered success but made no value (stored data it could not read).
  PF_Err LoadArbitrary(int index, std::span<const uint8_t> flat, ParamValue* value);
  // The stored form of a value (FLAT_SIZE, then FLATTEN into a buffer of that size): of the
  // parameter's static value, or of any value of that parameter.
  PF_Err Flatten(int index, std::vector<uint8_t>* bytes) const;
  PF_Err FlattenValue(int index, PF_ArbitraryH value, std::vector<uint8_t>* bytes) const;
  // COMPARE through the effect; *result is PF_ArbCompare_EQUAL when they are equal.
  PF_Err Compare(int index, PF_ArbitraryH a, PF_ArbitraryH b, PF_ArbCompareResult* result) const;
  // After an EVENT in which the effect set PF_ChangeFlag_CHANGED_VALUE on the array's parameter:
  // the value the effect edited in place becomes the parameter's new static value (a COPY owned
  // by the store; keys and the old value are dropped). The array then shows the new value.
  PF_Err AdoptEditedValue(ParamArray& array, int index);

  std::unique_ptr<ParamArray> At(double frame);
  int32_t LayerIdAt(int index, double frame) const;
  PF_PathID PathIdAt(int index, double frame) const;

  // The first error of the callbacks the constructor made (copying the declared defaults).
  PF_Err SetupError() const;
  // Every callback command the store sent that did not give back what it took, one line each
  // ("COPY: handle lock 0x...: locked 1, unlocked 0"); empty when all were balanced.
  std::vector<std::string> Imbalances() const;

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace lwhost
