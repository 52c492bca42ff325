#include "layers/frame_render.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "core/command_context.h"
#include "core/session.h"
#include "layers/layers.h"

namespace lwhost {

namespace {

// Time units per frame: frame f is rendered at current_time 1000 x f.
constexpr A_long kTimeStep = 1000;

// The output world is handed over holding stale pixels (opaque magenta), as a host that recycles
// its buffers would: an effect that forgot to clear would show it.
constexpr Channels StaleOutput(int bitDepth) {
  const uint32_t full = bitDepth == 16 ? PF_MAX_CHAN16 : PF_MAX_CHAN8;
  return {full, full, 0, full};
}

// What the progress and abort wrappers need, kept on the command for its duration.
struct ProgressRelay {
  PF_Err (*hostProgress)(PF_ProgPtr, A_long, A_long) = nullptr;
  const ProgressListener* listener = nullptr;
  PF_Err (*hostAbort)(PF_ProgPtr) = nullptr;
  const CancelListener* cancelled = nullptr;
};
constexpr const char* kRelayAttachment = "progress relay";

// The host's own progress call (which records the call and may fail on demand), then the
// listener, which may cancel.
PF_Err RelayProgress(PF_ProgPtr effect_ref, A_long current, A_long total) {
  CommandContext* context = ContextFromEffectRef(effect_ref);
  if (context == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  const ProgressRelay& relay = context->Attachment<ProgressRelay>(kRelayAttachment);
  if (relay.hostProgress != nullptr) {
    if (PF_Err err = relay.hostProgress(effect_ref, current, total); err != PF_Err_NONE) {
      return err;
    }
  }
  if (relay.listener != nullptr && *relay.listener && !(*relay.listener)(current, total)) {
    return PF_Interrupt_CANCEL;
  }
  return PF_Err_NONE;
}

// The host's own abort call (which counts the call and may cancel on demand), then the cancel
// listener.
PF_Err RelayAbort(PF_ProgPtr effect_ref) {
  CommandContext* context = ContextFromEffectRef(effect_ref);
  if (context == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  const ProgressRelay& relay = context->Attachment<ProgressRelay>(kRelayAttachment);
  if (relay.hostAbort != nullptr) {
    if (PF_Err err = relay.hostAbort(effect_ref); err != PF_Err_NONE) {
      return err;
    }
  }
  if (relay.cancelled != nullptr && *relay.cancelled && (*relay.cancelled)()) {
    return PF_Interrupt_CANCEL;
  }
  return PF_Err_NONE;
}

CommandInput BaseInput(const FrameRequest& request) {
  CommandInput input;
  input.params = request.params;
  input.width = request.layerWidth;
  input.height = request.layerHeight;
  input.currentTime = kTimeStep * request.frame;
  input.timeStep = kTimeStep;
  input.totalTime = kTimeStep * request.totalFrames;
  input.timeScale = TimeScaleOf(request.frameRate);
  input.downsampleX = {1, static_cast<A_u_long>(request.downsampleX)};
  input.downsampleY = {1, static_cast<A_u_long>(request.downsampleY)};
  input.threads = request.threads;
  return input;
}

void AppendBalance(std::string& all, const char* command, const std::string& report) {
  if (!report.empty()) {
    all += command;
    all += ": ";
    all += report;
  }
}

}  // namespace

A_u_long TimeScaleOf(double frameRate) {
  return static_cast<A_u_long>(std::floor(1000.0 * frameRate + 0.5));
}

SceneTime FrameTime(int32_t frame, double frameRate) {
  return {int64_t{kTimeStep} * frame, kTimeStep, TimeScaleOf(frameRate)};
}

FrameSetupResult SetupFrame(Session& session, const FrameRequest& request) {
  FrameSetupResult result;
  // The output starts as the layer's world with origin (0, 0); the effect may change both.
  CommandInput setupInput = BaseInput(request);
  setupInput.out.width = request.layerWidth;
  setupInput.out.height = request.layerHeight;
  setupInput.out.origin = {0, 0};
  const CommandResult setup = session.Send(PF_Cmd_FRAME_SETUP, setupInput);
  AppendBalance(result.balance, "frame setup", setup.balance);
  if (setup.err != PF_Err_NONE) {
    result.err = setup.err;
    return result;
  }
  const A_long width = setup.out.width;
  const A_long height = setup.out.height;
  if (width < 1 || height < 1 || width > kMaxOutputSide || height > kMaxOutputSide) {
    // No world can be made of that size: the host refuses the frame rather than guess.
    result.err = PF_Err_OUT_OF_MEMORY;
    return result;
  }
  result.width = static_cast<int32_t>(width);
  result.height = static_cast<int32_t>(height);
  result.originX = setup.out.origin.h;
  result.originY = setup.out.origin.v;
  return result;
}

FrameOutput RenderFrameCommands(Session& session, const FrameRequest& request) {
  FrameOutput output;
  output.image.bitDepth = request.bitDepth;

  const FrameSetupResult setup = SetupFrame(session, request);
  output.balance = setup.balance;
  if (setup.err != PF_Err_NONE) {
    output.err = setup.err;
    return output;
  }
  const A_long width = setup.width;
  const A_long height = setup.height;
  output.originX = setup.originX;
  output.originY = setup.originY;

  output.image = MakeImage(width, height, request.bitDepth, request.rowPadding);
  // The first row pixel by pixel, the others copied from it: an output of 4000 x 4000 pixels is
  // made in a blink even in an instrumented build.
  const Channels stale = StaleOutput(request.bitDepth);
  for (int32_t x = 0; x < output.image.width; ++x) {
    SetChannels(output.image, x, 0, stale);
  }
  const size_t pixelBytes = static_cast<size_t>(width) * PixelBytes(request.bitDepth);
  unsigned char* const first = output.image.bytes.data();
  for (int32_t y = 0; y < output.image.height; ++y) {
    unsigned char* row = first + static_cast<size_t>(y) * output.image.rowBytes;
    if (y > 0) {
      std::memcpy(row, first, pixelBytes);
    }
    std::memset(row + pixelBytes, kRowPaddingSentinel, output.image.rowBytes - pixelBytes);
  }
  PF_EffectWorld world = MakeWorldView(output.image);

  CommandInput renderInput = BaseInput(request);
  renderInput.output = &world;
  renderInput.outputOriginX = output.originX;
  renderInput.outputOriginY = output.originY;
  std::unique_ptr<CommandContext> context = session.Begin(PF_Cmd_RENDER, renderInput);
  ProgressRelay& relay = context->Attachment<ProgressRelay>(kRelayAttachment);
  relay.hostProgress = context->InData()->inter.progress;
  relay.listener = &request.progress;
  if (relay.hostProgress != nullptr) {
    // A host without a progress callback stays without one.
    context->InData()->inter.progress = RelayProgress;
  }
  relay.hostAbort = context->InData()->inter.abort;
  relay.cancelled = &request.cancelled;
  context->stopRequested = request.hostWorkCancelled;
  if (relay.hostAbort != nullptr) {
    // A host without an abort callback stays without one.
    context->InData()->inter.abort = RelayAbort;
  }
  const CommandResult render = context->Finish(context->Run());
  output.footageProblem = context->Attachment<std::string>(kFootageProblemAttachment);
  context.reset();

  AppendBalance(output.balance, "render", render.balance);
  output.err = render.err;
  output.abortCalls = render.abortCalls;
  output.progressCalls = static_cast<int>(render.progress.size());
  return output;
}

}  // namespace lwhost
