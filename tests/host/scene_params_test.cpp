#include "scenes/scene_params.h"

#include <gtest/gtest.h>

#include <vector>

namespace lwhost {
namespace {

// A few of the effect's declarations, filled as the host fills them from PARAMS_SETUP.
std::vector<ParamDeclaration> Declared() {
  return {
      {1, "Path", DeclaredType::kPath, 0, 0, {}},
      {3, "Source", DeclaredType::kLayer, 0, 0, {}},
      {5, "Fit", DeclaredType::kPopup, 0, 0, SplitPopupChoices("Stretch|Tile|Segment")},
      {7, "Segment Length", DeclaredType::kFloatSlider, 0.1f, 200, {}},
      {9, "Thickness (0 = from source)", DeclaredType::kFloatSlider, -4000, 4000, {}},
      {10, "Taper Start", DeclaredType::kFloatSlider, 0, 100, {}},
      {14, "Width Graph", DeclaredType::kArbitraryData, 0, 0, {}},
      {20, "Bank", DeclaredType::kAngle, 0, 0, {}},
      {30, "", DeclaredType::kButton, 0, 0, {}},
  };
}

Scene SceneWith(const std::string& params) {
  return ParseSceneText(R"({"layers": {"wood": {"empty": true}},
                            "masks": {"spine": {"vertices": []}},
                            "params": )" +
                            params + "}",
                        "s.json", "/");
}

std::vector<ResolvedParam> Resolve(const std::string& params) {
  const std::vector<ParamDeclaration> declared = Declared();
  return ResolveSceneParams(SceneWith(params), declared);
}

TEST(SceneParamsTest, ValuesConvertToWhatTheHostStores) {
  const auto resolved = Resolve(R"J({
    "Taper Start": 100, "Segment Length": 0.1, "Thickness (0 = from source)": -4000,
    "Bank": 180, "Fit": "Segment", "Path": "spine", "Source": "wood"})J");
  ASSERT_EQ(resolved.size(), 7u);
  EXPECT_EQ(resolved[0].index, 10);
  EXPECT_EQ(resolved[0].type, DeclaredType::kFloatSlider);
  EXPECT_EQ(resolved[0].keys.at(0).value.number, 100.0);
  EXPECT_EQ(resolved[1].keys.at(0).value.number, 0.1) << "0.1 meets the float minimum 0.1f";
  EXPECT_EQ(resolved[2].keys.at(0).value.number, -4000.0);
  EXPECT_EQ(resolved[3].keys.at(0).value.fixed, 0x00B40000);
  EXPECT_EQ(resolved[4].keys.at(0).value.popup, 3);
  EXPECT_EQ(resolved[5].keys.at(0).value.name, "spine");
  EXPECT_EQ(resolved[6].keys.at(0).value.name, "wood");
  EXPECT_EQ(Resolve(R"({"Fit": 2})").at(0).keys.at(0).value.popup, 2);
}

TEST(SceneParamsTest, ALabelMayBeNamedByItsTextBeforeTheParenthesisWhenUnique) {
  const auto resolved = Resolve(R"({"Thickness": 12})");
  ASSERT_EQ(resolved.size(), 1u);
  EXPECT_EQ(resolved[0].index, 9);
  EXPECT_EQ(resolved[0].label, "Thickness (0 = from source)");
  // Two labels with the same text before their parentheses: neither short name is taken.
  std::vector<ParamDeclaration> declared = Declared();
  declared.push_back({40, "Thickness (end)", DeclaredType::kFloatSlider, 0, 10, {}});
  EXPECT_THROW(ResolveSceneParams(SceneWith(R"({"Thickness": 1})"), declared), SceneError);
  EXPECT_EQ(ShortLabel("Thickness (0 = from source)"), "Thickness");
  EXPECT_EQ(ShortLabel("Bank"), "Bank");
  EXPECT_EQ(ShortLabel("(odd)"), "");
}

