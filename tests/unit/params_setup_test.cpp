// Parameter set-up against a recording add_param: the 36 declarations checked against a table
// written here from the effect's documented parameter list, the refusal rules and the custom UI.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fake_handle_host.h"
#include "params/params_setup.h"

namespace lwd {
namespace {

enum Kind { kLayer, kMask, kSlider, kPopup, kAngle, kGraph, kButton };

struct Expected {
  int index;
  Kind kind;
  int id;
  const char* label;
  double dflt;  // slider value, popup choice or angle in 16.16
  float validMin, validMax, sliderMin, sliderMax;
  int precision;
  bool percent;
  const char* choices;  // popup choice list, or button text
  int numChoices;
  int uiFlags;
  int flags;
};

// A label or button text that is left to the string table (its exact words are not fixed).
const char* const kAnyText = nullptr;

// clang-format off
const Expected kExpected[36] = {
  // index kind     id  label                          default valid min/max  slider min/max prec %
  { 1, kMask,    1, "Path",                          0,     0,     0,     0,    0, 0, false, nullptr, 0, 0, 0},
  { 2, kSlider, 37, "Smooth Corners",                0,     0,   100,     0,  100, 1, true,  nullptr, 0, 0, 0},
  { 3, kLayer,   2, "Source",                        0,     0,     0,     0,    0, 0, false, nullptr, 0, 0, 0},
  { 4, kPopup,   3, "Stretch Along Path",            1,     0,     0,     0,    0, 0, false, "Width|Height", 2, 0, 0},
  { 5, kPopup,   4, "Fit",                           1,     0,     0,     0,    0, 0, false, "Stretch|Tile|Segment", 3, 0, 0},
  { 6, kSlider, 28, "Segment Position",              0,  -200,   300,  -100,  200, 1, true,  nullptr, 0, 0, 0},
  { 7, kSlider, 29, "Segment Length",               25,  0.1f,   200,  0.1f,  100, 1, true,  nullptr, 0, 0, 0},
  { 8, kPopup,  36, "Segment Grows From",            1,     0,     0,     0,    0, 0, false, "Start|Center|End", 3, 0, 0},
  { 9, kSlider,  5, "Thickness (0 = from source)",   0, -4000,  4000,  -500,  500, 1, false, nullptr, 0, 0, 0},
  {10, kSlider, 13, "Taper Start",                   0,     0,   100,     0,  100, 1, true,  nullptr, 0, 0, 0},
  {11, kSlider, 14, "Taper End",                     0,     0,   100,     0,  100, 1, true,  nullptr, 0, 0, 0},
  {12, kPopup,  15, "Taper Shape",                   2,     0,     0,     0,    0, 0, false, "Linear|Smooth", 2, 0, 0},
  {13, kMask,   26, "Width Curve",                   0,     0,     0,     0,    0, 0, false, nullptr, 0, 0, 0},
  {14, kGraph,  27, "Width Graph",                   0,     0,     0,     0,    0, 0, false, nullptr, 0, 0x82, 0},
  {15, kSlider, 21, "Start Width",                 100,     0,   400,     0,  200, 1, true,  nullptr, 0, 0, 0},
  {16, kSlider, 22, "End Width",                   100,     0,   400,     0,  200, 1, true,  nullptr, 0, 0, 0},
  {17, kSlider,  6, "Offset",                        0,  -500,   500,  -100,  100, 1, true,  nullptr, 0, 0, 0},
  {18, kSlider,  7, "Trim Start",                    0,     0,   100,     0,  100, 1, true,  nullptr, 0, 0, 0},
  {19, kSlider,  8, "Trim End",                    100,     0,   100,     0,  100, 1, true,  nullptr, 0, 0, 0},
  {20, kAngle,  23, "Bank",                          0,     0,     0,     0,    0, 0, false, nullptr, 0, 0, 0},
  {21, kPopup,  24, "Surface",                       1,     0,     0,     0,    0, 0, false, "Tube|Flat", 2, 0, 0},
  {22, kSlider, 16, "Shading",                       0,     0,   100,     0,  100, 1, true,  nullptr, 0, 0, 0},
  {23, kAngle,  17, "Light Direction",               0,     0,     0,     0,    0, 0, false, nullptr, 0, 0, 0},
  {24, kSlider, 18, "Depth",                         0,     0,   200,     0,  100, 1, false, nullptr, 0, 0, 0},
  {25, kAngle,  19, "Depth Direction",      0x00B40000,     0,     0,     0,    0, 0, false, nullptr, 0, 0, 0},
  {26, kSlider, 20, "Depth Shade",                  45,     0,   100,     0,  100, 1, true,  nullptr, 0, 0, 0},
  {27, kSlider, 10, "Expand Bounds",                 0,     0,  2000,     0,  500, 0, false, nullptr, 0, 0, 0},
  {28, kPopup,  25, "Quality",                       1,     0,     0,     0,    0, 0, false, "Normal|High", 2, 0, 0},
  {29, kSlider,  9, "Opacity",                     100,     0,   100,     0,  100, 1, true,  nullptr, 0, 0, 0},
  {30, kButton, 12, "",                              0,     0,     0,     0,    0, 0, false, "v1.7  build 24", 0, 0x20, 0},
  {31, kButton, 38, "",                              0,     0,     0,     0,    0, 0, false, kAnyText, 0, 0, 0x40},
  {32, kButton, 39, "",                              0,     0,     0,     0,    0, 0, false, kAnyText, 0, 0x20, 0},
  {33, kSlider, 30, "Auto Bank",                     0,     0,   200,     0,  200, 1, true,  nullptr, 0, 0, 0},
  {34, kSlider, 31, "Flat Position",                50,     0,   100,     0,  100, 1, true,  nullptr, 0, 0, 0},
  {35, kSlider, 32, "Flat Width",                   20,     0,   100,     0,  100, 1, true,  nullptr, 0, 0, 0},
  {36, kSlider, 33, "Bank Falloff",                 35,     1,   100,     1,  100, 1, true,  nullptr, 0, 0, 0},
};
// clang-format on

constexpr PF_Err kRefusal = 513;  // any host error will do; it must come back unchanged

// What the host saw: copies of every record passed to add_param, and the custom UI registration.
struct Recorder {
  std::vector<PF_ParamDef> params;
  std::vector<PF_ParamIndex> positions;
  int refuseCall = 0;  // 1-based add_param call to refuse; 0 refuses none
  int registerCalls = 0;
  PF_CustomUIInfo ui{};
  PF_Err registerResult = PF_Err_NONE;
};
Recorder* g_rec = nullptr;

PF_Err RecordAddParam(PF_ProgPtr, PF_ParamIndex index, PF_ParamDefPtr def) {
  g_rec->positions.push_back(index);
  if (static_cast<int>(g_rec->positions.size()) == g_rec->refuseCall) {
    return kRefusal;
  }
  g_rec->params.push_back(*def);
  return PF_Err_NONE;
}

PF_Err RecordRegisterUi(PF_ProgPtr, PF_CustomUIInfo* info) {
  ++g_rec->registerCalls;
  g_rec->ui = *info;
  return g_rec->registerResult;
}

class ParamsSetupTest : public ::testing::Test {
 protected:
  ParamsSetupTest() {
    g_rec = &rec;
    host.inData()->inter.add_param = &RecordAddParam;
    host.inData()->inter.register_ui = &RecordRegisterUi;
    std::memset(&out, 0, sizeof out);
    out.num_params = kUnwritten;
  }
  ~ParamsSetupTest() override { g_rec = nullptr; }

