#include "core/command_context.h"

#include <mutex>
#include <set>

#include "core/callbacks.h"

namespace lwhost {

namespace {

thread_local CommandContext* tCurrent = nullptr;

// Every command in flight, on any thread: an effect_ref is dereferenced only once it is known to
// be one of them, so a stray pointer from the effect is refused rather than read.
std::mutex gLiveMutex;
std::set<const CommandContext*> gLive;

// The host's API version as this host reports it in PF_InData::version.
constexpr PF_SpecVersion kHostSpecVersion = {13, 29};
// 'FXTC', the application id of the host the API comes from; effects only compare it.
constexpr A_long kApplicationId = 0x46585443;

}  // namespace

CommandContext::CommandContext(const CommandServices& services, PF_Cmd command,
                               const CommandInput& input)
    : services_(services),
      command_(command),
      params_(input.params),
      output_(input.output),
      extra_(input.extra),
      utils_(MakeUtilCallbacks()),
      in_{},
      out_(input.out),
      previous_(tCurrent) {
  threads_ = input.threads;
  in_.inter = services.interact;
  in_.utils = &utils_;
  in_.effect_ref = reinterpret_cast<PF_ProgPtr>(this);
  in_.quality = input.quality;
  in_.version = kHostSpecVersion;
  in_.appl_id = kApplicationId;
  if (input.numParams >= 0) {
    in_.num_params = input.numParams;
  } else {
    const A_long declared = services.declaredParams;
    in_.num_params = declared > 0 ? declared + 1 : 0;  // index 0 is the input layer
  }
  in_.current_time = input.currentTime;
  in_.time_step = input.timeStep;
  in_.local_time_step = input.timeStep;
  in_.total_time = input.totalTime;
  in_.time_scale = input.timeScale;
  in_.width = input.width;
  in_.height = input.height;
  in_.extent_hint = PF_Rect{0, 0, input.width, input.height};
  in_.output_origin_x = input.outputOriginX;
  in_.output_origin_y = input.outputOriginY;
  in_.downsample_x = input.downsampleX;
  in_.downsample_y = input.downsampleY;
  in_.pixel_aspect_ratio = PF_RationalScale{1, 1};
  in_.pica_basicP = input.withBasicSuite ? services.basicSuite : nullptr;
  if (input.adjust) {
    input.adjust(in_);
  }
  {
    std::lock_guard<std::mutex> lock(gLiveMutex);
    gLive.insert(this);
  }
  tCurrent = this;
}

CommandContext::~CommandContext() {
  pool_.reset();  // joins the workers before the command is gone
  tCurrent = previous_;
  std::lock_guard<std::mutex> lock(gLiveMutex);
  gLive.erase(this);
}

IterationPool* CommandContext::Pool() {
  if (threads_ <= 1) {
    return nullptr;
  }
  if (!pool_) {
    pool_ = std::make_unique<IterationPool>(threads_);
  }
  return pool_.get();
}

PF_Err CommandContext::Run() {
  return services_.effectMain(command_, &in_, &out_, params_, output_, extra_);
}

CommandResult CommandContext::Finish(PF_Err err) const {
  CommandResult result;
  result.err = err;
  result.out = out_;
  result.progress = progress;
  result.abortCalls = abortCalls;
  result.balance = ledger.Report();
  return result;
}

void CommandContext::Open(std::string_view kind, std::string_view key) {
  ledger.Open(kind, key);
  services_.sessionLedger->Open(kind, key);
}

void CommandContext::Close(std::string_view kind, std::string_view key) {
  ledger.Close(kind, key);
  services_.sessionLedger->Close(kind, key);
}

CommandContext* ContextFromEffectRef(PF_ProgPtr effect_ref) {
  auto* context = reinterpret_cast<CommandContext*>(effect_ref);
  if (context == nullptr) {
    return nullptr;
  }
  // The usual case, a call back from the command running on this thread, needs no lock.
  for (CommandContext* c = tCurrent; c != nullptr; c = c->previous_) {
    if (c == context) {
      return context;
    }
  }
  std::lock_guard<std::mutex> lock(gLiveMutex);
  return gLive.count(context) != 0 ? context : nullptr;
}

CommandContext* CurrentContext() {
  return tCurrent;
}

}  // namespace lwhost