TEST(SceneParamsTest, AnglesRoundToNearestSixteenSixteen) {
  PF_Fixed fixed = 0;
  ASSERT_TRUE(DegreesToFixed(1.0 / 131072, &fixed));  // exactly half a unit
  EXPECT_EQ(fixed, 1);
  ASSERT_TRUE(DegreesToFixed(-1.0 / 131072, &fixed));
  EXPECT_EQ(fixed, 0) << "floor(-0.5 + 0.5)";
  ASSERT_TRUE(DegreesToFixed(-90.00001, &fixed));
  EXPECT_EQ(fixed, -5898241);  // -5898240.655 rounds to -5898241
  EXPECT_TRUE(DegreesToFixed(-32768.0, &fixed));
  EXPECT_EQ(fixed, INT32_MIN);
  EXPECT_FALSE(DegreesToFixed(32768.0, &fixed));
  EXPECT_EQ(Resolve(R"({"Bank": -45.5})").at(0).keys.at(0).value.fixed, -45 * 65536 - 32768);
}

TEST(SceneParamsTest, WidthGraphPointsBecomeTheStoredForm) {
  // The default curve, (0, 1) and (1, 1), has a known byte image.
  std::array<uint8_t, kFlatCurveBytes> expected{};
  expected[0] = 1;
  expected[1] = 2;
  for (const size_t offset : {8u, 52u, 56u}) {  // x[1], y[0], y[1] hold 1.0f = 00 00 80 3F
    expected[offset + 2] = 0x80;
    expected[offset + 3] = 0x3F;
  }
  const auto resolved = Resolve(R"({"Width Graph": [[0, 1], [1, 1]]})");
  EXPECT_EQ(resolved.at(0).keys.at(0).value.data, expected);

  const auto quarter = Resolve(R"({"Width Graph": [[0.25, 0.5]]})");
  const auto& bytes = quarter.at(0).keys.at(0).value.data;
  EXPECT_EQ(bytes[1], 1);
  EXPECT_EQ(bytes[7], 0x3E) << "0.25f = 00 00 80 3E";
  EXPECT_EQ(bytes[6], 0x80);
  EXPECT_EQ(bytes[55], 0x3F) << "0.5f = 00 00 00 3F";
  EXPECT_EQ(bytes[8], 0) << "unused slots stay zero";

  const auto none = Resolve(R"({"Width Graph": []})");
  EXPECT_EQ(none.at(0).keys.at(0).value.data[0], 1);
  EXPECT_EQ(none.at(0).keys.at(0).value.data[1], 0);

  std::string hex;
  for (int i = 0; i < 100; ++i) {
    hex += i == 3 ? "AB" : "01";
  }
  const auto flat = Resolve(R"({"Width Graph": {"flat": ")" + hex + "\"}}");
  EXPECT_EQ(flat.at(0).keys.at(0).value.data[3], 0xAB) << "the flat form passes unchanged";
  EXPECT_EQ(flat.at(0).keys.at(0).value.data[99], 0x01);
}

TEST(SceneParamsTest, KeyframesConvertEveryKey) {
  const auto resolved = Resolve(R"({"Fit": {"keys": [[0, "Tile"], [10, 3]]}})");
  ASSERT_EQ(resolved.size(), 1u);
  EXPECT_TRUE(resolved[0].animated);
  ASSERT_EQ(resolved[0].keys.size(), 2u);
  EXPECT_EQ(resolved[0].keys[0].value.popup, 2);
  EXPECT_EQ(resolved[0].keys[1].frame, 10.0);
  EXPECT_EQ(resolved[0].keys[1].value.popup, 3);
}

struct BadValue {
  const char* params;
  const char* pointer;
  const char* problem;
};

