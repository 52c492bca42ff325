// The [0, 1] numbers frei0r hosts send, mapped onto every parameter the effect declares: read from
// the declarations, each default, each end of a range and each popup choice comes back unchanged.
#include "params/unit_params.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "params/param_store.h"
#include "plugin_session.h"

namespace lwtest {
namespace {

class UnitParamsTest : public PluginTest {
 protected:
  void SetUp() override {
    session.GlobalSetup();
    ASSERT_EQ(session.Send(PF_Cmd_PARAMS_SETUP).err, PF_Err_NONE);
    store = std::make_unique<lwhost::ParamStore>(session);
    params = lwhost::UnitParams(*store);
  }
  std::unique_ptr<lwhost::ParamStore> store;
  std::vector<lwhost::UnitParam> params;
};

TEST_F(UnitParamsTest, EveryNumericParameterIsListedInDeclarationOrder) {
  size_t numeric = 0;
  for (int index = 1; index < store->Count(); ++index) {
    const PF_ParamType type = store->Declaration(index).param_type;
    numeric += type == PF_Param_FLOAT_SLIDER || type == PF_Param_ANGLE || type == PF_Param_POPUP;
  }
  ASSERT_EQ(params.size(), numeric);
  for (size_t i = 1; i < params.size(); ++i) {
    EXPECT_LT(params[i - 1].index, params[i].index);
  }
  for (const lwhost::UnitParam& param : params) {
    EXPECT_EQ(param.name.find('('), std::string::npos) << param.label;
    EXPECT_EQ(param.label.rfind(param.name, 0), 0u) << param.label;
  }
}

TEST_F(UnitParamsTest, DefaultsAndEndsRoundTrip) {
  for (const lwhost::UnitParam& param : params) {
    const lwhost::ParamValue declared = store->Static(param.index);
    const double unit = param.unitDefault;
    ASSERT_TRUE(unit >= 0.0 && unit <= 1.0) << param.label;
    const lwhost::ParamValue back = lwhost::FromUnit(param, unit, declared);
    switch (param.kind) {
      case lwhost::UnitParamKind::kSlider:
        EXPECT_NEAR(back.number, declared.number, 1e-9 * (param.max - param.min)) << param.label;
        EXPECT_DOUBLE_EQ(lwhost::FromUnit(param, 0.0).number, param.min) << param.label;
        EXPECT_DOUBLE_EQ(lwhost::FromUnit(param, 1.0).number, param.max) << param.label;
        break;
      case lwhost::UnitParamKind::kAngle:
        EXPECT_EQ(back.fixed, declared.fixed) << param.label;
        EXPECT_EQ(lwhost::FromUnit(param, 0.0).fixed, -180 * 65536) << param.label;
        EXPECT_EQ(lwhost::FromUnit(param, 1.0).fixed, 180 * 65536) << param.label;
        break;
      case lwhost::UnitParamKind::kPopup:
        EXPECT_EQ(back.popup, declared.popup) << param.label;
        for (int choice = 1; choice <= static_cast<int>(param.choices.size()); ++choice) {
          lwhost::ParamValue value;
          value.popup = choice;
          EXPECT_EQ(lwhost::FromUnit(param, lwhost::ToUnit(param, value)).popup, choice)
              << param.label << " choice " << choice;
        }
        break;
    }
  }
}

TEST_F(UnitParamsTest, ValuesOutsideZeroToOneAreClamped) {
  for (double bad : {-0.5, 1.5, std::nan(""), std::numeric_limits<double>::infinity()}) {
    double unit = bad;
    EXPECT_FALSE(lwhost::ClampUnit(&unit)) << bad;
    EXPECT_TRUE(unit >= 0.0 && unit <= 1.0) << bad;
  }
  double good = 0.25;
  EXPECT_TRUE(lwhost::ClampUnit(&good));
  EXPECT_EQ(good, 0.25);
}

}  // namespace
}  // namespace lwtest