  PF_Err Run() { return ParamsSetup(host.inData(), &out); }

  static constexpr A_long kUnwritten = -7;
  FakeHandleHost host;
  Recorder rec;
  PF_OutData out;
};

std::string Text(const char* s) {
  return s == nullptr ? "(null)" : s;
}

// Checks one declaration against its row, then blanks every field the row accounts for; what is
// left must be all zero bytes (the record was cleared and nothing else was set).
void CheckDeclaration(const Expected& e, PF_ParamDef d, const std::vector<unsigned char>& graph) {
  SCOPED_TRACE(::testing::Message() << "parameter " << e.index << " \"" << e.label << "\"");
  EXPECT_EQ(d.uu.id, e.id);
  EXPECT_STREQ(d.name, e.label);
  EXPECT_EQ(d.ui_flags, e.uiFlags);
  EXPECT_EQ(d.flags, e.flags);
  d.uu.id = 0;
  std::memset(d.name, 0, sizeof d.name);
  d.ui_flags = 0;
  d.flags = 0;

  switch (e.kind) {
    case kLayer:
      EXPECT_EQ(d.param_type, PF_Param_LAYER);
      EXPECT_EQ(d.u.ld.dephault, PF_LayerDefault_NONE);
      break;
    case kMask:
      EXPECT_EQ(d.param_type, PF_Param_PATH);
      EXPECT_EQ(d.u.path_d.dephault, 0);
      break;
    case kSlider: {
      EXPECT_EQ(d.param_type, PF_Param_FLOAT_SLIDER);
      PF_FloatSliderDef& fs = d.u.fs_d;
      EXPECT_EQ(fs.value, e.dflt);
      EXPECT_EQ(fs.dephault, static_cast<float>(e.dflt));
      EXPECT_EQ(fs.valid_min, e.validMin);
      EXPECT_EQ(fs.valid_max, e.validMax);
      EXPECT_EQ(fs.slider_min, e.sliderMin);
      EXPECT_EQ(fs.slider_max, e.sliderMax);
      EXPECT_EQ(fs.precision, e.precision);
      EXPECT_EQ(fs.display_flags, e.percent ? PF_ValueDisplayFlag_PERCENT : 0);
      fs.value = 0;
      fs.dephault = fs.valid_min = fs.valid_max = fs.slider_min = fs.slider_max = 0;
      fs.precision = 0;
      fs.display_flags = 0;
      break;
    }
    case kPopup: {
      EXPECT_EQ(d.param_type, PF_Param_POPUP);
      EXPECT_EQ(d.u.pd.value, static_cast<int>(e.dflt));
      EXPECT_EQ(d.u.pd.dephault, static_cast<int>(e.dflt));
      EXPECT_EQ(d.u.pd.num_choices, e.numChoices);
      EXPECT_EQ(Text(d.u.pd.u.namesptr), e.choices);
      d.u.pd.value = 0;
      d.u.pd.dephault = 0;
      d.u.pd.num_choices = 0;
      d.u.pd.u.namesptr = nullptr;
      break;
    }
    case kAngle:
      EXPECT_EQ(d.param_type, PF_Param_ANGLE);
      EXPECT_EQ(d.u.ad.value, static_cast<PF_Fixed>(e.dflt));
      EXPECT_EQ(d.u.ad.dephault, static_cast<PF_Fixed>(e.dflt));
      d.u.ad.value = 0;
      d.u.ad.dephault = 0;
      break;
    case kGraph: {
      EXPECT_EQ(d.param_type, PF_Param_ARBITRARY_DATA);
      EXPECT_EQ(d.u.arb_d.id, 27);
      EXPECT_EQ(d.u.arb_d.value, nullptr);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(d.u.arb_d.refconPV), 0x4C5744435256u);
      EXPECT_EQ(d.ui_width, 220);
      EXPECT_EQ(d.ui_height, 150);
      EXPECT_EQ(graph.size(), 100u) << "default curve handle size";
      // The default value is the flat line: two points, (0, 1) and (1, 1).
      if (graph.size() == 100u) {
        float x[2], y[2];
        std::memcpy(x, &graph[4], sizeof x);
        std::memcpy(y, &graph[52], sizeof y);
        EXPECT_EQ(graph[1], 2) << "numPoints";
        EXPECT_EQ(x[0], 0.0f);
        EXPECT_EQ(x[1], 1.0f);
        EXPECT_EQ(y[0], 1.0f);
        EXPECT_EQ(y[1], 1.0f);
      }
      d.u.arb_d.id = 0;
      d.u.arb_d.dephault = nullptr;
      d.u.arb_d.refconPV = nullptr;
      d.ui_width = 0;
      d.ui_height = 0;
      break;
    }
    case kButton:
      EXPECT_EQ(d.param_type, PF_Param_BUTTON);
      ASSERT_NE(d.u.button_d.u.namesptr, nullptr);
      if (e.choices != kAnyText) {
        EXPECT_STREQ(d.u.button_d.u.namesptr, e.choices);
      } else {
        EXPECT_GT(std::strlen(d.u.button_d.u.namesptr), 0u) << "the button shows some text";
      }
      d.u.button_d.u.namesptr = nullptr;
      break;
  }
  d.param_type = 0;
  PF_ParamDef zero;
  std::memset(&zero, 0, sizeof zero);
  EXPECT_EQ(std::memcmp(&d, &zero, sizeof d), 0) << "a field the table does not name is set";
}

TEST_F(ParamsSetupTest, DeclaresTheThirtySixParametersInPanelOrder) {
  ASSERT_EQ(Run(), PF_Err_NONE);
  ASSERT_EQ(rec.params.size(), 36u);
  for (PF_ParamIndex position : rec.positions) {
    EXPECT_EQ(position, -1) << "every parameter is appended";
  }
  for (int i = 0; i < 36; ++i) {
    ASSERT_EQ(kExpected[i].index, i + 1) << "test table out of order";
    std::vector<unsigned char> graph;
    if (kExpected[i].kind == kGraph) {
      auto* block = host.Find(rec.params[i].u.arb_d.dephault);
      ASSERT_NE(block, nullptr) << "the graph has a default handle";
      graph.assign(block->bytes.begin(), block->bytes.begin() + block->size);
    }
    CheckDeclaration(kExpected[i], rec.params[i], graph);
  }
  EXPECT_EQ(out.num_params, 37);
}

TEST_F(ParamsSetupTest, DiskIdsAreTheStoredOnes) {
  // Stored projects refer to the ids: 1 to 39 without 11, 34 and 35, each used once.
  ASSERT_EQ(Run(), PF_Err_NONE);
  std::vector<int> seen(40, 0);
  for (const PF_ParamDef& d : rec.params) {
    ASSERT_GT(d.uu.id, 0);
    ASSERT_LT(d.uu.id, 40);
    ++seen[d.uu.id];
  }
  for (int id = 1; id < 40; ++id) {
    const bool unused = id == 11 || id == 34 || id == 35;
    EXPECT_EQ(seen[id], unused ? 0 : 1) << "disk id " << id;
  }
}

TEST_F(ParamsSetupTest, RegistersTheEffectPanelControlLast) {
  ASSERT_EQ(Run(), PF_Err_NONE);
  EXPECT_EQ(rec.registerCalls, 1);
  PF_CustomUIInfo want;
  std::memset(&want, 0, sizeof want);
  want.events = PF_CustomEFlag_EFFECT;
  EXPECT_EQ(rec.ui.events, 4);
  EXPECT_EQ(std::memcmp(&rec.ui, &want, sizeof want), 0) << "only the event flags are set";
}

TEST_F(ParamsSetupTest, RegisterUiResultIsTheResult) {
  rec.registerResult = PF_Err_INVALID_CALLBACK;
  EXPECT_EQ(Run(), PF_Err_INVALID_CALLBACK);
  EXPECT_EQ(out.num_params, 37);
}

TEST_F(ParamsSetupTest, FirstRefusalStopsTheDeclaration) {
  for (int k : {1, 2, 13, 14, 15, 30, 36}) {
    FakeHandleHost handles;  // a fresh handle count per case
    handles.inData()->inter = host.inData()->inter;
    rec = Recorder{};
    rec.refuseCall = k;
    out.num_params = kUnwritten;
    EXPECT_EQ(ParamsSetup(handles.inData(), &out), kRefusal) << "refusing call " << k;
    EXPECT_EQ(rec.positions.size(), static_cast<std::size_t>(k)) << "refusing call " << k;
    EXPECT_EQ(out.num_params, kUnwritten) << "refusing call " << k;
    EXPECT_EQ(rec.registerCalls, 0) << "refusing call " << k;
    // Once the host accepted the graph it owns the default curve; a refused graph leaves none.
    EXPECT_EQ(handles.Live(), k > 14 ? 1 : 0) << "refusing call " << k;
    EXPECT_EQ(handles.Problems(), "") << "refusing call " << k;
  }
}

TEST_F(ParamsSetupTest, DefaultCurveFailureStillDeclaresEverything) {
  for (bool lockFails : {false, true}) {
    FakeHandleHost handles;
    handles.inData()->inter = host.inData()->inter;
    handles.failNew = !lockFails;
    handles.failLockOfNew = lockFails;
    rec = Recorder{};
    out.num_params = kUnwritten;
    EXPECT_EQ(ParamsSetup(handles.inData(), &out), PF_Err_OUT_OF_MEMORY);
    ASSERT_EQ(rec.params.size(), 36u);
    EXPECT_EQ(rec.params[13].u.arb_d.dephault, nullptr) << "the graph is declared without default";
    EXPECT_EQ(rec.params[35].uu.id, 33) << "declaration went on to the last parameter";
    EXPECT_EQ(out.num_params, 37);
    EXPECT_EQ(rec.registerCalls, 0);
    EXPECT_EQ(handles.Live(), 0);
    EXPECT_EQ(handles.Problems(), "");
  }
}

TEST_F(ParamsSetupTest, MissingHostCallbacksAreReported) {
  host.inData()->inter.add_param = nullptr;
  EXPECT_EQ(Run(), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(out.num_params, kUnwritten);
  EXPECT_EQ(ParamsSetup(nullptr, &out), PF_Err_BAD_CALLBACK_PARAM);
}

}  // namespace
}  // namespace lwd
