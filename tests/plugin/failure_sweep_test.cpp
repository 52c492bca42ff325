// Every host call of a command, failed in turn. Each scenario runs once undisturbed, which counts
// the calls the effect makes at each call site; then, for every call k of every site, the scenario
// runs again with only that call failing the way it can fail (an error code, a null handle or
// lock, a missing or null suite, a checkout without an outline). Whatever failed, the command must
// return the first error as the failure rules call for, give everything back, leave a render's
// output whole or fully transparent, and leave an arbitrary-data callback's output unwritten.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>

#include "ae_path_suites.h"
#include "curve/curve_data.h"
#include "drawing/drawing_service.h"
#include "layers/layers.h"
#include "masks/path_suites.h"
#include "scene_builder.h"

namespace lwtest {
namespace {

// An error no part of the effect makes itself, so that a result equal to it was passed through.
constexpr PF_Err kInjected = PF_Err_CANNOT_PARSE_KEYFRAME_TEXT;
constexpr int kWidthGraphIndex = 14;
constexpr int kNumParams = 37;

enum class Mode { kError, kMissingSuite, kNullSuite, kNoOutline };

struct Fault {
  std::string site;
  int kth = 0;
  Mode mode = Mode::kError;
};

std::string Describe(const Fault& f) {
  static const char* const kModes[] = {"error", "missing suite", "null suite", "no outline"};
  return f.site + " #" + std::to_string(f.kth) + " (" + kModes[static_cast<int>(f.mode)] + ")";
}

// What one run of a scenario left behind.
struct Outcome {
  PF_Err err = PF_Err_NONE;
  // For the scenario's own check: "" when the output is as a failed call may leave it (nothing
  // written, a transparent frame), else what is wrong with it.
  std::string damage;
  // A render's pixels: after a failure late in the render, the whole frame is as good as none.
  std::vector<unsigned char> output;
};

constexpr std::string_view kSuitePrefix = "AcquireSuite ";

// Sites whose failure gives back a null pointer: the effect turns it into PF_Err_OUT_OF_MEMORY.
bool IsPointerSite(std::string_view site) {
  return site == "host_new_handle" || site == "host_lock_handle";
}

// Calls that give something back; when the host refuses one, the host still counts the thing as
// lent, which is the host's business, not a leak of the effect.
const std::map<std::string, std::string_view, std::less<>>& GiveBackSites() {
  static const std::map<std::string, std::string_view, std::less<>> sites = {
      {"checkin_param", lwhost::kParamCheckoutKind},
      {"PF_CheckinPath", lwhost::kPathCheckoutKind},
      {"PF_PathCleanupSegLength", lwhost::kSegPrepKind},
      {"ReleaseObject", lwhost::kDrawingObjectKind},
  };
  return sites;
}

struct Scenario {
  std::string name;
  // Runs the command; `begin` is called just before the effect is sent the command and `end`
  // just after, so set-up and clean-up by the host are not counted.
  std::function<Outcome(const std::function<void()>& begin, const std::function<void()>& end)> run;
  // Faults after which the rules call for success rather than the error: "site" for every call,
  // "site#k" for one.
  std::set<std::string> tolerated;
};

class FailureSweep : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    lwhost::RegisterDrawingSuites(session);
    drawing.SetObserver(&observer);
  }

  // The undisturbed run's calls per site; its output becomes `whole_`.
  std::map<std::string, int, std::less<>> CountCalls(const Scenario& s) {
    std::map<std::string, int, std::less<>> before;
    std::map<std::string, int, std::less<>> after;
    const Outcome o = s.run([&] { before = session.faults.CallCounts(); },
                            [&] { after = session.faults.CallCounts(); });
    EXPECT_EQ(o.err, PF_Err_NONE) << s.name << " undisturbed";
    whole_ = o.output;
    EXPECT_EQ(session.ledger.Report(), "") << s.name << " undisturbed";
    for (auto& [site, count] : after) {
      count -= before.count(site) != 0 ? before.at(site) : 0;
    }
    std::erase_if(after, [](const auto& entry) { return entry.second == 0; });
    return after;
  }

