#include "params/param_store.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>

#include "core/session.h"

namespace lwhost {

namespace {

struct Slot {
  PF_ParamDef def{};
  std::string text;  // popup choices or button text; the def points here
  bool animated = false;
  ParamValue value;
  std::vector<ParamKey> keys;
};

const char* FunctionName(PF_FunctionSelector which) {
  switch (which) {
    case PF_Arbitrary_NEW_FUNC:
      return "NEW";
    case PF_Arbitrary_DISPOSE_FUNC:
      return "DISPOSE";
    case PF_Arbitrary_COPY_FUNC:
      return "COPY";
    case PF_Arbitrary_FLAT_SIZE_FUNC:
      return "FLAT_SIZE";
    case PF_Arbitrary_FLATTEN_FUNC:
      return "FLATTEN";
    case PF_Arbitrary_UNFLATTEN_FUNC:
      return "UNFLATTEN";
    case PF_Arbitrary_INTERP_FUNC:
      return "INTERP";
    case PF_Arbitrary_COMPARE_FUNC:
      return "COMPARE";
    default:
      return "arbitrary callback";
  }
}

// The starting value of a declared parameter, as the effect declared it.
ParamValue DeclaredValue(const PF_ParamDef& def) {
  ParamValue value;
  switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER:
      value.number = def.u.fs_d.value;
      break;
    case PF_Param_ANGLE:
      value.fixed = def.u.ad.value;
      break;
    case PF_Param_POPUP:
      value.popup = def.u.pd.value;
      break;
    default:
      break;  // layers and masks start with nothing chosen
  }
  return value;
}

// Where `frame` falls among keys (ascending, at least one): the key before it and the fraction of
// the way to the next one, as the key's interpolation moves it; t = 0 at or before the first key,
// at or after the last and all along a held span.
struct KeySpan {
  size_t left = 0;
  double t = 0.0;
};

KeySpan FindSpan(const std::vector<ParamKey>& keys, double frame) {
  if (frame <= keys.front().frame) {
    return {0, 0.0};
  }
  if (frame >= keys.back().frame) {
    return {keys.size() - 1, 0.0};
  }
  size_t i = 0;
  while (i + 1 < keys.size() && keys[i + 1].frame <= frame) {
    ++i;
  }
  const double span = keys[i + 1].frame - keys[i].frame;
  return {i, InterpolatedFraction(keys[i].interpolation, (frame - keys[i].frame) / span)};
}

// Linear interpolation of the numbers and angles, holding of everything else.
ParamValue Blend(const ParamValue& a, const ParamValue& b, double t) {
  ParamValue value = a;
  if (t == 0.0) {
    return value;
  }
  value.number = a.number + (b.number - a.number) * t;
  // The 16.16 value itself is interpolated and rounded to nearest, as the scene's degrees are.
  const double fixed = a.fixed + (static_cast<double>(b.fixed) - a.fixed) * t;
  value.fixed = static_cast<PF_Fixed>(std::floor(fixed + 0.5));
  return value;
}

}  // namespace

class ParamStore::Impl {
 public:
  explicit Impl(Session& session) : session_(session) {}

  Session& session_;
  std::vector<Slot> slots_;
  std::set<PF_ArbitraryH> owned_;  // every value this store made and has not freed
  PF_Err setupError_ = PF_Err_NONE;
  mutable std::mutex logMutex_;
  mutable std::vector<std::string> imbalances_;

  Slot& At(int index) {
    if (index < 0 || index >= static_cast<int>(slots_.size())) {
      throw std::out_of_range("no parameter at index " + std::to_string(index));
    }
    return slots_[static_cast<size_t>(index)];
  }
  const Slot& At(int index) const { return const_cast<Impl*>(this)->At(index); }

  bool IsArbitrary(int index) const { return At(index).def.param_type == PF_Param_ARBITRARY_DATA; }

  PF_ArbParamsExtra Extra(int index, PF_FunctionSelector which) const {
    PF_ArbParamsExtra extra{};
    extra.which_function = which;
    extra.id = At(index).def.u.arb_d.id;
    // Every member of the union starts with the refcon the parameter was registered with.
    extra.u.new_func_params.refconPV = At(index).def.u.arb_d.refconPV;
    return extra;
  }

