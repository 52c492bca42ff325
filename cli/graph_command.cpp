// `lathewind graph [SCENE] [-o OUT.png] [--click X,Y] [--drag X,Y]... [--save SCENE_OUT]`: draws
// the "Width Graph" control as the effect draws it, after sending the clicks and drags in the
// order given, and can write the scene back with the edited curve.
#include <CLI/CLI.hpp>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli_common.h"
#include "drawing/drawing_context.h"
#include "drawing/graph_session.h"
#include "layers/png_io.h"
#include "scenes/scene.h"
#include "scenes/scene_render.h"
#include "scene_start.h"
#include "core/session.h"

namespace lwcli {

namespace {

namespace fs = std::filesystem;

struct GraphEvent {
  bool drag = false;
  A_long x = 0;
  A_long y = 0;
  std::string text;  // as given, for messages
};

struct GraphArgs {
  std::string scene;
  std::string out = "graph.png";
  std::string save;
  std::vector<GraphEvent> events;  // in command-line order
};

std::optional<A_long> ParseCoordinate(std::string_view text) {
  A_long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

// "X,Y" with two integers; throws CLI::ValidationError (a usage error) otherwise.
GraphEvent ParseEvent(bool drag, const std::string& text) {
  const size_t comma = text.find(',');
  std::optional<A_long> x;
  std::optional<A_long> y;
  if (comma != std::string::npos) {
    x = ParseCoordinate(std::string_view(text).substr(0, comma));
    y = ParseCoordinate(std::string_view(text).substr(comma + 1));
  }
  if (!x || !y) {
    throw CLI::ValidationError(drag ? "--drag" : "--click",
                               "\"" + text + "\": expected X,Y (two whole numbers, pixels from " +
                                   "the control's top-left corner)");
  }
  return GraphEvent{drag, *x, *y, text};
}

int UsageError(const std::string& message) {
  std::cerr << "lathewind graph: " << message << "\n";
  return kExitUsage;
}

bool FolderExists(const std::string& file) {
  const fs::path folder = fs::path(file).parent_path();
  return folder.empty() || fs::is_directory(folder);
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A non-empty report means the host or the effect lost track of something it lent: worth a
// warning, never a reason to fail a drawing that came out right.
void WarnUnbalanced(const std::string& what, const std::string& balance) {
  if (!balance.empty()) {
    std::cerr << "lathewind: warning: " << what
              << ": the effect did not give back everything it took:\n"
              << balance << "\n";
  }
}

int RunGraph(const GraphArgs& args) {
  if (!FolderExists(args.out)) {
    return UsageError("-o " + args.out + ": the folder does not exist");
  }
  if (!args.save.empty() && !FolderExists(args.save)) {
    return UsageError("--save " + args.save + ": the folder does not exist");
  }

  lwhost::Scene scene;
  std::string sceneText;  // the file as written, kept for --save
  try {
    if (!args.scene.empty()) {
      scene = lwhost::ParseSceneFile(args.scene);
      sceneText = ReadText(args.scene);
    }
  } catch (const lwhost::SceneError& e) {
    return SceneProblem(e);
  }

  lwhost::Session session(PluginPath());
  std::optional<lwhost::SceneRenderer> renderer;
  if (const int code = StartScene(session, std::move(scene), renderer); code != kExitOk) {
    return code;
  }
  lwhost::GraphSession graph(session, renderer->Params());

  bool edited = false;
  for (const GraphEvent& event : args.events) {
    const std::string what = std::string(event.drag ? "Drag" : "Click") + " at " + event.text;
    const lwhost::GraphEventResult result =
        event.drag ? graph.Drag(event.x, event.y) : graph.Click(event.x, event.y);
    WarnUnbalanced(what, result.balance);
    if (result.err != PF_Err_NONE) {
      return ReportEffectError(std::cerr, what, result.err);
    }
    edited = edited || result.changed;
  }

  lwhost::DrawingContext drawing;
  const lwhost::GraphEventResult drawn = graph.Draw(drawing);
  WarnUnbalanced("Drawing the graph", drawn.balance);
  if (drawn.err != PF_Err_NONE) {
    return ReportEffectError(std::cerr, "Drawing the graph", drawn.err);
  }
  lwhost::WritePng(args.out, lwhost::DrawingImage(drawing), lwhost::PngAlpha::kStraight);
  std::cout << "wrote " << args.out << "\n";

  if (!args.save.empty() && !edited) {
    // Nothing was edited: the scene goes out as it came in, keyframed curve and all.
    lwhost::WriteTextAtomically(args.save, sceneText.empty() ? "{}\n" : sceneText);
    std::cout << "wrote " << args.save << "\n";
  } else if (!args.save.empty()) {
    std::vector<uint8_t> flat;
    if (const PF_Err err = graph.FlattenCurve(&flat); err != PF_Err_NONE) {
      return ReportEffectError(std::cerr, "Flattening the width curve", err);
    }
    lwhost::WriteTextAtomically(args.save, lwhost::SceneTextWithCurve(sceneText, flat));
    std::cout << "wrote " << args.save << "\n";
  }
  return kExitOk;
}

}  // namespace

Subcommand AddGraphCommand(CLI::App& app) {
  auto args = std::make_shared<GraphArgs>();
  CLI::App* graph = app.add_subcommand(
      "graph", "Draw the Width Graph control to a PNG, after clicks and drags in it");
  graph->add_option("SCENE", args->scene, "Scene file (JSON); without it, the default curve");
  graph->add_option("-o,--output", args->out, "Output PNG (default graph.png)");
  // Clicks and drags are sent in the order they are given: each occurrence is recorded as soon
  // as it is parsed, not gathered per option at the end.
  const auto addEvent = [&](const char* name, bool drag, const char* help) {
    graph
        ->add_option_function<std::string>(
            name,
            [args, drag](const std::string& text) {
              args->events.push_back(ParseEvent(drag, text));
            },
            help)
        ->type_name("X,Y")
        ->trigger_on_parse()
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  };
  addEvent("--click", false, "Click at X,Y (control pixels from the top-left corner)");
  addEvent("--drag", true, "Drag to X,Y, moving the point the last click picked");
  graph->add_option("--save", args->save, "Write the scene with the edited curve to this file");
  return {graph, [args] { return RunGraph(*args); }};
}

}  // namespace lwcli