  void Arm(const Fault& f) {
    if (f.site.starts_with(kSuitePrefix)) {
      // "AcquireSuite <name> v<version>"
      const std::string key = f.site.substr(kSuitePrefix.size());
      const size_t v = key.rfind(" v");
      const std::string name = key.substr(0, v);
      const int version = std::stoi(key.substr(v + 2));
      if (f.mode == Mode::kMissingSuite) {
        session.faults.MissingSuite(name, version, f.kth);
      } else {
        session.faults.NullSuite(name, version, f.kth);
      }
    } else if (f.mode == Mode::kNoOutline) {
      session.faults.GiveNothing(f.site, f.kth);
    } else {
      session.faults.FailCall(f.site, f.kth, kInjected);
    }
  }

  std::vector<unsigned char> whole_;

  // One faulty run and its checks.
  void RunFaulty(const Scenario& s, const Fault& f) {
    const std::string what = s.name + ": " + Describe(f);
    const Outcome o = s.run([&] { Arm(f); }, [] {});
    session.faults.Clear();

    const bool tolerated = s.tolerated.count(f.site) != 0 ||
                           s.tolerated.count(f.site + "#" + std::to_string(f.kth)) != 0 ||
                           f.mode == Mode::kNoOutline;
    PF_Err expected = kInjected;
    if (f.mode == Mode::kMissingSuite || f.mode == Mode::kNullSuite) {
      expected = PF_Err_BAD_CALLBACK_PARAM;
    } else if (IsPointerSite(f.site)) {
      expected = PF_Err_OUT_OF_MEMORY;
    }
    if (tolerated) {
      EXPECT_TRUE(o.err == PF_Err_NONE || o.err == expected) << what << ": " << o.err;
    } else {
      EXPECT_EQ(o.err, expected) << what;
    }
    if (o.err != PF_Err_NONE && o.output != whole_) {
      EXPECT_EQ(o.damage, "") << what;
    }

    // A refused give-back stays counted by the host; settle it so the next run starts even.
    if (auto it = GiveBackSites().find(f.site); it != GiveBackSites().end() && f.kth > 0) {
      const std::set<std::string> open = session.ledger.OpenKeys(it->second);
      EXPECT_LE(open.size(), 1u) << what;
      for (const std::string& key : open) {
        session.ledger.Close(it->second, key);
      }
    }
    EXPECT_EQ(session.ledger.Report(), "") << what;
  }

  // Fails every call of every site in turn; returns the number of failure points.
  int Sweep(const Scenario& s) {
    const auto calls = CountCalls(s);
    int points = 0;
    for (const auto& [site, count] : calls) {
      std::vector<Mode> modes = {Mode::kError};
      if (site.starts_with(kSuitePrefix)) {
        modes = {Mode::kMissingSuite, Mode::kNullSuite};
      } else if (site == "PF_CheckoutPath") {
        modes.push_back(Mode::kNoOutline);
      } else if (!CanFail(site)) {
        continue;
      }
      for (Mode mode : modes) {
        for (int k = 1; k <= count; ++k) {
          RunFaulty(s, Fault{site, k, mode});
          ++points;
          if (HasFailure()) {
            return points;  // one broken rule is enough to read; the rest would repeat it
          }
        }
      }
    }
    return points;
  }

  // Counted calls that have no way to fail: void callbacks, sprintf, suite releases.
  static bool CanFail(std::string_view site) {
    return site != "host_unlock_handle" && site != "host_dispose_handle" && site != "sprintf" &&
           !site.starts_with("ReleaseSuite ");
  }

  // ---- scenarios

  Scenario ParamsSetup() {
    return {"params set-up",
            [this](const auto& begin, const auto& end) {
              session.ForgetDeclaredParams();
              begin();
              const lwhost::CommandResult r = session.Send(PF_Cmd_PARAMS_SETUP);
              end();
              // The host keeps the default curve the effect declared; let it go again.
              for (const lwhost::DeclaredParam& p : session.DeclaredParams()) {
                if (p.def.param_type == PF_Param_ARBITRARY_DATA && p.def.u.arb_d.dephault) {
                  session.handles.ReleaseHostOwned(p.def.u.arb_d.dephault);
                  Dispose(p.def.u.arb_d.dephault);
                }
              }
              return Outcome{r.err, "", {}};
            },
            {}};
  }

  Scenario About() {
    return {"about",
            [this](const auto& begin, const auto& end) {
              begin();
              const lwhost::CommandResult r = session.Send(PF_Cmd_ABOUT);
              end();
              return Outcome{r.err, "", {}};
            },
            {}};
  }