  // Sends one callback. A value the effect made (`made`) is marked host-owned while the command
  // is still current, so that neither the command's balance nor the session's counts it.
  PF_Err Send(PF_ArbParamsExtra& extra, PF_ArbitraryH* made) const {
    CommandInput input;
    input.extra = &extra;
    std::unique_ptr<CommandContext> context = session_.Begin(PF_Cmd_ARBITRARY_CALLBACK, input);
    const PF_Err err = context->Run();
    if (made != nullptr && *made != nullptr) {
      session_.handles.MarkHostOwned(*made);
    }
    const CommandResult result = context->Finish(err);
    context.reset();
    if (!result.balance.empty()) {
      std::lock_guard lock(logMutex_);
      imbalances_.push_back(std::string(FunctionName(extra.which_function)) + ": " +
                            result.balance);
    }
    return err;
  }

  // For the callbacks that hand out a value: success without a value is no success.
  static PF_Err Made(PF_Err err, PF_ArbitraryH made) {
    if (err == PF_Err_NONE && made == nullptr) {
      return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
    return err;
  }

  PF_Err New(int index, PF_ArbitraryH* out) const {
    *out = nullptr;
    PF_ArbParamsExtra extra = Extra(index, PF_Arbitrary_NEW_FUNC);
    extra.u.new_func_params.arbPH = out;
    const PF_Err err = Send(extra, out);
    return Made(err, *out);
  }

  PF_Err Copy(int index, PF_ArbitraryH source, PF_ArbitraryH* out) const {
    *out = nullptr;
    PF_ArbParamsExtra extra = Extra(index, PF_Arbitrary_COPY_FUNC);
    extra.u.copy_func_params.src_arbH = source;
    extra.u.copy_func_params.dst_arbPH = out;
    const PF_Err err = Send(extra, out);
    return Made(err, *out);
  }

  PF_Err Interp(int index, PF_ArbitraryH left, PF_ArbitraryH right, double t,
                PF_ArbitraryH* out) const {
    *out = nullptr;
    PF_ArbParamsExtra extra = Extra(index, PF_Arbitrary_INTERP_FUNC);
    extra.u.interp_func_params.left_arbH = left;
    extra.u.interp_func_params.right_arbH = right;
    extra.u.interp_func_params.tF = t;
    extra.u.interp_func_params.interpPH = out;
    const PF_Err err = Send(extra, out);
    return Made(err, *out);
  }

  PF_Err Dispose(int index, PF_ArbitraryH value) const {
    PF_ArbParamsExtra extra = Extra(index, PF_Arbitrary_DISPOSE_FUNC);
    extra.u.dispose_func_params.arbH = value;
    const PF_Err err = Send(extra, nullptr);
    // Disposed or not, the store lets go of it: a value the effect failed to free shows as a leak.
    session_.handles.ReleaseHostOwned(value);
    return err;
  }

  bool Referenced(PF_ArbitraryH value) const {
    for (const Slot& slot : slots_) {
      if (slot.value.arb == value) {
        return true;
      }
      for (const ParamKey& key : slot.keys) {
        if (key.value.arb == value) {
          return true;
        }
      }
    }
    return false;
  }

  // The values a slot held before a change that nothing refers to any more are freed.
  void FreeUnreferenced(int index, const std::vector<PF_ArbitraryH>& before) {
    for (PF_ArbitraryH value : before) {
      if (value != nullptr && owned_.count(value) != 0 && !Referenced(value)) {
        owned_.erase(value);
        Dispose(index, value);
      }
    }
  }

  static std::vector<PF_ArbitraryH> Values(const Slot& slot) {
    std::vector<PF_ArbitraryH> values{slot.value.arb};
    for (const ParamKey& key : slot.keys) {
      values.push_back(key.value.arb);
    }
    return values;
  }

  ParamValue ValueAt(int index, double frame) const {
    const Slot& slot = At(index);
    if (!slot.animated || slot.keys.empty()) {
      return slot.value;
    }
    const KeySpan span = FindSpan(slot.keys, frame);
    if (span.t == 0.0) {
      return slot.keys[span.left].value;
    }
    return Blend(slot.keys[span.left].value, slot.keys[span.left + 1].value, span.t);
  }
};

namespace {

class FrameArray : public ParamArray {
 public:
  explicit FrameArray(const ParamStore::Impl& store) : store_(store) {}
  ~FrameArray() override {
    for (const auto& [index, value] : temporaries_) {
      store_.Dispose(index, value);
    }
  }
  FrameArray(const FrameArray&) = delete;
  FrameArray& operator=(const FrameArray&) = delete;

