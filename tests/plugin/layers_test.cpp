// Layer worlds lent through checkout_param and the Fill Matte suite, called by hand inside a
// command as the effect calls them.
#include <gtest/gtest.h>

#include "ae_effect_suites.h"
#include "layers/layers.h"
#include "params/param_store.h"
#include "scene_builder.h"

namespace lwtest {
namespace {

constexpr PF_ParamIndex kSource = 3;  // "Source"
constexpr PF_ParamIndex kFit = 5;     // "Fit", a popup

class LayersTest : public RenderTest {
 protected:
  // A 10 x 6 checker "a" and an empty layer "b"; Source is "a" up to frame 4, then "b".
  lwhost::Scene Scene(int bitDepth = 8) {
    lwhost::Scene scene = MakeScene(64, 32, bitDepth);
    lwhost::SceneLayer checker;
    checker.name = "a";
    checker.kind = lwhost::SceneLayerKind::kChecker;
    checker.width = 10;
    checker.height = 6;
    checker.cell = 2;
    checker.colors = {lwhost::StraightColor8{255, 0, 0, 255}, {0, 0, 255, 255}};
    scene.layers.push_back(checker);
    AddEmptyLayer(scene, "b");
    lwhost::SceneParam& source = AddParam(scene, "Source");
    source.animated = true;
    for (auto [frame, name] : {std::pair{0.0, "a"}, std::pair{5.0, "b"}}) {
      lwhost::SceneKey key;
      key.frame = frame;
      key.value.kind = lwhost::SceneValueKind::kText;
      key.value.text = name;
      source.keys.push_back(key);
    }
    return scene;
  }

