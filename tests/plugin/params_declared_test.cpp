// The parameter list as the host receives it from the loaded effect at PARAMS_SETUP, against a
// table written out here from the effect panel's design, and the set-up's answers when the host
// refuses a parameter or cannot hand out the default curve.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin_session.h"

namespace lwtest {
namespace {

enum class Kind { kSlider, kPopup, kAngle, kLayer, kPath, kArb, kButton };

struct Row {
  int index;
  int id;
  Kind kind;
  const char* label;
  double dflt = 0;  // sliders; popups (from 1); angles in 16.16
  float validMin = 0, validMax = 0, sliderMin = 0, sliderMax = 0;
  int precision = 0;
  bool percent = false;
  const char* text = nullptr;  // popup choices or button text
  int numChoices = 0;
  long uiFlags = 0;
  long flags = 0;
};

Row Slider(int index, int id, const char* label, double dflt, float vmin, float vmax, float smin,
           float smax, int precision, bool percent) {
  return {index, id, Kind::kSlider, label, dflt, vmin, vmax, smin, smax, precision, percent};
}
Row Popup(int index, int id, const char* label, int dflt, const char* choices, int count) {
  Row row{index, id, Kind::kPopup, label, static_cast<double>(dflt)};
  row.text = choices;
  row.numChoices = count;
  return row;
}
Row Angle(int index, int id, const char* label, long fixed) {
  return {index, id, Kind::kAngle, label, static_cast<double>(fixed)};
}
Row Button(int index, int id, const char* text, long uiFlags, long flags) {
  Row row{index, id, Kind::kButton, ""};
  row.text = text;
  row.uiFlags = uiFlags;
  row.flags = flags;
  return row;
}

const std::vector<Row>& Expected() {
  static const std::vector<Row> rows = {
      {1, 1, Kind::kPath, "Path"},
      Slider(2, 37, "Smooth Corners", 0, 0, 100, 0, 100, 1, true),
      {3, 2, Kind::kLayer, "Source"},
      Popup(4, 3, "Stretch Along Path", 1, "Width|Height", 2),
      Popup(5, 4, "Fit", 1, "Stretch|Tile|Segment", 3),
      Slider(6, 28, "Segment Position", 0, -200, 300, -100, 200, 1, true),
      Slider(7, 29, "Segment Length", 25, 0.1f, 200, 0.1f, 100, 1, true),
      Popup(8, 36, "Segment Grows From", 1, "Start|Center|End", 3),
      Slider(9, 5, "Thickness (0 = from source)", 0, -4000, 4000, -500, 500, 1, false),
      Slider(10, 13, "Taper Start", 0, 0, 100, 0, 100, 1, true),
      Slider(11, 14, "Taper End", 0, 0, 100, 0, 100, 1, true),
      Popup(12, 15, "Taper Shape", 2, "Linear|Smooth", 2),
      {13, 26, Kind::kPath, "Width Curve"},
      {14, 27, Kind::kArb, "Width Graph"},
      Slider(15, 21, "Start Width", 100, 0, 400, 0, 200, 1, true),
      Slider(16, 22, "End Width", 100, 0, 400, 0, 200, 1, true),
      Slider(17, 6, "Offset", 0, -500, 500, -100, 100, 1, true),
      Slider(18, 7, "Trim Start", 0, 0, 100, 0, 100, 1, true),
      Slider(19, 8, "Trim End", 100, 0, 100, 0, 100, 1, true),
      Angle(20, 23, "Bank", 0),
      Popup(21, 24, "Surface", 1, "Tube|Flat", 2),
      Slider(22, 16, "Shading", 0, 0, 100, 0, 100, 1, true),
      Angle(23, 17, "Light Direction", 0),
      Slider(24, 18, "Depth", 0, 0, 200, 0, 100, 1, false),
      Angle(25, 19, "Depth Direction", 180L * 65536),
      Slider(26, 20, "Depth Shade", 45, 0, 100, 0, 100, 1, true),
      Slider(27, 10, "Expand Bounds", 0, 0, 2000, 0, 500, 0, false),
      Popup(28, 25, "Quality", 1, "Normal|High", 2),
      Slider(29, 9, "Opacity", 100, 0, 100, 0, 100, 1, true),
      Button(30, 12, "v1.7  build 24", 0x20, 0),
      Button(31, 38, "Get Lathewind Pro...", 0, 0x40),
      Button(32, 39, "(c) 2026 Corvane", 0x20, 0),
      Slider(33, 30, "Auto Bank", 0, 0, 200, 0, 200, 1, true),
      Slider(34, 31, "Flat Position", 50, 0, 100, 0, 100, 1, true),
      Slider(35, 32, "Flat Width", 20, 0, 100, 0, 100, 1, true),
      Slider(36, 33, "Bank Falloff", 35, 1, 100, 1, 100, 1, true),
  };
  return rows;
}

// Index 0 plus the 36 declared parameters.
constexpr A_long kNumParams = 37;
// What num_params holds before set-up, to see whether set-up wrote it.
constexpr A_long kUntouched = -7;
// The graph's control area in the effect panel and its flags: own control, not erased first.
constexpr A_short kGraphWidth = 220;
constexpr A_short kGraphHeight = 150;
constexpr long kGraphUiFlags = 0x82;

void ExpectRow(const Row& row, const lwhost::DeclaredParam& got) {
  const PF_ParamDef& def = got.def;
  const std::string where = "parameter " + std::to_string(row.index) + " \"" + row.label + "\"";
  EXPECT_EQ(got.index, -1) << where << ": appended at the end";
  EXPECT_EQ(def.uu.id, row.id) << where;
  EXPECT_STREQ(def.name, row.label) << where;
  EXPECT_EQ(def.name[PF_MAX_EFFECT_PARAM_NAME_LEN], '\0') << where;
  EXPECT_EQ(def.flags, row.flags) << where;
  const long uiFlags = row.kind == Kind::kArb ? kGraphUiFlags : row.uiFlags;
  EXPECT_EQ(def.ui_flags, uiFlags) << where;
  switch (row.kind) {
    case Kind::kSlider:
      ASSERT_EQ(def.param_type, PF_Param_FLOAT_SLIDER) << where;
      EXPECT_EQ(def.u.fs_d.value, row.dflt) << where;
      EXPECT_EQ(def.u.fs_d.dephault, static_cast<float>(row.dflt)) << where;
      EXPECT_EQ(def.u.fs_d.valid_min, row.validMin) << where;
      EXPECT_EQ(def.u.fs_d.valid_max, row.validMax) << where;
      EXPECT_EQ(def.u.fs_d.slider_min, row.sliderMin) << where;
      EXPECT_EQ(def.u.fs_d.slider_max, row.sliderMax) << where;
      EXPECT_EQ(def.u.fs_d.precision, row.precision) << where;
      EXPECT_EQ(def.u.fs_d.display_flags, row.percent ? 1 : 0) << where;
      EXPECT_EQ(def.u.fs_d.fs_flags, 0u) << where;
      EXPECT_EQ(def.u.fs_d.curve_tolerance, 0.0f) << where;
      break;
    case Kind::kPopup:
      ASSERT_EQ(def.param_type, PF_Param_POPUP) << where;
      EXPECT_EQ(def.u.pd.value, row.dflt) << where;
      EXPECT_EQ(def.u.pd.dephault, row.dflt) << where;
      EXPECT_EQ(def.u.pd.num_choices, row.numChoices) << where;
      EXPECT_EQ(got.text, row.text) << where;
      break;
    case Kind::kAngle:
      ASSERT_EQ(def.param_type, PF_Param_ANGLE) << where;
      EXPECT_EQ(def.u.ad.value, row.dflt) << where;
      EXPECT_EQ(def.u.ad.dephault, row.dflt) << where;
      break;
    case Kind::kLayer:
      ASSERT_EQ(def.param_type, PF_Param_LAYER) << where;
      break;
    case Kind::kPath:
      ASSERT_EQ(def.param_type, PF_Param_PATH) << where;
      EXPECT_EQ(def.u.path_d.dephault, 0) << where;
      break;
    case Kind::kArb:
      ASSERT_EQ(def.param_type, PF_Param_ARBITRARY_DATA) << where;
      EXPECT_EQ(def.u.arb_d.id, 27) << where;
      EXPECT_EQ(def.u.arb_d.value, nullptr) << where;
      // "LWDCRV", first character most significant.
      EXPECT_EQ(reinterpret_cast<uintptr_t>(def.u.arb_d.refconPV), 0x4C5744435256u) << where;
      EXPECT_EQ(def.ui_width, kGraphWidth) << where;
      EXPECT_EQ(def.ui_height, kGraphHeight) << where;
      break;
    case Kind::kButton:
      ASSERT_EQ(def.param_type, PF_Param_BUTTON) << where;
      EXPECT_EQ(got.text, row.text) << where;
      break;
  }
}

class ParamsDeclaredTest : public PluginTest {
 protected:
  lwhost::CommandResult DeclareParams() {
    lwhost::CommandInput input;
    input.out.num_params = kUntouched;
    return session.Send(PF_Cmd_PARAMS_SETUP, input);
  }
};

TEST_F(ParamsDeclaredTest, DeclaresTheThirtySixParametersOfThePanel) {
  const lwhost::CommandResult result = DeclareParams();
  ASSERT_EQ(result.err, PF_Err_NONE);
  ExpectBalanced(result, "params set-up");
  EXPECT_EQ(result.out.num_params, kNumParams);

  const std::vector<lwhost::DeclaredParam> declared = session.DeclaredParams();
  ASSERT_EQ(declared.size(), Expected().size());
  for (size_t i = 0; i < declared.size(); ++i) {
    ExpectRow(Expected()[i], declared[i]);
  }
  // The default curve is a live handle that the host now keeps.
  const PF_ArbitraryH dflt = declared[13].def.u.arb_d.dephault;
  ASSERT_NE(dflt, nullptr);
  EXPECT_TRUE(session.handles.IsLive(dflt));
  EXPECT_EQ(session.handles.LockCount(dflt), 0);

  const std::vector<PF_CustomUIInfo> uis = session.CustomUIs();
  ASSERT_EQ(uis.size(), 1u);
  PF_CustomUIInfo expected{};
  expected.events = PF_CustomEFlag_EFFECT;
  EXPECT_EQ(std::memcmp(&uis[0], &expected, sizeof expected), 0)
      << "events " << uis[0].events << "; every other field zero";
}

TEST_F(ParamsDeclaredTest, FirstRefusalEndsSetUpWithTheHostsError) {
  for (int k : {1, 14, 36}) {
    session.faults.Clear();
    session.faults.FailCall("add_param", k, PF_Err_INVALID_INDEX);
    const lwhost::CommandResult result = DeclareParams();
    const std::string what = "add_param refused at call " + std::to_string(k);
    EXPECT_EQ(result.err, PF_Err_INVALID_INDEX) << what;
    ExpectBalanced(result, what);  // a refused graph's default curve is freed by the effect
    EXPECT_EQ(session.DeclaredParams().size(), static_cast<size_t>(k - 1)) << what;
    EXPECT_EQ(result.out.num_params, kUntouched) << what;
    EXPECT_TRUE(session.CustomUIs().empty()) << what;
  }
}

TEST_F(ParamsDeclaredTest, DefaultCurveAllocationFailureDeclaresAllButRegistersNoUI) {
  session.faults.FailCall("host_new_handle", 1, PF_Err_OUT_OF_MEMORY);
  const lwhost::CommandResult result = DeclareParams();
  EXPECT_EQ(result.err, PF_Err_OUT_OF_MEMORY);
  ExpectBalanced(result, "default curve not allocated");
  const std::vector<lwhost::DeclaredParam> declared = session.DeclaredParams();
  ASSERT_EQ(declared.size(), Expected().size());
  EXPECT_EQ(declared[13].def.param_type, PF_Param_ARBITRARY_DATA);
  EXPECT_EQ(declared[13].def.u.arb_d.dephault, nullptr);
  EXPECT_EQ(result.out.num_params, kNumParams);
  EXPECT_TRUE(session.CustomUIs().empty());
}

}  // namespace
}  // namespace lwtest
