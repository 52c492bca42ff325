// One command in flight: the PF_InData and PF_OutData the effect sees, the command's own ledger
// and what its callbacks recorded.
//
// How a callback finds its command:
// - callbacks that get `effect_ref` (add_param, abort, progress, register_ui, checkout_param and
//   the suites that take an effect_ref): PF_InData::effect_ref is this object's address, so
//   ContextFromEffectRef(effect_ref) gives it back;
// - callbacks that get nothing of the kind (host_new_handle & co, sprintf, SPBasicSuite, drawing
//   functions): CurrentContext(), the command running on this thread. A context is current from
//   its construction to its destruction; contexts on one thread nest.
// Commands may run at once on several threads through one session: everything here belongs to
// one command and one thread; shared state lives in the Session behind its own locks.
#pragma once

#include <any>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ae_effect.h"
#include "core/iteration_pool.h"
#include "core/ledger.h"

namespace lwhost {

class Session;
class SuiteRegistry;

// What a command takes from the session that sends it: narrow services, so that this file and the
// suites need not know the session (whose header includes this one). `session` is only handed
// back to the callbacks that serve the effect through it.
struct CommandServices {
  Session* session = nullptr;
  Ledger* sessionLedger = nullptr;  // every open and close is recorded here too
  SuiteRegistry* suites = nullptr;  // what SPBasicSuite hands out during the command
  PF_EffectMainFunc effectMain = nullptr;
  PF_InteractCallbacks interact{};
  SPBasicSuite* basicSuite = nullptr;
  A_long declaredParams = 0;  // parameters declared at the last params set-up
};

struct ProgressCall {
  A_long current = 0;
  A_long total = 0;
};

// What a command is sent with, and what it answered.
struct CommandInput {
  PF_ParamDef** params = nullptr;
  PF_LayerDef* output = nullptr;
  void* extra = nullptr;
  PF_OutData out{};  // PF_OutData as the effect finds it
  A_long width = 0;
  A_long height = 0;
  A_long currentTime = 0;
  A_long timeStep = 1;
  A_long totalTime = 1;
  A_u_long timeScale = 24;  // one frame of a 24 fps composition per time step
  PF_RationalScale downsampleX{1, 1};
  PF_RationalScale downsampleY{1, 1};
  A_long outputOriginX = 0;
  A_long outputOriginY = 0;
  // -1: the parameters declared at the last params set-up plus the input layer (index 0).
  A_long numParams = -1;
  PF_Quality quality = PF_Quality_HI;
  // Threads iterate_generic may run the effect's iterations on (the command's own included).
  int32_t threads = 1;
  bool withBasicSuite = true;  // false: pica_basicP is null
  // The last word on PF_InData before the call (clear a callback, change a field).
  std::function<void(PF_InData&)> adjust;
};

struct CommandResult {
  PF_Err err = PF_Err_NONE;
  PF_OutData out{};
  std::vector<ProgressCall> progress;
  int abortCalls = 0;
  std::string balance;  // this command's ledger report; "" when balanced
};

class CommandContext {
 public:
  CommandContext(const CommandServices& services, PF_Cmd command, const CommandInput& input);
  ~CommandContext();
  CommandContext(const CommandContext&) = delete;
  CommandContext& operator=(const CommandContext&) = delete;

  Session& GetSession() const { return *services_.session; }
  SuiteRegistry& Suites() const { return *services_.suites; }
  PF_Cmd Command() const { return command_; }
  PF_InData* InData() { return &in_; }
  PF_OutData* OutData() { return &out_; }
  PF_UtilCallbacks* Utils() { return &utils_; }
  // The threads of iterate_generic, started on first use; null when the command has one thread.
  IterationPool* Pool();

  // Calls EffectMain with this command's records, the input's parameters, output and extra.
  PF_Err Run();
  // The effect's answer, PF_OutData as it is now, what the callbacks recorded and this
  // command's balance report.
  CommandResult Finish(PF_Err err) const;

  // Records an open or close in this command's ledger and the session's.
  void Open(std::string_view kind, std::string_view key);
  void Close(std::string_view kind, std::string_view key);

  // State a later service keeps for the duration of one command (checked-out parameters,
  // drawing objects), created empty on first use:
  //   auto& checkouts = context.Attachment<std::vector<PF_ParamDef*>>("param checkouts");
  template <class T>
  T& Attachment(const std::string& name) {
    std::any& slot = attachments_[name];
    if (!slot.has_value()) {
      slot = T{};
    }
    return *std::any_cast<T>(&slot);
  }

  // Asked by the host's own long work inside the command (preparing and evaluating path
  // segments): true once whoever asked for the command wants it to stop, so the host gives up
  // with PF_Interrupt_CANCEL even where the effect does not poll. Unset: never.
  std::function<bool()> stopRequested;
  // The listener on every kStopCheckInterval-th call: it may cost a system call (the studio asks
  // whether its client is still there), and a host call takes well under a millisecond.
  static constexpr unsigned kStopCheckInterval = 64;
  bool StopRequested() {
    return stopRequested && stopChecks_.fetch_add(1) % kStopCheckInterval == 0 && stopRequested();
  }

  // Everything this command took and gave back; "" from Report() when it is balanced.
  Ledger ledger;
  std::vector<ProgressCall> progress;
  int abortCalls = 0;

 private:
  friend CommandContext* ContextFromEffectRef(PF_ProgPtr effect_ref);
  CommandServices services_;
  PF_Cmd command_;
  PF_ParamDef** params_;
  PF_LayerDef* output_;
  void* extra_;
  PF_UtilCallbacks utils_;
  PF_InData in_;
  PF_OutData out_;
  CommandContext* previous_;
  std::map<std::string, std::any> attachments_;
  std::atomic<unsigned> stopChecks_{0};
  int32_t threads_ = 1;
  std::unique_ptr<IterationPool> pool_;
};

// The command whose PF_InData carried `effect_ref`, or null for anything else.
CommandContext* ContextFromEffectRef(PF_ProgPtr effect_ref);
// The command running on this thread, or null outside a command.
CommandContext* CurrentContext();

}  // namespace lwhost
