#include "drawing/graph_session.h"

#include <unistd.h>

#include <charconv>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include "core/error_names.h"
#include "core/session.h"
#include "params/param_store.h"
#include "scenes/scene_text_edit.h"

namespace lwhost {

namespace {

// The control fills the effect panel's rectangle from (0, 0): control coordinates and the event's
// coordinates are the same.
constexpr PF_Rect kControlFrame = {0, 0, kDrawingDefaultWidth, kDrawingDefaultHeight};
constexpr A_long kDrawDepth = 32;  // bits per pixel of the drawing the host offers

std::string JoinReports(const std::string& command, const std::string& session) {
  if (command.empty() || session.empty()) {
    return command + session;
  }
  return command + "\n" + session;
}

}  // namespace

GraphSession::GraphSession(Session& session, ParamStore& store, double frame)
    : session_(session), store_(store), observer_(session) {
  index_ = store_.IndexOfLabel(kWidthGraphLabel);
  if (index_ < 0) {
    throw std::invalid_argument("the effect declares no \"" + std::string(kWidthGraphLabel) +
                                "\" parameter");
  }
  RegisterDrawingSuites(session_);
  array_ = store_.At(frame);
  if (const PF_Err err = array_->Error(); err != PF_Err_NONE) {
    throw std::runtime_error("making the values of the frame failed with error " +
                             std::to_string(err) + " (" + ErrorName(err) + ")");
  }
  editContext_.SetObserver(&observer_);
}

GraphSession::~GraphSession() = default;

GraphEventResult GraphSession::Click(A_long x, A_long y) {
  return Send(PF_Event_DO_CLICK, editContext_, x, y);
}

GraphEventResult GraphSession::Drag(A_long x, A_long y) {
  return Send(PF_Event_DRAG, editContext_, x, y);
}

GraphEventResult GraphSession::Draw(DrawingContext& drawing) {
  drawing.SetObserver(&observer_);
  GraphEventResult result = Send(PF_Event_DRAW, drawing, 0, 0);
  drawing.SetObserver(nullptr);
  return result;
}

PF_Err GraphSession::FlattenCurve(std::vector<uint8_t>* bytes) const {
  return store_.FlattenValue(index_, array_->Pointers()[index_]->u.arb_d.value, bytes);
}

GraphEventResult GraphSession::Send(PF_EventType type, DrawingContext& drawing, A_long x,
                                    A_long y) {
  PF_EventExtra event = {};
  event.contextH = drawing.ContextHandle();
  event.e_type = type;
  event.effect_win.index = index_;
  event.effect_win.area = PF_EA_CONTROL;
  event.effect_win.current_frame = kControlFrame;
  if (type == PF_Event_DRAW) {
    event.u.draw.update_rect = kControlFrame;
    event.u.draw.depth = kDrawDepth;
  } else {
    event.u.do_click.screen_point = {x, y};
    event.u.do_click.num_clicks = 1;
  }

  // The array's record shares its word with the declared id: clear it so that only what the
  // effect sets during this event reads as a change.
  PF_ParamDef* graph = array_->Pointers()[index_];
  graph->uu.change_flags = 0;

  CommandInput input;
  input.params = array_->Pointers();
  input.numParams = array_->Count();
  input.extra = &event;
  const CommandResult sent = session_.Send(PF_Cmd_EVENT, input);

  GraphEventResult result;
  result.err = sent.err;
  result.balance = JoinReports(sent.balance, session_.ledger.Report());
  // A failed event's out data is not trusted, as for any command.
  if (sent.err == PF_Err_NONE && (graph->uu.change_flags & PF_ChangeFlag_CHANGED_VALUE) != 0) {
    result.err = store_.AdoptEditedValue(*array_, index_);
    result.changed = result.err == PF_Err_NONE;
  }
  graph->uu.change_flags = 0;
  return result;
}

Image DrawingImage(const DrawingContext& drawing) {
  Image image = MakeImage(drawing.Width(), drawing.Height(), 8);
  for (int32_t y = 0; y < image.height; ++y) {
    for (int32_t x = 0; x < image.width; ++x) {
      const Rgba8 from = drawing.Pixel(x, y);
      *Pixel8(image, x, y) = PF_Pixel{from.a, from.r, from.g, from.b};
    }
  }
  return image;
}

namespace {

// The shortest text that reads back as `value` once stored as a 32-bit float again.
std::string FloatText(double value) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value));
  return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

std::string CurveJson(std::span<const uint8_t> flat) {
  if (const auto points = CurvePointsFromFlat(flat)) {
    std::string text = "[";
    for (size_t i = 0; i < points->size(); ++i) {
      text += (i == 0 ? "[" : ", [") + FloatText((*points)[i].x) + ", " +
              FloatText((*points)[i].y) + "]";
    }
    return text + "]";
  }
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const uint8_t byte : flat) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xF];
  }
  return "{\"flat\": \"" + hex + "\"}";
}

}  // namespace

std::string SceneTextWithCurve(const std::string& sceneText, std::span<const uint8_t> flat) {
  return SceneTextWithMember(sceneText, "params", kWidthGraphLabel, CurveJson(flat));
}

void WriteTextAtomically(const std::filesystem::path& path, const std::string& text) {
  namespace fs = std::filesystem;
  // The process id keeps two writers of the same file from sharing a temporary name.
  // Appended piece by piece: GCC 12 at -O2 warns falsely (-Wrestrict) on a chain of `+` that
  // starts with a literal.
  std::string name = ".";
  name += path.filename().string();
  name += ".tmp";
  name += std::to_string(static_cast<long>(::getpid()));
  const fs::path temporary = path.parent_path() / name;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      throw std::runtime_error(path.string() + ": cannot write the file");
    }
  }
  std::error_code ec;
  fs::rename(temporary, path, ec);
  if (ec) {
    fs::remove(temporary, ec);
    throw std::runtime_error(path.string() + ": cannot write the file");
  }
}

}  // namespace lwhost
