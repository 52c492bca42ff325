#include "core/session.h"

#include "core/callbacks.h"

namespace lwhost {

Session::Session(const std::string& pluginPath)
    : library_(std::make_unique<PluginLibrary>(pluginPath)) {
  RegisterCoreSuites(suites);
}

Session::~Session() = default;

Registration Session::Register(PF_Err callbackResult) {
  return library_->Register(callbackResult, BasicSuite());
}

CommandResult Session::GlobalSetup(const PF_OutData& before) {
  CommandInput input;
  input.out = before;
  return Send(PF_Cmd_GLOBAL_SETUP, input);
}

CommandResult Session::Send(PF_Cmd command, const CommandInput& input) {
  if (command == PF_Cmd_PARAMS_SETUP) {
    ForgetDeclaredParams();  // a params set-up declares the list afresh
  }
  CommandContext context(Services(), command, input);
  return context.Finish(context.Run());
}

std::unique_ptr<CommandContext> Session::Begin(PF_Cmd command, const CommandInput& input) {
  if (command == PF_Cmd_PARAMS_SETUP) {
    ForgetDeclaredParams();
  }
  return std::make_unique<CommandContext>(Services(), command, input);
}

CommandServices Session::Services() {
  CommandServices services;
  services.session = this;
  services.sessionLedger = &ledger;
  services.suites = &suites;
  services.effectMain = library_->EffectMain();
  services.interact = MakeInteractCallbacks(options);
  services.basicSuite = BasicSuite();
  {
    std::lock_guard lock(recordMutex_);
    services.declaredParams = static_cast<A_long>(declared_.size());
  }
  return services;
}

void Session::SetParamHooks(ParamHooks hooks) {
  paramHooks_ = std::move(hooks);
}

std::vector<DeclaredParam> Session::DeclaredParams() const {
  std::lock_guard lock(recordMutex_);
  return declared_;
}

std::vector<PF_CustomUIInfo> Session::CustomUIs() const {
  std::lock_guard lock(recordMutex_);
  return customUIs_;
}

std::vector<Invalidation> Session::Invalidations() const {
  std::lock_guard lock(recordMutex_);
  return invalidations_;
}

void Session::RecordParam(DeclaredParam param) {
  std::lock_guard lock(recordMutex_);
  declared_.push_back(std::move(param));
}

void Session::RecordCustomUI(const PF_CustomUIInfo& info) {
  std::lock_guard lock(recordMutex_);
  customUIs_.push_back(info);
}

void Session::RecordInvalidation(const Invalidation& invalidation) {
  std::lock_guard lock(recordMutex_);
  invalidations_.push_back(invalidation);
}

void Session::ForgetDeclaredParams() {
  std::lock_guard lock(recordMutex_);
  declared_.clear();
  customUIs_.clear();
}

}  // namespace lwhost