TEST(SceneParamsTest, BadValuesNameTheLocationAndTheRange) {
  const BadValue cases[] = {
      {R"({"Taper Start": 150})", "/params/Taper Start",
       "150 is out of range: \"Taper Start\" takes 0 to 100"},
      {R"({"Taper Start": -0.5})", "/params/Taper Start", "takes 0 to 100"},
      {R"({"Segment Length": 0.09})", "/params/Segment Length", "takes 0.1 to 200"},
      {R"J({"Thickness (0 = from source)": 4000.5})J", "/params/Thickness (0 = from source)",
       "takes -4000 to 4000"},
      {R"({"Taper Start": "50"})", "/params/Taper Start", "takes a number, not a text"},
      {R"({"Taper Start": {"keys": [[0, 1], [5, 101]]}})", "/params/Taper Start/keys/1/1",
       "101 is out of range"},
      {R"({"Bank": 40000})", "/params/Bank", "out of range: \"Bank\" takes -32768 to"},
      {R"({"Bank": "up"})", "/params/Bank", "takes an angle in degrees"},
      {R"({"Fit": 4})", "/params/Fit",
       "4 is not a choice of \"Fit\": choices are 1 \"Stretch\", 2 \"Tile\", 3 \"Segment\""},
      {R"({"Fit": 0})", "/params/Fit", "not a choice"},
      {R"({"Fit": 1.5})", "/params/Fit", "not a choice"},
      {R"({"Fit": "tile"})", "/params/Fit", "\"tile\" is not a choice"},
      {R"({"Fit": [[0, 0]]})", "/params/Fit", "takes a choice number or text"},
      {R"({"Path": "ribbon"})", "/params/Path", "no mask named \"ribbon\""},
      {R"({"Path": 1})", "/params/Path", "takes a mask name"},
      {R"({"Source": "spine"})", "/params/Source", "no layer named \"spine\""},
      {R"({"Width Graph": 1})", "/params/Width Graph", "takes a list of [x, y] points"},
      {R"({"Width Graph": [[0, 0], [0.5, 1.5]]})", "/params/Width Graph/1/1",
       "1.5 is out of range: point coordinates are 0 to 1"},
      {R"({"Width Graph": [[-0.1, 0]]})", "/params/Width Graph/0/0", "out of range"},
      {R"({"Width Graph": [[0,0],[0,0],[0,0],[0,0],[0,0],[0,0],[0,0],[0,0],[0,0],[0,0],[0,0],
           [0,0],[0,0]]})",
       "/params/Width Graph", "13 points is out of range: \"Width Graph\" takes 0 to 12 points"},
      {R"({"Taper Ending": 1})", "/params/Taper Ending", "unknown parameter \"Taper Ending\""},
      {R"({"Taper Strat": 1})", "/params/Taper Strat", "(did you mean \"Taper Start\"?)"},
      {R"({"Thicknes": 1})", "/params/Thicknes", "(did you mean \"Thickness\"?)"},
      {R"J({"Thickness (0 = from source)": 1, "Thickness": 2})J", "/params/Thickness",
       "is given twice"},
      {R"({"": 1})", "/params/", "unknown parameter \"\""},
  };
  const std::vector<ParamDeclaration> declared = Declared();
  for (const BadValue& bad : cases) {
    try {
      ResolveSceneParams(SceneWith(bad.params), declared);
      ADD_FAILURE() << "accepted: " << bad.params;
    } catch (const SceneError& error) {
      EXPECT_EQ(error.file(), "s.json");
      EXPECT_EQ(error.pointer(), bad.pointer) << bad.params << "\n" << error.what();
      EXPECT_NE(error.problem().find(bad.problem), std::string::npos) << bad.params << "\n"
                                                                      << error.what();
    }
  }
}

TEST(SceneParamsTest, PopupChoiceListsSplitAtBars) {
  EXPECT_EQ(SplitPopupChoices("Width|Height"), (std::vector<std::string>{"Width", "Height"}));
  EXPECT_EQ(SplitPopupChoices("One"), (std::vector<std::string>{"One"}));
  EXPECT_EQ(SplitPopupChoices("a||b"), (std::vector<std::string>{"a", "", "b"}));
}

}  // namespace
}  // namespace lwhost