  // A curve value made by the host: two points, or `points` of them.
  PF_Handle HostCurve(int points = 2) {
    PF_Handle h = session.handles.New(100, nullptr);
    auto* bytes = static_cast<uint8_t*>(session.handles.Peek(h));
    std::memset(bytes, 0, 100);
    bytes[0] = 1;
    bytes[1] = static_cast<uint8_t>(points);
    auto* x = reinterpret_cast<float*>(bytes + 4);
    auto* y = x + 12;
    for (int i = 0; i < points; ++i) {
      x[i] = static_cast<float>(i) / static_cast<float>(points - 1);
      y[i] = 0.25f + 0.5f * static_cast<float>(i % 2);
    }
    return h;
  }

  void Dispose(PF_Handle h) {
    if (h != nullptr) {
      session.handles.Dispose(h, nullptr);
    }
  }

  // One arbitrary-data call. `fill` sets up the extra record (handles made by the host);
  // `written` says whether the call wrote its output; the host disposes of every handle after.
  Scenario Arbitrary(std::string name, PF_FunctionSelector which,
                     std::function<void(PF_ArbParamsExtra&, std::vector<PF_Handle>&)> fill,
                     std::function<bool(const PF_ArbParamsExtra&)> written,
                     std::set<std::string> tolerated = {}) {
    return {std::move(name),
            [this, which, fill, written](const auto& begin, const auto& end) {
              PF_ArbParamsExtra extra{};
              extra.which_function = which;
              extra.id = kWidthGraphIndex;
              std::vector<PF_Handle> inputs;
              fill(extra, inputs);
              lwhost::CommandInput input;
              input.extra = &extra;
              begin();
              const lwhost::CommandResult r = session.Send(PF_Cmd_ARBITRARY_CALLBACK, input);
              end();
              Outcome o{r.err, "", {}};
              if (r.err != PF_Err_NONE && written(extra)) {
                o.damage = "a failed call wrote its output";
              }
              for (PF_Handle h : inputs) {
                Dispose(h);
              }
              return o;
            },
            std::move(tolerated)};
  }

  // Output handles the effect makes land here; null means "not written".
  PF_Handle made = nullptr;
  uint8_t flat[100] = {};
  PF_ArbCompareResult compared = -1;

  std::vector<Scenario> ArbitraryScenarios() {
    const auto outHandle = [this](const PF_ArbParamsExtra&) { return made != nullptr; };
    std::vector<Scenario> list;
    list.push_back(Arbitrary(
        "NEW", PF_Arbitrary_NEW_FUNC,
        [this](PF_ArbParamsExtra& e, auto&) {
          made = nullptr;
          e.u.new_func_params.refconPV = lwd::CurveRefcon();
          e.u.new_func_params.arbPH = &made;
        },
        outHandle));
    list.push_back(Arbitrary(
        "DISPOSE", PF_Arbitrary_DISPOSE_FUNC,
        [this](PF_ArbParamsExtra& e, auto&) {
          e.u.dispose_func_params.refconPV = lwd::CurveRefcon();
          e.u.dispose_func_params.arbH = HostCurve();
        },
        [](const auto&) { return false; }));
    list.push_back(Arbitrary(
        "COPY", PF_Arbitrary_COPY_FUNC,
        [this](PF_ArbParamsExtra& e, auto& inputs) {
          made = nullptr;
          inputs.push_back(HostCurve(5));
          e.u.copy_func_params.refconPV = lwd::CurveRefcon();
          e.u.copy_func_params.src_arbH = inputs.back();
          e.u.copy_func_params.dst_arbPH = &made;
        },
        outHandle,
        // A source or destination that cannot be locked leaves the default curve in the copy.
        {"host_lock_handle#2", "host_lock_handle#3"}));
    list.push_back(Arbitrary(
        "FLATTEN", PF_Arbitrary_FLATTEN_FUNC,
        [this](PF_ArbParamsExtra& e, auto& inputs) {
          std::memset(flat, 0xAB, sizeof(flat));
          inputs.push_back(HostCurve(5));
          e.u.flatten_func_params.arbH = inputs.back();
          e.u.flatten_func_params.buf_sizeLu = sizeof(flat);
          e.u.flatten_func_params.flat_dataPV = flat;
        },
        [this](const auto&) { return flat[0] != 0xAB || flat[99] != 0xAB; }, {"host_lock_handle"}));
    list.push_back(Arbitrary("UNFLATTEN", PF_Arbitrary_UNFLATTEN_FUNC,
                             [this](PF_ArbParamsExtra& e, auto&) {
                               made = nullptr;
                               std::memset(flat, 0, sizeof(flat));
                               flat[0] = 1;
                               flat[1] = 2;
                               e.u.unflatten_func_params.buf_sizeLu = sizeof(flat);
                               e.u.unflatten_func_params.flat_dataPV = flat;
                               e.u.unflatten_func_params.arbPH = &made;
                             },
                             outHandle, {"host_lock_handle#2"}));
    list.push_back(Arbitrary("INTERP", PF_Arbitrary_INTERP_FUNC,
                             [this](PF_ArbParamsExtra& e, auto& inputs) {
                               made = nullptr;
                               inputs.push_back(HostCurve(3));
                               inputs.push_back(HostCurve(3));
                               e.u.interp_func_params.refconPV = lwd::CurveRefcon();
                               e.u.interp_func_params.left_arbH = inputs[0];
                               e.u.interp_func_params.right_arbH = inputs[1];
                               e.u.interp_func_params.tF = 0.25;
                               e.u.interp_func_params.interpPH = &made;
                             },
                             outHandle,
                             {"host_lock_handle#2", "host_lock_handle#3", "host_lock_handle#4"}));
    list.push_back(Arbitrary(
        "COMPARE", PF_Arbitrary_COMPARE_FUNC,
        [this](PF_ArbParamsExtra& e, auto& inputs) {
          compared = -1;
          inputs.push_back(HostCurve(3));
          inputs.push_back(HostCurve(4));
          e.u.compare_func_params.a_arbH = inputs[0];
          e.u.compare_func_params.b_arbH = inputs[1];
          e.u.compare_func_params.compareP = &compared;
        },
        [this](const auto&) { return compared != -1; }, {"host_lock_handle"}));
    // The host disposes of whatever the call made, as it would once done with the value.
    for (Scenario& s : list) {
      s.run = [this, inner = s.run](const auto& begin, const auto& end) {
        const Outcome o = inner(begin, end);
        Dispose(made);
        made = nullptr;
        return o;
      };
    }
    return list;
  }

