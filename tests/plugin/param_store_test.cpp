// The host's parameter storage driven with the loaded effect: the width curve made, copied,
// stored, loaded, interpolated, compared and freed only through the effect's callbacks, numbers
// and angles interpolated by the host, and every callback command balanced.
#include "params/param_store.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "plugin_session.h"
#include "params/scene_param_mapping.h"

namespace lwtest {
namespace {

constexpr int kTaperStart = 10;
constexpr int kTaperShape = 12;
constexpr int kWidthCurve = 13;
constexpr int kWidthGraph = 14;
constexpr int kBank = 20;
constexpr int kSource = 3;

// The curve value as stored: tag, count, two reserved bytes, then 12 x and 12 y floats.
struct CurveImage {
  std::uint8_t tag = 1;
  std::uint8_t numPoints = 0;
  std::uint8_t reserved[2] = {};
  float x[12] = {};
  float y[12] = {};
};
static_assert(sizeof(CurveImage) == 100);

CurveImage Curve(std::initializer_list<std::pair<float, float>> points) {
  CurveImage curve;
  for (const auto& [x, y] : points) {
    curve.x[curve.numPoints] = x;
    curve.y[curve.numPoints] = y;
    curve.numPoints++;
  }
  return curve;
}

std::vector<uint8_t> Bytes(const CurveImage& curve) {
  std::vector<uint8_t> bytes(sizeof curve);
  std::memcpy(bytes.data(), &curve, sizeof curve);
  return bytes;
}

class ParamStoreTest : public PluginTest {
 protected:
  void SetUp() override {
    const lwhost::CommandResult setup = session.Send(PF_Cmd_PARAMS_SETUP);
    ASSERT_EQ(setup.err, PF_Err_NONE);
    ExpectBalanced(setup, "params set-up");
    before = session.handles.LiveHandles();  // the declared default curve, kept by the session
  }

  // Every callback the store sent was balanced, and nothing is outstanding in the session.
  void ExpectStoreBalanced(const lwhost::ParamStore& store, const std::string& what) {
    for (const std::string& line : store.Imbalances()) {
      ADD_FAILURE() << what << ": " << line;
    }
    EXPECT_EQ(session.ledger.Report(), "") << what;
  }

  PF_ArbitraryH Load(lwhost::ParamStore& store, const CurveImage& curve) {
    lwhost::ParamValue value;
    const std::vector<uint8_t> bytes = Bytes(curve);
    EXPECT_EQ(store.LoadArbitrary(kWidthGraph, bytes, &value), PF_Err_NONE);
    return value.arb;
  }

  CurveImage Read(PF_ArbitraryH value) {
    CurveImage curve;
    EXPECT_NE(value, nullptr);
    if (value != nullptr) {
      std::memcpy(&curve, session.handles.Peek(value), sizeof curve);
    }
    return curve;
  }

