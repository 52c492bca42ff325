// The host's per-command services, reached the way the effect reaches them: through the
// PF_InData of a command context.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "ae_effect_suites.h"
#include "plugin_session.h"

namespace lwtest {
namespace {

using SessionTest = PluginTest;

TEST_F(SessionTest, EffectRefAndCurrentContextLeadToTheCommand) {
  EXPECT_EQ(lwhost::CurrentContext(), nullptr);
  {
    auto outer = session.Begin(PF_Cmd_RENDER);
    EXPECT_EQ(lwhost::ContextFromEffectRef(outer->InData()->effect_ref), outer.get());
    EXPECT_EQ(lwhost::CurrentContext(), outer.get());
    {
      auto inner = session.Begin(PF_Cmd_EVENT);
      EXPECT_EQ(lwhost::CurrentContext(), inner.get());
    }
    EXPECT_EQ(lwhost::CurrentContext(), outer.get()) << "contexts nest on one thread";
    lwhost::CommandContext* seenByOtherThread = outer.get();
    std::thread([&] { seenByOtherThread = lwhost::CurrentContext(); }).join();
    EXPECT_EQ(seenByOtherThread, nullptr) << "another thread has its own current command";
  }
  EXPECT_EQ(lwhost::CurrentContext(), nullptr);
  int stray = 0;
  EXPECT_EQ(lwhost::ContextFromEffectRef(reinterpret_cast<PF_ProgPtr>(&stray)), nullptr);
}

TEST_F(SessionTest, InDataCarriesTheInputAndDefaults) {
  lwhost::CommandInput input;
  input.width = 320;
  input.height = 240;
  input.currentTime = 48;
  input.outputOriginX = 7;
  auto cmd = session.Begin(PF_Cmd_RENDER, input);
  const PF_InData& in = *cmd->InData();
  EXPECT_EQ(in.width, 320);
  EXPECT_EQ(in.height, 240);
  EXPECT_EQ(in.current_time, 48);
  EXPECT_EQ(in.output_origin_x, 7);
  EXPECT_EQ(in.downsample_x.num, 1);
  EXPECT_EQ(in.downsample_y.den, 1u);
  EXPECT_EQ(in.pica_basicP, session.BasicSuite());
  EXPECT_NE(in.inter.abort, nullptr);
  EXPECT_NE(in.inter.progress, nullptr);
}

TEST_F(SessionTest, AbortCancelsFromTheKthCallAndProgressIsRecorded) {
  session.options.cancelAtAbortCall = 3;
  auto cmd = session.Begin(PF_Cmd_RENDER);
  PF_InData& in = *cmd->InData();
  EXPECT_EQ(in.inter.abort(in.effect_ref), PF_Err_NONE);
  EXPECT_EQ(in.inter.abort(in.effect_ref), PF_Err_NONE);
  EXPECT_EQ(in.inter.abort(in.effect_ref), PF_Interrupt_CANCEL);
  EXPECT_EQ(in.inter.abort(in.effect_ref), PF_Interrupt_CANCEL) << "cancelled stays cancelled";
  EXPECT_EQ(in.inter.progress(in.effect_ref, 64, 640), PF_Err_NONE);
  const lwhost::CommandResult r = cmd->Finish(PF_Err_NONE);
  EXPECT_EQ(r.abortCalls, 4);
  ASSERT_EQ(r.progress.size(), 1u);
  EXPECT_EQ(r.progress[0].current, 64);
  EXPECT_EQ(r.progress[0].total, 640);
}

TEST_F(SessionTest, AbortAndProgressCanBeAbsent) {
  session.options.abortPresent = false;
  session.options.progressPresent = false;
  auto cmd = session.Begin(PF_Cmd_RENDER);
  EXPECT_EQ(cmd->InData()->inter.abort, nullptr);
  EXPECT_EQ(cmd->InData()->inter.progress, nullptr);
}

TEST_F(SessionTest, AddParamKeepsACopyWithItsTextAndRefusesOnDemand) {
  auto cmd = session.Begin(PF_Cmd_PARAMS_SETUP);
  PF_InData& in = *cmd->InData();
  char choices[] = "Stretch|Tile|Segment";
  PF_ParamDef popup{};
  popup.param_type = PF_Param_POPUP;
  std::strcpy(popup.name, "Fit");
  popup.u.pd.num_choices = 3;
  popup.u.pd.u.namesptr = choices;
  session.faults.FailCall("add_param", 2, PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(in.inter.add_param(in.effect_ref, -1, &popup), PF_Err_NONE);
  EXPECT_EQ(in.inter.add_param(in.effect_ref, -1, &popup), PF_Err_OUT_OF_MEMORY);
  std::strcpy(choices, "overwritten");  // the effect's buffer may change after the call
  const std::vector<lwhost::DeclaredParam> declared = session.DeclaredParams();
  ASSERT_EQ(declared.size(), 1u) << "the refused declaration is not kept";
  EXPECT_EQ(declared[0].index, -1);
  EXPECT_STREQ(declared[0].def.name, "Fit");
  EXPECT_EQ(declared[0].def.u.pd.num_choices, 3);
  EXPECT_EQ(declared[0].text, "Stretch|Tile|Segment");
  EXPECT_EQ(declared[0].def.u.pd.u.namesptr, nullptr);
}

TEST_F(SessionTest, ArbitraryDefaultBecomesHostOwned) {
  auto cmd = session.Begin(PF_Cmd_PARAMS_SETUP);
  PF_InData& in = *cmd->InData();
  PF_Handle leaked = in.utils->host_new_handle(8);
  PF_ParamDef arb{};
  arb.param_type = PF_Param_ARBITRARY_DATA;
  arb.u.arb_d.dephault = in.utils->host_new_handle(100);
  ASSERT_EQ(in.inter.add_param(in.effect_ref, -1, &arb), PF_Err_NONE);
  const std::string expected = "handle " + lwhost::AddressKey(leaked) + ": created 1, disposed 0\n";
  EXPECT_EQ(cmd->ledger.Report(), expected) << "only the handle nobody keeps is a leak";
  EXPECT_EQ(session.ledger.Report(), expected);
  EXPECT_TRUE(session.handles.IsLive(arb.u.arb_d.dephault));
  in.utils->host_dispose_handle(leaked);
  EXPECT_EQ(cmd->ledger.Report(), "");
}

TEST_F(SessionTest, HandleDisposedInALaterCommandBalancesBoth) {
  PF_Handle kept = nullptr;
  {
    auto first = session.Begin(PF_Cmd_ARBITRARY_CALLBACK);
    kept = first->InData()->utils->host_new_handle(16);
    session.handles.MarkHostOwned(kept);
    EXPECT_EQ(first->ledger.Report(), "");
  }
  auto second = session.Begin(PF_Cmd_ARBITRARY_CALLBACK);
  second->InData()->utils->host_dispose_handle(kept);
  EXPECT_EQ(second->ledger.Report(), "") << "a handle made earlier is not this command's";
  EXPECT_EQ(session.ledger.Report(), "");
}

TEST_F(SessionTest, RegisterUIAndInvalidateRectAreRecorded) {
  auto cmd = session.Begin(PF_Cmd_EVENT);
  PF_InData& in = *cmd->InData();
  PF_CustomUIInfo info{};
  info.events = PF_CustomEFlag_EFFECT;
  EXPECT_EQ(in.inter.register_ui(in.effect_ref, &info), PF_Err_NONE);
  ASSERT_EQ(session.CustomUIs().size(), 1u);
  EXPECT_EQ(session.CustomUIs()[0].events, PF_CustomEFlag_EFFECT);

  const void* table = nullptr;
  ASSERT_EQ(in.pica_basicP->AcquireSuite(kPFAppSuite, kPFAppSuiteVersion6, &table), 0);
  const auto* app = static_cast<const PF_AppSuite6*>(table);
  int contextToken = 0;
  const auto contextH = reinterpret_cast<PF_ContextH>(&contextToken);
  const PF_Rect rect{1, 2, 221, 152};
  EXPECT_EQ(app->PF_InvalidateRect(contextH, &rect), PF_Err_NONE);
  in.pica_basicP->ReleaseSuite(kPFAppSuite, kPFAppSuiteVersion6);
  const std::vector<lwhost::Invalidation> calls = session.Invalidations();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].command, PF_Cmd_EVENT);
  EXPECT_EQ(calls[0].context, contextH);
  EXPECT_EQ(calls[0].rect.right, 221);
  EXPECT_EQ(calls[0].rect.bottom, 152);
  EXPECT_EQ(cmd->ledger.Report(), "");
}

TEST_F(SessionTest, CheckoutWithoutParameterStorageIsRefused) {
  auto cmd = session.Begin(PF_Cmd_RENDER);
  PF_InData& in = *cmd->InData();
  PF_ParamDef def{};
  EXPECT_EQ(in.inter.checkout_param(in.effect_ref, 1, 0, 1, 24, &def), PF_Err_BAD_CALLBACK_PARAM);
  int calls = 0;
  session.SetParamHooks({[&](lwhost::CommandContext& c, PF_ParamIndex index, A_long, A_long,
                             A_u_long, PF_ParamDef* param) {
                           ++calls;
                           EXPECT_EQ(&c, cmd.get());
                           param->u.sd.value = index * 10;
                           return PF_Err_NONE;
                         },
                         nullptr});
  EXPECT_EQ(in.inter.checkout_param(in.effect_ref, 4, 0, 1, 24, &def), PF_Err_NONE);
  EXPECT_EQ(def.u.sd.value, 40);
  EXPECT_EQ(calls, 1);
}

TEST_F(SessionTest, ConcurrentCommandsKeepTheirOwnLedgers) {
  constexpr int kThreads = 4;
  constexpr int kCommandsPerThread = 50;
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCommandsPerThread; ++i) {
        const lwhost::CommandResult r = session.Send(PF_Cmd_ABOUT);
        if (r.err != PF_Err_NONE || !r.balance.empty()) {
          failures[t] =
              "command " + std::to_string(i) + ": " + std::to_string(r.err) + " " + r.balance;
          return;
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(failures[t], "") << "thread " << t;
  }
  EXPECT_EQ(session.ledger.Count(lwhost::kSuiteKind, lwhost::SuiteKey("PF ANSI Suite", 1)).opened,
            kThreads * kCommandsPerThread);
  EXPECT_EQ(session.ledger.Report(), "");
}

}  // namespace
}  // namespace lwtest