  // ---- graph events

  lwhost::DrawingContext drawing;
  lwhost::SessionDrawingObserver observer{session};

  Scenario Event(std::string name, std::vector<std::pair<PF_EventType, std::pair<int, int>>> steps,
                 std::set<std::string> tolerated) {
    return {std::move(name),
            [this, steps](const auto& begin, const auto& end) {
              PF_Handle value = HostCurve(3);
              session.handles.MarkHostOwned(value);
              PF_ParamDef defs[kNumParams] = {};
              PF_ParamDef* params[kNumParams] = {};
              for (int i = 0; i < kNumParams; ++i) {
                params[i] = &defs[i];
              }
              defs[kWidthGraphIndex].u.arb_d.value = value;
              PF_EventExtra event{};
              event.contextH = drawing.ContextHandle();
              event.effect_win.index = kWidthGraphIndex;
              event.effect_win.area = PF_EA_CONTROL;
              event.effect_win.current_frame = {0, 0, 220, 150};
              lwhost::CommandInput input;
              input.params = params;
              input.extra = &event;
              input.numParams = kNumParams;
              Outcome o;
              for (size_t i = 0; i < steps.size(); ++i) {
                event.e_type = steps[i].first;
                event.evt_out_flags = 0;
                event.u.do_click.screen_point = {steps[i].second.first, steps[i].second.second};
                // Only the last step is the command under test; the ones before set it up.
                const bool last = i + 1 == steps.size();
                if (last) {
                  begin();
                }
                const lwhost::CommandResult r = session.Send(PF_Cmd_EVENT, input);
                if (last) {
                  end();
                  o.err = r.err;
                }
              }
              session.handles.ReleaseHostOwned(value);
              Dispose(value);
              return o;
            },
            std::move(tolerated)};
  }

  // ---- renders

  // A small frame, so that every call of a render can be failed in turn in little time.
  static lwhost::Scene RenderScene(int bitDepth) {
    lwhost::Scene scene = MakeScene(48, 32, bitDepth);
    AddSvgMask(scene, "spine", "M 6 20 C 16 2 32 30 42 12");
    AddSvgMask(scene, "hump", "M 0 10 L 50 0 L 100 10");
    lwhost::SceneLayer checker;
    checker.name = "board";
    checker.pointer = "/layers/board";
    checker.kind = lwhost::SceneLayerKind::kChecker;
    checker.width = 8;
    checker.height = 4;
    checker.cell = 2;
    checker.colors = {lwhost::StraightColor8{255, 40, 200, 90},
                      lwhost::StraightColor8{255, 250, 250, 20}};
    scene.layers.push_back(checker);
    SetText(scene, "Path", "spine");
    SetText(scene, "Source", "board");
    SetNumber(scene, "Thickness (0 = from source)", 8);
    return scene;
  }