  std::set<PF_Handle> before;
};

TEST_F(ParamStoreTest, StartsAtTheDeclaredDefaultsWithACopiedCurve) {
  lwhost::ParamStore store(session);
  EXPECT_EQ(store.SetupError(), PF_Err_NONE);
  ExpectStoreBalanced(store, "store made");
  ASSERT_EQ(store.Count(), 37);
  EXPECT_EQ(store.IndexOfLabel("Taper Shape"), kTaperShape);
  EXPECT_EQ(store.IndexOfLabel("No Such Parameter"), -1);

  auto array = store.At(0);
  ASSERT_EQ(array->Count(), 37);
  PF_ParamDef** params = array->Pointers();
  EXPECT_EQ(params[0]->param_type, PF_Param_LAYER);
  EXPECT_EQ(params[kTaperShape]->u.pd.value, 2);
  EXPECT_STREQ(params[kTaperShape]->u.pd.u.namesptr, "Linear|Smooth");
  EXPECT_EQ(params[25]->u.ad.value, 180 << 16);
  const PF_ArbitraryH value = params[kWidthGraph]->u.arb_d.value;
  const PF_ArbitraryH dflt = session.DeclaredParams()[kWidthGraph - 1].def.u.arb_d.dephault;
  ASSERT_NE(value, nullptr);
  EXPECT_NE(value, dflt) << "the value is the store's own copy, not the declared default";
  PF_ArbCompareResult same = PF_ArbCompare_NOT_EQUAL;
  EXPECT_EQ(store.Compare(kWidthGraph, value, dflt, &same), PF_Err_NONE);
  EXPECT_EQ(same, PF_ArbCompare_EQUAL);
  ExpectStoreBalanced(store, "array made");
}

TEST_F(ParamStoreTest, KeyframedCurveIsInterpolatedByTheEffect) {
  lwhost::ParamStore store(session);
  const CurveImage left = Curve({{0.0f, 0.2f}, {0.4f, 0.6f}, {1.0f, 1.0f}});
  const CurveImage right = Curve({{0.0f, 1.0f}, {0.6f, 0.0f}, {1.0f, 0.5f}});
  const CurveImage two = Curve({{0.0f, 0.3f}, {1.0f, 0.7f}});
  store.SetKeys(kWidthGraph, {{0, {.arb = Load(store, left)}}, {10, {.arb = Load(store, right)}}});

  {
    auto halfway = store.At(5);
    EXPECT_EQ(halfway->Error(), PF_Err_NONE);
    const CurveImage got = Read(halfway->Pointers()[kWidthGraph]->u.arb_d.value);
    ASSERT_EQ(got.numPoints, 3);
    for (int i = 0; i < 3; ++i) {
      EXPECT_FLOAT_EQ(got.x[i], (left.x[i] + right.x[i]) / 2) << "point " << i;
      EXPECT_FLOAT_EQ(got.y[i], (left.y[i] + right.y[i]) / 2) << "point " << i;
    }
    // On, before and after the keys the keys' own values are handed over.
    const std::pair<double, CurveImage> held[] = {{-4, left}, {0, left}, {10, right}, {25, right}};
    for (const auto& [frame, expected] : held) {
      auto array = store.At(frame);
      const CurveImage at = Read(array->Pointers()[kWidthGraph]->u.arb_d.value);
      EXPECT_EQ(std::memcmp(&at, &expected, sizeof at), 0) << "at frame " << frame;
    }
  }
  ExpectStoreBalanced(store, "three-point keys");

  // Different point counts are not blended: the effect switches at the halfway mark.
  store.SetKeys(kWidthGraph, {{0, {.arb = Load(store, two)}}, {10, {.arb = Load(store, left)}}});
  for (const auto& [frame, count] : {std::pair{4.9, 2}, std::pair{5.0, 3}, std::pair{7.5, 3}}) {
    auto array = store.At(frame);
    EXPECT_EQ(Read(array->Pointers()[kWidthGraph]->u.arb_d.value).numPoints, count)
        << "at frame " << frame;
  }
  ExpectStoreBalanced(store, "two- and three-point keys");
}

TEST_F(ParamStoreTest, NumbersAndAnglesInterpolateWhilePopupsLayersAndMasksHold) {
  lwhost::ParamStore store(session);
  store.SetKeys(kTaperStart, {{0, {.number = 0}}, {10, {.number = 100}}, {20, {.number = 40}}});
  // 0 to 3 in 16.16 steps over four frames: 0.75, 1.5 and 2.25 round to 1, 2 and 2.
  store.SetKeys(kBank, {{0, {.fixed = 0}}, {4, {.fixed = 3}}});
  store.SetKeys(kTaperShape, {{0, {.popup = 1}}, {10, {.popup = 2}}});
  store.SetKeys(kWidthCurve, {{2, {.pathId = 7}}, {6, {.pathId = 9}}});
  store.SetKeys(kSource, {{0, {.layerId = 1}}, {3, {.layerId = 2}}});

  const struct {
    double frame;
    double taper;
    PF_Fixed bank;
    int shape;
    PF_PathID path;
    int32_t layer;
  } cases[] = {
      {-5, 0, 0, 1, 7, 1},   {0, 0, 0, 1, 7, 1},   {1, 10, 1, 1, 7, 1},
      {2.5, 25, 2, 1, 7, 1}, {3, 30, 2, 1, 7, 2},  {9.99, 99.9, 3, 1, 9, 2},
      {10, 100, 3, 2, 9, 2}, {15, 70, 3, 2, 9, 2}, {40, 40, 3, 2, 9, 2},
  };
  for (const auto& c : cases) {
    auto array = store.At(c.frame);
    PF_ParamDef** params = array->Pointers();
    EXPECT_NEAR(params[kTaperStart]->u.fs_d.value, c.taper, 1e-9) << "at frame " << c.frame;
    EXPECT_EQ(params[kBank]->u.ad.value, c.bank) << "at frame " << c.frame;
    EXPECT_EQ(params[kTaperShape]->u.pd.value, c.shape) << "at frame " << c.frame;
    EXPECT_EQ(params[kWidthCurve]->u.path_d.path_id, c.path) << "at frame " << c.frame;
    EXPECT_EQ(store.PathIdAt(kWidthCurve, c.frame), c.path) << "at frame " << c.frame;
    EXPECT_EQ(store.LayerIdAt(kSource, c.frame), c.layer) << "at frame " << c.frame;
  }
}

TEST_F(ParamStoreTest, SavedCurveLoadsBackEqual) {
  lwhost::ParamStore store(session);
  const CurveImage curve = Curve({{0.0f, 0.5f}, {0.25f, 0.9f}, {1.0f, 0.1f}});
  store.SetStatic(kWidthGraph, {.arb = Load(store, curve)});

  std::vector<uint8_t> saved;
  ASSERT_EQ(store.Flatten(kWidthGraph, &saved), PF_Err_NONE);
  EXPECT_EQ(saved, Bytes(curve));
  lwhost::ParamValue loaded;
  ASSERT_EQ(store.LoadArbitrary(kWidthGraph, saved, &loaded), PF_Err_NONE);
  PF_ArbCompareResult result = PF_ArbCompare_NOT_EQUAL;
  ASSERT_EQ(store.Compare(kWidthGraph, store.Static(kWidthGraph).arb, loaded.arb, &result),
            PF_Err_NONE);
  EXPECT_EQ(result, PF_ArbCompare_EQUAL);

  const PF_ArbitraryH dflt = session.DeclaredParams()[kWidthGraph - 1].def.u.arb_d.dephault;
  ASSERT_EQ(store.Compare(kWidthGraph, loaded.arb, dflt, &result), PF_Err_NONE);
  EXPECT_EQ(result, PF_ArbCompare_NOT_EQUAL);

  // Stored data too short to hold a curve makes no value, which the host does not take for
  // success.
  lwhost::ParamValue shortLoad;
  const std::vector<uint8_t> cut(saved.begin(), saved.end() - 1);
  EXPECT_EQ(store.LoadArbitrary(kWidthGraph, cut, &shortLoad), PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_EQ(shortLoad.arb, nullptr);
  ExpectStoreBalanced(store, "save and load");
}

TEST_F(ParamStoreTest, EditedValueBecomesTheStaticValue) {
  lwhost::ParamStore store(session);
  const CurveImage left = Curve({{0.0f, 0.0f}, {1.0f, 0.0f}});
  const CurveImage right = Curve({{0.0f, 1.0f}, {1.0f, 1.0f}});
  store.SetKeys(kWidthGraph, {{0, {.arb = Load(store, left)}}, {8, {.arb = Load(store, right)}}});
  auto array = store.At(2);
  PF_ArbitraryH shown = array->Pointers()[kWidthGraph]->u.arb_d.value;
  ASSERT_NE(shown, nullptr);
  // What a drag in the graph does: the effect edits the value it was handed, in place.
  CurveImage edited = Read(shown);
  edited.y[1] = 0.875f;
  std::memcpy(session.handles.Peek(shown), &edited, sizeof edited);

  ASSERT_EQ(store.AdoptEditedValue(*array, kWidthGraph), PF_Err_NONE);
  EXPECT_FALSE(store.IsAnimated(kWidthGraph));
  std::vector<uint8_t> saved;
  ASSERT_EQ(store.Flatten(kWidthGraph, &saved), PF_Err_NONE);
  EXPECT_EQ(saved, Bytes(edited));
  EXPECT_EQ(array->Pointers()[kWidthGraph]->u.arb_d.value, store.Static(kWidthGraph).arb);
  // Adopting again (the static value shown by a new array) replaces it without a dangling value.
  auto again = store.At(0);
  ASSERT_EQ(store.AdoptEditedValue(*again, kWidthGraph), PF_Err_NONE);
  EXPECT_TRUE(session.handles.IsLive(again->Pointers()[kWidthGraph]->u.arb_d.value));
  ExpectStoreBalanced(store, "edits adopted");
}

TEST_F(ParamStoreTest, NoHandleOutlivesTheStore) {
  {
    lwhost::ParamStore store(session);
    const CurveImage a = Curve({{0.0f, 0.1f}, {1.0f, 0.9f}});
    const CurveImage b = Curve({{0.0f, 0.9f}, {1.0f, 0.1f}});
    Load(store, a);  // loaded and never used
    store.SetKeys(kWidthGraph, {{0, {.arb = Load(store, a)}}, {4, {.arb = Load(store, b)}}});
    auto array = store.At(1);
    store.SetStatic(kWidthGraph, {.arb = Load(store, b)});  // the keys' values are freed
    ExpectStoreBalanced(store, "while the store lives");
  }
  EXPECT_EQ(session.handles.LiveHandles(), before) << "only the session's declared default lives";
  EXPECT_EQ(session.ledger.Report(), "");
}

TEST_F(ParamStoreTest, FailedCallbacksSurfaceAsErrors) {
  session.faults.FailCall("host_new_handle", 1, PF_Err_OUT_OF_MEMORY);
  {
    lwhost::ParamStore store(session);
    EXPECT_EQ(store.SetupError(), PF_Err_OUT_OF_MEMORY) << "the default could not be copied";
    auto array = store.At(0);
    EXPECT_EQ(array->Pointers()[kWidthGraph]->u.arb_d.value, nullptr);
    std::vector<uint8_t> bytes;
    EXPECT_NE(store.Flatten(kWidthGraph, &bytes), PF_Err_NONE);

    const CurveImage a = Curve({{0.0f, 0.1f}, {1.0f, 0.9f}});
    store.SetKeys(kWidthGraph, {{0, {.arb = Load(store, a)}}, {4, {.arb = Load(store, a)}}});
    session.faults.FailCall("host_new_handle", 1, PF_Err_OUT_OF_MEMORY);
    auto interpolated = store.At(2);
    EXPECT_EQ(interpolated->Error(), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(interpolated->Pointers()[kWidthGraph]->u.arb_d.value, nullptr);

    session.faults.FailCall("host_new_handle", 1, PF_Err_OUT_OF_MEMORY);
    lwhost::ParamValue value;
    EXPECT_EQ(store.LoadArbitrary(kWidthGraph, Bytes(a), &value), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(value.arb, nullptr);
    ExpectStoreBalanced(store, "failed allocations");
  }
  EXPECT_EQ(session.handles.LiveHandles(), before);
}

TEST_F(ParamStoreTest, ForeignRefconIsAnswered512) {
  PF_ArbitraryH made = nullptr;
  PF_ArbParamsExtra extra{};
  extra.which_function = PF_Arbitrary_NEW_FUNC;
  extra.u.new_func_params.refconPV = reinterpret_cast<void*>(uintptr_t{0x4C5744435257});
  extra.u.new_func_params.arbPH = &made;
  lwhost::CommandInput input;
  input.extra = &extra;
  const lwhost::CommandResult result = session.Send(PF_Cmd_ARBITRARY_CALLBACK, input);
  EXPECT_EQ(result.err, PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_EQ(made, nullptr);
  ExpectBalanced(result, "NEW with a foreign refcon");
}

TEST_F(ParamStoreTest, SceneValuesLandAtTheirArrayPositions) {
  const std::vector<lwhost::ParamDeclaration> declared =
      lwhost::SceneDeclarations(session.DeclaredParams());
  ASSERT_EQ(declared.size(), 36u);
  EXPECT_EQ(declared[kTaperShape - 1].index, kTaperShape);
  EXPECT_EQ(declared[kTaperShape - 1].choices, (std::vector<std::string>{"Linear", "Smooth"}));
  EXPECT_EQ(declared[6].validMin, 0.1f) << "Segment Length";

  lwhost::ParamStore store(session);
  lwhost::ResolvedParam source{kSource, "Source", lwhost::DeclaredType::kLayer, false, {}};
  lwhost::ResolvedValue checker;
  checker.name = "checker";
  source.keys.push_back({0, checker});
  lwhost::ResolvedParam taper{
      kTaperStart, "Taper Start", lwhost::DeclaredType::kFloatSlider, true, {}};
  for (const auto& [frame, number] : {std::pair{0.0, 20.0}, std::pair{4.0, 60.0}}) {
    lwhost::ResolvedValue value;
    value.number = number;
    taper.keys.push_back({frame, value});
  }
  lwhost::ResolvedParam graph{
      kWidthGraph, "Width Graph", lwhost::DeclaredType::kArbitraryData, false, {}};
  lwhost::ResolvedValue flat;
  const std::vector<uint8_t> bytes = Bytes(Curve({{0.5f, 0.25f}}));
  std::copy(bytes.begin(), bytes.end(), flat.data.begin());
  graph.keys.push_back({0, flat});
  const std::vector<lwhost::ResolvedParam> resolved = {source, taper, graph};

  ASSERT_EQ(lwhost::ApplySceneParams(store, resolved, {{"checker", 5}}, {}), PF_Err_NONE);
  EXPECT_EQ(store.LayerIdAt(kSource, 0), 5);
  auto array = store.At(1);
  EXPECT_DOUBLE_EQ(array->Pointers()[kTaperStart]->u.fs_d.value, 30);
  std::vector<uint8_t> saved;
  ASSERT_EQ(store.Flatten(kWidthGraph, &saved), PF_Err_NONE);
  EXPECT_EQ(saved, bytes);
  EXPECT_THROW(lwhost::ApplySceneParams(store, resolved, {}, {}), std::invalid_argument);
  ExpectStoreBalanced(store, "scene values");
}

}  // namespace
}  // namespace lwtest