  std::unique_ptr<lwhost::CommandContext> Begin(A_u_long downsample = 1) {
    lwhost::CommandInput input;
    input.downsampleX = {1, downsample};
    input.downsampleY = {1, downsample};
    return session.Begin(PF_Cmd_RENDER, input);
  }
};

TEST_F(LayersTest, LendsTheLayerChosenAtTheRequestedTimeAtTheCommandsResolution) {
  lwhost::SceneRenderer renderer(session, Scene());
  auto context = Begin(4);
  PF_InData* in = context->InData();

  PF_ParamDef a;
  ASSERT_EQ(in->inter.checkout_param(in->effect_ref, kSource, 4000, 1000, 24000, &a), PF_Err_NONE);
  EXPECT_EQ(a.param_type, PF_Param_LAYER);
  ASSERT_NE(a.u.ld.data, nullptr) << "frame 4 still shows layer a";
  EXPECT_EQ(a.u.ld.width, 3) << "ceil(10 / 4)";
  EXPECT_EQ(a.u.ld.height, 2) << "ceil(6 / 4)";
  EXPECT_EQ(a.u.ld.world_flags & PF_WorldFlag_DEEP, 0);
  // The top-left block of 4 x 4 holds 8 red and 8 blue texels: an even mix.
  const PF_Pixel first = a.u.ld.data[0];
  EXPECT_EQ(first.alpha, 255);
  EXPECT_EQ(first.red, 128);
  EXPECT_EQ(first.blue, 128);

  PF_ParamDef b;
  ASSERT_EQ(in->inter.checkout_param(in->effect_ref, kSource, 10000, 2000, 24000, &b), PF_Err_NONE);
  EXPECT_EQ(b.u.ld.data, nullptr) << "frame 5 shows the empty layer b";
  EXPECT_EQ(b.u.ld.width, 0);
  EXPECT_EQ(b.u.ld.height, 0);

  EXPECT_EQ(context->ledger.Outstanding(lwhost::kParamCheckoutKind), 2);
  PF_ParamDef copyOfA = a;  // the effect may hand back a copy of what it was lent
  EXPECT_EQ(in->inter.checkin_param(in->effect_ref, &copyOfA), PF_Err_NONE);
  EXPECT_EQ(in->inter.checkin_param(in->effect_ref, &b), PF_Err_NONE);
  EXPECT_EQ(context->ledger.Report(), "");

  EXPECT_EQ(in->inter.checkin_param(in->effect_ref, &b), PF_Err_BAD_CALLBACK_PARAM)
      << "a second check-in is refused";
  EXPECT_NE(context->ledger.Report().find("misuse"), std::string::npos) << context->ledger.Report();
  PF_ParamDef fit;
  EXPECT_EQ(in->inter.checkout_param(in->effect_ref, kFit, 0, 1000, 24000, &fit),
            PF_Err_INVALID_INDEX)
      << "only layer parameters are lent";
}

TEST_F(LayersTest, SixteenBitLayersAreDeepAndNoLayerChosenIsAWorldWithoutPixels) {
  lwhost::Scene scene = Scene(16);
  scene.params.clear();
  lwhost::SceneRenderer renderer(session, scene);
  auto context = Begin();
  PF_InData* in = context->InData();
  PF_ParamDef none;
  ASSERT_EQ(in->inter.checkout_param(in->effect_ref, kSource, 0, 1000, 24000, &none), PF_Err_NONE);
  EXPECT_EQ(none.u.ld.data, nullptr);
  EXPECT_EQ(none.u.ld.width, 0);
  EXPECT_NE(none.u.ld.world_flags & PF_WorldFlag_DEEP, 0);
  EXPECT_EQ(in->inter.checkin_param(in->effect_ref, &none), PF_Err_NONE);

  lwhost::ParamValue chosen;
  chosen.layerId = renderer.LayerIdOf("a");
  renderer.Params().SetStatic(kSource, chosen);
  PF_ParamDef a;
  ASSERT_EQ(in->inter.checkout_param(in->effect_ref, kSource, 0, 1000, 24000, &a), PF_Err_NONE);
  ASSERT_NE(a.u.ld.data, nullptr);
  EXPECT_NE(a.u.ld.world_flags & PF_WorldFlag_DEEP, 0);
  const auto* red = reinterpret_cast<const PF_Pixel16*>(a.u.ld.data);
  EXPECT_EQ(red->alpha, 32768);
  EXPECT_EQ(red->red, 32768);
  EXPECT_EQ(in->inter.checkin_param(in->effect_ref, &a), PF_Err_NONE);
  EXPECT_EQ(context->ledger.Report(), "");
}

TEST_F(LayersTest, FillMatteFillsTheClippedRectangleAtTheWorldsDepth) {
  lwhost::SceneRenderer renderer(session, Scene());
  auto context = Begin();
  const void* table = nullptr;
  SPBasicSuite* basic = context->InData()->pica_basicP;
  ASSERT_EQ(basic->AcquireSuite(kPFFillMatteSuite, kPFFillMatteSuiteVersion2, &table), 0);
  const auto* fill = static_cast<const PF_FillMatteSuite2*>(table);

  lwhost::Image image = lwhost::MakeImage(4, 3, 8, 4);
  PF_EffectWorld world = lwhost::MakeWorldView(image);
  const PF_Pixel grey = {255, 100, 100, 100};
  ASSERT_EQ(fill->fill(context->InData()->effect_ref, &grey, nullptr, &world), PF_Err_NONE);
  const PF_Pixel16 white16 = {32768, 32768, 32768, 32768};
  const PF_Rect rect = {2, 1, 10, 10};  // reaches past the world: clipped
  ASSERT_EQ(fill->fill16(context->InData()->effect_ref, &white16, &rect, &world), PF_Err_NONE);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 4; ++x) {
      const bool inRect = x >= 2 && y >= 1;
      const lwhost::Channels expected =
          inRect ? lwhost::Channels{255, 255, 255, 255} : lwhost::Channels{255, 100, 100, 100};
      EXPECT_EQ(lwhost::GetChannels(image, x, y), expected) << "at (" << x << ", " << y << ")";
    }
    for (int32_t b = 16; b < 20; ++b) {
      EXPECT_EQ(image.bytes[size_t(y) * image.rowBytes + b], 0) << "padding of row " << y;
    }
  }
  session.faults.FailCall("fill", 1, PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(fill->fill(context->InData()->effect_ref, &grey, nullptr, &world),
            PF_Err_OUT_OF_MEMORY);
  basic->ReleaseSuite(kPFFillMatteSuite, kPFFillMatteSuiteVersion2);
}

}  // namespace
}  // namespace lwtest