  Scenario Render(std::string name, lwhost::Scene scene, int frame = 0) {
    auto renderer = std::make_shared<lwhost::SceneRenderer>(session, std::move(scene));
    return {std::move(name),
            [renderer, frame](const auto& begin, const auto& end) {
              begin();
              const lwhost::FrameOutput out = renderer->RenderFrame(frame);
              end();
              Outcome o{out.err, "", out.image.bytes};
              if (!IsTransparent(out.image) && !IsUniform(out.image)) {
                o.damage = "the failed render drew part of the frame";
              }
              return o;
            },
            // A curve value that cannot be locked is no curve: the ribbon is drawn without it.
            {"host_lock_handle"}};
  }

  // A failed clear leaves the output as the host handed it over: every pixel alike. A frame
  // whose values could not be made is not rendered at all: no pixels.
  static bool IsUniform(const lwhost::Image& image) {
    if (image.bytes.empty()) {
      return true;
    }
    const lwhost::Channels first = lwhost::GetChannels(image, 0, 0);
    for (int32_t y = 0; y < image.height; ++y) {
      for (int32_t x = 0; x < image.width; ++x) {
        if (lwhost::GetChannels(image, x, y) != first) {
          return false;
        }
      }
    }
    return true;
  }
};

TEST_F(FailureSweep, SetUpAndAboutFailAtEveryHostCall) {
  const int points = Sweep(ParamsSetup()) + Sweep(About());
  EXPECT_GT(points, 37);
  std::cout << "[ sweep    ] set-up and about: " << points << " failure points\n";
}

TEST_F(FailureSweep, ArbitraryDataCallbacksFailAtEveryHostCall) {
  int points = 0;
  for (const Scenario& s : ArbitraryScenarios()) {
    points += Sweep(s);
  }
  EXPECT_GT(points, 10);
  std::cout << "[ sweep    ] arbitrary data: " << points << " failure points\n";
}

TEST_F(FailureSweep, GraphEventsFailAtEveryHostCall) {
  // A lock that gives nothing leaves a click or drag unhandled and a draw empty, all with 0.
  const std::set<std::string> lock = {"host_lock_handle"};
  int points = Sweep(Event("draw", {{PF_Event_DRAW, {0, 0}}}, lock));
  points += Sweep(Event("click", {{PF_Event_DO_CLICK, {110, 75}}}, lock));
  points += Sweep(Event("click on a point", {{PF_Event_DO_CLICK, {0, 112}}}, lock));
  points +=
      Sweep(Event("drag", {{PF_Event_DO_CLICK, {110, 40}}, {PF_Event_DRAG, {120, 60}}}, lock));
  EXPECT_GT(points, 30);
  std::cout << "[ sweep    ] graph events: " << points << " failure points\n";
}

TEST_F(FailureSweep, RendersFailAtEveryHostCall) {
  lwhost::Scene tube = RenderScene(8);
  SetText(tube, "Width Curve", "hump");
  SetNumber(tube, "Shading", 60);
  SetNumber(tube, "Taper Start", 30);

  lwhost::Scene deep = RenderScene(16);
  SetNumber(deep, "Depth", 4);
  SetNumber(deep, "Depth Direction", 135);
  SetText(deep, "Fit", "Tile");

  lwhost::Scene keyed = RenderScene(8);
  SetText(keyed, "Surface", "Flat");
  lwhost::SceneParam& graph = AddParam(keyed, "Width Graph");
  graph.animated = true;
  for (auto [frame, y] : {std::pair{0.0, 0.3}, std::pair{4.0, 1.0}}) {
    lwhost::SceneKey key;
    key.frame = frame;
    key.value.kind = lwhost::SceneValueKind::kPoints;
    key.value.points = {{0, y}, {0.5, 1.3 - y}, {1, y}};
    graph.keys.push_back(key);
  }
  keyed.lastFrame = 4;

  int points = Sweep(Render("tube with a width profile", tube));
  points += Sweep(Render("16 bits with depth", deep));
  points += Sweep(Render("keyframed width graph", keyed, 2));
  EXPECT_GT(points, 100);
  std::cout << "[ sweep    ] renders: " << points << " failure points\n";
}

}  // namespace
}  // namespace lwtest
