// `lathewind studio [SCENE] [--port N] [--root DIR]`: serves the effect live to a browser on
// 127.0.0.1 until interrupted.
#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

#include "cli_common.h"
#include "demo_scene.h"
#include "scene_start.h"
#include "studio.h"
#include "studio_server.h"

namespace lwcli {

namespace {

namespace fs = std::filesystem;

struct StudioArgs {
  std::string scene;
  int port = lwstudio::kDefaultPort;
  std::string root;  // empty: the scene's folder
};

std::atomic<bool> gStop{false};

void OnStop(int) {
  gStop.store(true);
}

int RunStudio(const StudioArgs& args) {
  std::optional<DemoFolder> demoFolder;
  lwstudio::StudioScene scene;
  if (args.scene.empty()) {
    demoFolder.emplace();
    LoadDemoScene(demoFolder->path());  // writes the texture the demo's text names
    scene.text = std::string(DemoSceneText());
    scene.folder = demoFolder->path();
  } else {
    std::ifstream in(args.scene, std::ios::binary);
    if (!in) {
      std::cerr << "lathewind studio: " << args.scene << ": cannot read the file\n";
      return kExitUsage;
    }
    std::ostringstream text;
    text << in.rdbuf();
    scene.text = text.str();
    scene.file = fs::absolute(args.scene);
    scene.folder = scene.file.parent_path();
    scene.name = args.scene;
  }
  if (!args.root.empty()) {
    std::error_code error;
    if (!fs::is_directory(args.root, error)) {
      std::cerr << "lathewind studio: --root " << args.root << ": not a folder\n";
      return kExitUsage;
    }
    scene.root = args.root;
  }

  std::optional<lwstudio::Studio> studio;
  try {
    studio.emplace(PluginPath(), std::move(scene));
  } catch (const lwhost::SceneError& e) {
    return SceneProblem(e);
  } catch (const lwhost::EffectError& e) {
    std::cerr << "lathewind: " << e.what() << "\n";
    return kExitEffectError;
  }
  lwstudio::StudioServer server(*studio);
  int port = 0;
  try {
    port = server.Bind(args.port);
  } catch (const lwstudio::PortInUse& e) {
    std::cerr << "lathewind studio: " << e.what() << "\n";
    return kExitUsage;
  }
  std::cout << "Lathewind studio: http://127.0.0.1:" << port << "/  (Ctrl-C stops it)" << std::endl;

  gStop = false;
  std::signal(SIGINT, OnStop);
  std::signal(SIGTERM, OnStop);
  std::thread watcher([&server] {
    while (!gStop.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    server.Stop();
  });
  server.Run();
  gStop = true;
  watcher.join();
  return kExitOk;
}

}  // namespace

Subcommand AddStudioCommand(CLI::App& app) {
  auto args = std::make_shared<StudioArgs>();
  CLI::App* studio = app.add_subcommand(
      "studio", "Serve the effect live to a browser on 127.0.0.1 (the page is built in)");
  studio->add_option("SCENE", args->scene, "Scene file (JSON); without it, the built-in demo");
  studio->add_option("--port", args->port, "Port to listen on (default 8370; 0 picks a free one)")
      ->check(CLI::Range(0, 65535));
  studio->add_option("--root", args->root,
                     "Folder the studio reads and exports in, subfolders included (default: the "
                     "scene's folder)");
  return {studio, [args] { return RunStudio(*args); }};
}

}  // namespace lwcli
