// One frame as the host renders it: PF_Cmd_FRAME_SETUP, an output world of the size the effect
// asked for, then PF_Cmd_RENDER into it.
//
//   lwhost::FrameRequest request;
//   request.params = array->Pointers();
//   request.layerWidth = 640; request.layerHeight = 360;   // the layer's world at this resolution
//   request.frame = 12;
//   lwhost::FrameOutput out = lwhost::RenderFrameCommands(session, request);
//   // out.err, out.image (origin out.originX/Y), out.balance
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ae_effect.h"
#include "layers/image.h"
#include "media/footage.h"

namespace lwhost {

class Session;

// Fed by the effect's progress calls (current, total). Answering false cancels the render: the
// progress call returns PF_Interrupt_CANCEL to the effect.
using ProgressListener = std::function<bool(A_long current, A_long total)>;

// Asked on each of the effect's abort calls. Answering true cancels the render: the abort call
// returns PF_Interrupt_CANCEL to the effect.
using CancelListener = std::function<bool()>;

// Padding bytes of the output rows start out with this value, so that a write past a row's
// pixels shows up.
inline constexpr unsigned char kRowPaddingSentinel = 0xA5;

// Largest output side the host makes for the effect: the largest layer grown by the largest
// Expand Bounds on each side, with room to spare. A frame set-up asking for more is refused.
inline constexpr A_long kMaxOutputSide = 65536;

struct FrameRequest {
  PF_ParamDef** params = nullptr;  // the parameter array at this frame
  int32_t layerWidth = 0;          // the layer's world at the render's resolution
  int32_t layerHeight = 0;
  int bitDepth = 8;  // 8 or 16
  int32_t downsampleX = 1;
  int32_t downsampleY = 1;
  double frameRate = 24.0;
  int32_t frame = 0;
  int32_t totalFrames = 1;
  int32_t rowPadding = 0;  // extra bytes after each output row (even at 16 bits)
  int32_t threads = 1;     // threads the render may use through iterate_generic
  ProgressListener progress;
  CancelListener cancelled;
  // Asked by the host's own long work inside the render (preparing and evaluating path segments),
  // which the effect's polls do not reach: true gives up with PF_Interrupt_CANCEL.
  CancelListener hostWorkCancelled;
};

struct FrameOutput {
  PF_Err err = PF_Err_NONE;  // the first error of frame set-up, then of the render
  Image image;               // the output world (transparent when the render failed early)
  int32_t originX = 0;       // where the layer's origin lies in `image`
  int32_t originY = 0;
  // The balance reports of both commands, "" when both gave back all they took.
  std::string balance;
  // Set when a source or plate frame could not be decoded (err is then an error): the file and
  // what is wrong, in one line.
  std::string footageProblem;
  int abortCalls = 0;
  int progressCalls = 0;
};

// round(1000 x frameRate): the time scale of a frame rate, with time_step 1000 per frame.
A_u_long TimeScaleOf(double frameRate);

// The time frame `frame` renders at, as a layer checkout is asked for it.
SceneTime FrameTime(int32_t frame, double frameRate);

// What frame set-up decided: the output world's size and where the layer's origin lies in it.
struct FrameSetupResult {
  PF_Err err = PF_Err_NONE;
  int32_t width = 0;
  int32_t height = 0;
  int32_t originX = 0;
  int32_t originY = 0;
  std::string balance;  // "" when the command gave back all it took
};

// Sends FRAME_SETUP alone (a host that must know every frame's size before rendering, such as
// one writing a movie of one size).
FrameSetupResult SetupFrame(Session& session, const FrameRequest& request);

// Sends FRAME_SETUP and RENDER through the session. When frame set-up fails or asks for an output
// size outside 1..kMaxOutputSide, no render is sent and the image is empty.
FrameOutput RenderFrameCommands(Session& session, const FrameRequest& request);

}  // namespace lwhost
