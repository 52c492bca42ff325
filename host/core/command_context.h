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
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ae_effect.h"
#include "core/ledger.h"

namespace lwhost {

class Session;
struct CommandInput;
struct CommandResult;

struct ProgressCall {
  A_long current = 0;
  A_long total = 0;
};

class CommandContext {
 public:
  CommandContext(Session& session, PF_Cmd command, const CommandInput& input);
  ~CommandContext();
  CommandContext(const CommandContext&) = delete;
  CommandContext& operator=(const CommandContext&) = delete;

  Session& GetSession() const { return session_; }
  PF_Cmd Command() const { return command_; }
  PF_InData* InData() { return &in_; }
  PF_OutData* OutData() { return &out_; }
  PF_UtilCallbacks* Utils() { return &utils_; }

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

  // Everything this command took and gave back; "" from Report() when it is balanced.
  Ledger ledger;
  std::vector<ProgressCall> progress;
  int abortCalls = 0;

 private:
  friend CommandContext* ContextFromEffectRef(PF_ProgPtr effect_ref);
  Session& session_;
  PF_Cmd command_;
  PF_ParamDef** params_;
  PF_LayerDef* output_;
  void* extra_;
  PF_UtilCallbacks utils_;
  PF_InData in_;
  PF_OutData out_;
  CommandContext* previous_;
  std::map<std::string, std::any> attachments_;
};

// The command whose PF_InData carried `effect_ref`, or null for anything else.
CommandContext* ContextFromEffectRef(PF_ProgPtr effect_ref);
// The command running on this thread, or null outside a command.
CommandContext* CurrentContext();

}  // namespace lwhost