  PF_ParamDef** Pointers() override { return pointers_.data(); }
  int Count() const override { return static_cast<int>(defs_.size()); }
  PF_Err Error() const override { return err_; }

  const ParamStore::Impl& store_;
  std::vector<PF_ParamDef> defs_;
  std::vector<PF_ParamDef*> pointers_;
  std::vector<std::pair<int, PF_ArbitraryH>> temporaries_;  // interpolated for this frame
  PF_Err err_ = PF_Err_NONE;
};

void PutValue(PF_ParamDef& def, const ParamValue& value) {
  switch (def.param_type) {
    case PF_Param_FLOAT_SLIDER:
      def.u.fs_d.value = value.number;
      break;
    case PF_Param_ANGLE:
      def.u.ad.value = value.fixed;
      break;
    case PF_Param_POPUP:
      def.u.pd.value = value.popup;
      break;
    case PF_Param_PATH:
      def.u.path_d.path_id = value.pathId;
      break;
    case PF_Param_ARBITRARY_DATA:
      def.u.arb_d.value = value.arb;
      break;
    default:
      break;  // layers are checked out by id; buttons carry no value
  }
}

}  // namespace

ParamStore::ParamStore(Session& session) : impl_(std::make_unique<Impl>(session)) {
  Impl& store = *impl_;
  Slot input;
  input.def.param_type = PF_Param_LAYER;  // index 0: the layer carrying the effect
  store.slots_.push_back(input);
  for (const DeclaredParam& declared : session.DeclaredParams()) {
    Slot slot;
    slot.def = declared.def;
    slot.text = declared.text;
    slot.value = DeclaredValue(declared.def);
    store.slots_.push_back(std::move(slot));
  }
  // Texts are pointed to once the slots no longer move.
  for (Slot& slot : store.slots_) {
    if (slot.def.param_type == PF_Param_POPUP) {
      slot.def.u.pd.u.namesptr = slot.text.c_str();
    } else if (slot.def.param_type == PF_Param_BUTTON) {
      slot.def.u.button_d.u.namesptr = slot.text.c_str();
    }
  }
  for (int index = 0; index < static_cast<int>(store.slots_.size()); ++index) {
    Slot& slot = store.slots_[static_cast<size_t>(index)];
    if (slot.def.param_type != PF_Param_ARBITRARY_DATA) {
      continue;
    }
    // The declared default stays the session's; the parameter's value is a copy of it.
    PF_ArbitraryH value = nullptr;
    const PF_ArbitraryH dflt = slot.def.u.arb_d.dephault;
    const PF_Err err = dflt != nullptr ? store.Copy(index, dflt, &value) : store.New(index, &value);
    if (value != nullptr) {
      store.owned_.insert(value);
    }
    slot.value.arb = value;
    slot.def.u.arb_d.value = nullptr;
    if (store.setupError_ == PF_Err_NONE) {
      store.setupError_ = err;
    }
  }
}

ParamStore::~ParamStore() {
  Impl& store = *impl_;
  for (int index = 0; index < static_cast<int>(store.slots_.size()); ++index) {
    if (!store.IsArbitrary(index)) {
      continue;
    }
    std::vector<PF_ArbitraryH> values = Impl::Values(store.slots_[static_cast<size_t>(index)]);
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    for (PF_ArbitraryH value : values) {
      if (value != nullptr && store.owned_.erase(value) != 0) {
        store.Dispose(index, value);
      }
    }
  }
  // Values loaded but never given to a parameter: freed with the first arbitrary parameter's
  // refcon, the only one the effect has.
  for (int index = 0; index < Count() && !store.owned_.empty(); ++index) {
    if (store.IsArbitrary(index)) {
      for (PF_ArbitraryH value : store.owned_) {
        store.Dispose(index, value);
      }
      store.owned_.clear();
    }
  }
}

int ParamStore::Count() const {
  return static_cast<int>(impl_->slots_.size());
}

int ParamStore::IndexOfLabel(std::string_view label) const {
  for (int index = 1; index < Count(); ++index) {
    if (label == impl_->slots_[static_cast<size_t>(index)].def.name) {
      return index;
    }
  }
  return -1;
}

const PF_ParamDef& ParamStore::Declaration(int index) const {
  return impl_->At(index).def;
}

const std::string& ParamStore::DeclarationText(int index) const {
  return impl_->At(index).text;
}

void ParamStore::SetStatic(int index, const ParamValue& value) {
  Slot& slot = impl_->At(index);
  const std::vector<PF_ArbitraryH> before = Impl::Values(slot);
  slot.animated = false;
  slot.keys.clear();
  slot.value = value;
  impl_->FreeUnreferenced(index, before);
}

void ParamStore::SetKeys(int index, std::vector<ParamKey> keys) {
  if (keys.empty()) {
    throw std::invalid_argument("a keyframed parameter needs at least one key");
  }
  for (size_t i = 1; i < keys.size(); ++i) {
    if (!(keys[i - 1].frame < keys[i].frame)) {
      throw std::invalid_argument("key frames must ascend");
    }
  }
  Slot& slot = impl_->At(index);
  const std::vector<PF_ArbitraryH> before = Impl::Values(slot);
  slot.animated = true;
  slot.value = keys.front().value;  // the static value a later edit starts from
  slot.keys = std::move(keys);
  impl_->FreeUnreferenced(index, before);
}

bool ParamStore::IsAnimated(int index) const {
  return impl_->At(index).animated;
}

ParamValue ParamStore::Static(int index) const {
  return impl_->At(index).value;
}

std::vector<ParamKey> ParamStore::Keys(int index) const {
  const Slot& slot = impl_->At(index);
  return slot.animated ? slot.keys : std::vector<ParamKey>{};
}

PF_Err ParamStore::LoadArbitrary(int index, std::span<const uint8_t> flat, ParamValue* value) {
  if (value == nullptr || !impl_->IsArbitrary(index)) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  *value = impl_->At(index).value;
  PF_ArbitraryH made = nullptr;
  PF_ArbParamsExtra extra = impl_->Extra(index, PF_Arbitrary_UNFLATTEN_FUNC);
  extra.u.unflatten_func_params.buf_sizeLu = static_cast<A_u_long>(flat.size());
  extra.u.unflatten_func_params.flat_dataPV = flat.data();
  extra.u.unflatten_func_params.arbPH = &made;
  PF_Err err = impl_->Send(extra, &made);
  err = Impl::Made(err, made);
  if (made != nullptr) {
    impl_->owned_.insert(made);  // freed with the store if it is never used
  }
  value->arb = err == PF_Err_NONE ? made : nullptr;
  return err;
}

PF_Err ParamStore::Flatten(int index, std::vector<uint8_t>* bytes) const {
  return FlattenValue(index, impl_->At(index).value.arb, bytes);
}

PF_Err ParamStore::FlattenValue(int index, PF_ArbitraryH value, std::vector<uint8_t>* bytes) const {
  if (bytes == nullptr || value == nullptr || !impl_->IsArbitrary(index)) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  bytes->clear();
  A_u_long size = 0;
  PF_ArbParamsExtra sizing = impl_->Extra(index, PF_Arbitrary_FLAT_SIZE_FUNC);
  sizing.u.flat_size_func_params.arbH = value;
  sizing.u.flat_size_func_params.flat_data_sizePLu = &size;
  if (PF_Err err = impl_->Send(sizing, nullptr); err != PF_Err_NONE) {
    return err;
  }
  std::vector<uint8_t> buffer(size);
  PF_ArbParamsExtra flatten = impl_->Extra(index, PF_Arbitrary_FLATTEN_FUNC);
  flatten.u.flatten_func_params.arbH = value;
  flatten.u.flatten_func_params.buf_sizeLu = size;
  flatten.u.flatten_func_params.flat_dataPV = buffer.data();
  if (PF_Err err = impl_->Send(flatten, nullptr); err != PF_Err_NONE) {
    return err;
  }
  *bytes = std::move(buffer);
  return PF_Err_NONE;
}

PF_Err ParamStore::Compare(int index, PF_ArbitraryH a, PF_ArbitraryH b,
                           PF_ArbCompareResult* result) const {
  if (result == nullptr || a == nullptr || b == nullptr || !impl_->IsArbitrary(index)) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  // Anything the effect leaves unwritten reads as a difference.
  *result = PF_ArbCompare_NOT_EQUAL;
  PF_ArbParamsExtra extra = impl_->Extra(index, PF_Arbitrary_COMPARE_FUNC);
  extra.u.compare_func_params.a_arbH = a;
  extra.u.compare_func_params.b_arbH = b;
  extra.u.compare_func_params.compareP = result;
  return impl_->Send(extra, nullptr);
}

PF_Err ParamStore::AdoptEditedValue(ParamArray& array, int index) {
  auto* frame = dynamic_cast<FrameArray*>(&array);
  if (frame == nullptr || &frame->store_ != impl_.get() || !impl_->IsArbitrary(index) ||
      index >= frame->Count()) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  PF_ParamDef& def = frame->defs_[static_cast<size_t>(index)];
  const PF_ArbitraryH edited = def.u.arb_d.value;
  if (edited == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  PF_ArbitraryH fresh = nullptr;
  if (PF_Err err = impl_->Copy(index, edited, &fresh); err != PF_Err_NONE) {
    return err;  // the parameter keeps its value
  }
  impl_->owned_.insert(fresh);
  // The array may have shown the old static value itself, which is about to be freed.
  def.u.arb_d.value = fresh;
  ParamValue value = impl_->At(index).value;
  value.arb = fresh;
  SetStatic(index, value);
  return PF_Err_NONE;
}

std::unique_ptr<ParamArray> ParamStore::At(double frame) {
  auto array = std::make_unique<FrameArray>(*impl_);
  const int count = Count();
  array->defs_.resize(static_cast<size_t>(count));
  for (int index = 0; index < count; ++index) {
    const Slot& slot = impl_->At(index);
    PF_ParamDef& def = array->defs_[static_cast<size_t>(index)];
    def = slot.def;
    if (slot.def.param_type != PF_Param_ARBITRARY_DATA || !slot.animated) {
      PutValue(def, impl_->ValueAt(index, frame));
      continue;
    }
    const KeySpan span = FindSpan(slot.keys, frame);
    const PF_ArbitraryH left = slot.keys[span.left].value.arb;
    if (span.t == 0.0) {
      def.u.arb_d.value = left;
      continue;
    }
    const PF_ArbitraryH right = slot.keys[span.left + 1].value.arb;
    if (left == nullptr || right == nullptr) {
      // A key without a value cannot be blended: the nearer key holds.
      def.u.arb_d.value = span.t < 0.5 ? left : right;
      continue;
    }
    PF_ArbitraryH blended = nullptr;
    const PF_Err err = impl_->Interp(index, left, right, span.t, &blended);
    if (blended != nullptr) {
      array->temporaries_.emplace_back(index, blended);
    }
    def.u.arb_d.value = err == PF_Err_NONE ? blended : nullptr;
    if (array->err_ == PF_Err_NONE) {
      array->err_ = err;
    }
  }
  array->pointers_.reserve(array->defs_.size());
  for (PF_ParamDef& def : array->defs_) {
    array->pointers_.push_back(&def);
  }
  return array;
}

int32_t ParamStore::LayerIdAt(int index, double frame) const {
  return impl_->ValueAt(index, frame).layerId;
}

PF_PathID ParamStore::PathIdAt(int index, double frame) const {
  return impl_->ValueAt(index, frame).pathId;
}

PF_Err ParamStore::SetupError() const {
  return impl_->setupError_;
}

std::vector<std::string> ParamStore::Imbalances() const {
  std::lock_guard lock(impl_->logMutex_);
  return impl_->imbalances_;
}

}  // namespace lwhost
