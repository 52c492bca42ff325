// The reference host's facade: one loaded effect and the host services it talks to.
//
//   lwhost::Session session(pluginPath);
//   session.GlobalSetup();
//   lwhost::CommandInput input;
//   input.extra = &changed;
//   lwhost::CommandResult r = session.Send(PF_Cmd_USER_CHANGED_PARAM, input);
//   EXPECT_EQ(r.err, PF_Err_NONE);
//   EXPECT_EQ(r.balance, "");                 // this command gave back all it took
//   EXPECT_EQ(session.ledger.Report(), "");   // and nothing is outstanding session-wide
//
// Later services plug in through RegisterSuite (suite tables), SetParamHooks (checkout_param and
// checkin_param), handles.MarkHostOwned (values the host keeps) and CommandContext attachments.
// Send may be called from several threads at once; options, hooks and suites are set up before.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "ae_effect.h"
#include "core/command_context.h"
#include "core/faults.h"
#include "core/handles.h"
#include "core/ledger.h"
#include "core/plugin_library.h"
#include "core/suite_registry.h"

namespace lwhost {

struct HostOptions {
  bool abortPresent = true;     // false: PF_InData::inter.abort is null
  bool progressPresent = true;  // false: PF_InData::inter.progress is null
  // From the k-th abort call of a command on (counting from 1), abort answers
  // PF_Interrupt_CANCEL; 0 never cancels. A host that has cancelled stays cancelled.
  int cancelAtAbortCall = 0;
};

// A parameter as the effect declared it with add_param. The text a popup, button or checkbox
// pointed to is copied into `text`; the copy's pointer is cleared, since the effect's buffer
// need not outlive the call.
struct DeclaredParam {
  PF_ParamIndex index = 0;  // the index add_param was called with
  PF_ParamDef def{};
  std::string text;
};

// A PF_InvalidateRect call of the "PF AE App Suite".
struct Invalidation {
  PF_Cmd command = 0;
  PF_ContextH context = nullptr;
  PF_Rect rect{};
};

// checkout_param / checkin_param are served by the parameter storage, which installs these.
// Without a hook both answer PF_Err_BAD_CALLBACK_PARAM.
struct ParamHooks {
  std::function<PF_Err(CommandContext&, PF_ParamIndex index, A_long what_time, A_long time_step,
                       A_u_long time_scale, PF_ParamDef* param)>
      checkout;
  std::function<PF_Err(CommandContext&, PF_ParamDef* param)> checkin;
};

class Session {
 public:
  // Loads the effect (throws HostError) and registers the core suites: "PF ANSI Suite" 1 and
  // "PF AE App Suite" 6.
  explicit Session(const std::string& pluginPath);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  PluginLibrary& Library() { return *library_; }
  Registration Register(PF_Err callbackResult = PF_Err_NONE);

  CommandResult GlobalSetup(const PF_OutData& before = {});
  CommandResult Send(PF_Cmd command, const CommandInput& input = {});
  // For driving exported helpers by hand: a command context that is current on this thread
  // until destroyed. Call Run() to send the command, or pass InData()/OutData() to the helpers.
  std::unique_ptr<CommandContext> Begin(PF_Cmd command, const CommandInput& input = {});

  // Publishes a suite table under (name, version) for AcquireSuite; a later registration of the
  // same pair replaces the table. The table must outlive the session.
  void RegisterSuite(std::string_view name, int version, const void* table) {
    suites.Register(name, version, table);
  }
  SPBasicSuite* BasicSuite() { return suites.BasicSuite(); }

  void SetParamHooks(ParamHooks hooks);
  const ParamHooks& GetParamHooks() const { return paramHooks_; }

  std::vector<DeclaredParam> DeclaredParams() const;
  std::vector<PF_CustomUIInfo> CustomUIs() const;
  std::vector<Invalidation> Invalidations() const;

  // Used by the callbacks.
  void RecordParam(DeclaredParam param);
  void RecordCustomUI(const PF_CustomUIInfo& info);
  void RecordInvalidation(const Invalidation& invalidation);
  void ForgetDeclaredParams();

  // Services, open to tests and to later host code.
  HostOptions options;
  Ledger ledger;  // session-wide: everything every command took and gave back
  Faults faults;
  HandleTable handles{ledger, faults};
  SuiteRegistry suites{ledger, faults};

 private:
  // What each command takes from the session.
  CommandServices Services();

  std::unique_ptr<PluginLibrary> library_;
  ParamHooks paramHooks_;
  mutable std::mutex recordMutex_;
  std::vector<DeclaredParam> declared_;
  std::vector<PF_CustomUIInfo> customUIs_;
  std::vector<Invalidation> invalidations_;
};

}  // namespace lwhost
