#include "results_table.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <thread>

namespace lwbench {

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kCellBytes = 20.0;  // LWD_Accum: five floats

std::string Fixed(double v, int digits) {
  std::ostringstream s;
  s << std::fixed << std::setprecision(digits) << v;
  return s.str();
}

// A time with the unit that keeps it readable.
std::string Duration(double seconds) {
  if (seconds >= 1.0) {
    return Fixed(seconds, 2) + " s";
  }
  if (seconds >= 1e-3) {
    return Fixed(seconds * 1e3, seconds >= 0.1 ? 0 : 1) + " ms";
  }
  if (seconds >= 1e-6) {
    return Fixed(seconds * 1e6, 1) + " us";
  }
  return Fixed(seconds * 1e9, 1) + " ns";
}

std::string Rate(double perSecond) {
  if (perSecond >= 1e9) {
    return Fixed(perSecond / 1e9, 2) + " G/s";
  }
  return Fixed(perSecond / 1e6, 1) + " M/s";
}

std::string CpuModel() {
  std::ifstream info("/proc/cpuinfo");
  std::string line;
  while (std::getline(info, line)) {
    if (line.rfind("model name", 0) == 0) {
      const std::size_t colon = line.find(':');
      return colon == std::string::npos ? line : line.substr(colon + 2);
    }
  }
  return "unknown";
}

std::string Today() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
  return text;
}

const Measured* Find(const std::vector<std::pair<std::string, Measured>>& results,
                     const std::string& name) {
  for (const auto& [n, m] : results) {
    if (n == name) {
      return &m;
    }
  }
  return nullptr;
}

bool Usable(const Measured* m) {
  return m != nullptr && m->error.empty() && m->seconds > 0.0;
}

struct Row {
  std::vector<std::string> cells;
};

void PrintTable(const std::vector<std::string>& header, const std::vector<Row>& rows,
                std::ostream& out) {
  std::vector<std::size_t> width(header.size());
  for (std::size_t c = 0; c < header.size(); ++c) {
    width[c] = header[c].size();
    for (const Row& r : rows) {
      width[c] = std::max(width[c], r.cells[c].size());
    }
  }
  const auto line = [&](const std::vector<std::string>& cells) {
    for (std::size_t c = 0; c < cells.size(); ++c) {
      // The name column to the left, figures to the right.
      out << (c == 0 ? std::left : std::right) << std::setw(static_cast<int>(width[c])) << cells[c]
          << (c + 1 < cells.size() ? "  " : "\n");
    }
  };
  line(header);
  std::vector<std::string> rule;
  for (std::size_t w : width) {
    rule.push_back(std::string(w, '-'));
  }
  line(rule);
  for (const Row& r : rows) {
    line(r.cells);
  }
}

nlohmann::json MemoryJson(const RenderMemory& m, double bufferBytes) {
  const double expected = bufferBytes + m.sourceBytes + m.outputBytes;
  const double peak = static_cast<double>(m.peakGrowth + m.sourceBytes);
  return {{"peakGrowthBytes", m.peakGrowth},
          {"sourceBytes", m.sourceBytes},
          {"outputBytes", m.outputBytes},
          {"bufferBytes", bufferBytes},
          {"peakBytes", peak},
          {"expectedBytes", expected},
          {"peakOverExpected", peak / expected},
          {"peakMarkReset", m.markReset}};
}

}  // namespace

void Collector::ReportRuns(const std::vector<Run>& runs) {
  for (const Run& run : runs) {
    if (run.run_type != Run::RT_Iteration) {
      continue;  // the aggregates are recomputed from the repetitions
    }
    // The function name only: without the "/real_time" or argument suffixes.
    const std::string name = run.run_name.function_name;
    if (runs_.find(name) == runs_.end()) {
      order_.push_back(name);
    }
    runs_[name].push_back(run);
  }
}

std::vector<std::pair<std::string, Measured>> Collector::Results() const {
  std::vector<std::pair<std::string, Measured>> out;
  for (const std::string& name : order_) {
    std::vector<Run> runs = runs_.at(name);
    Measured m;
    const auto failed =
        std::find_if(runs.begin(), runs.end(), [](const Run& r) { return r.error_occurred; });
    if (failed != runs.end()) {
      m.error = failed->error_message;
      out.emplace_back(name, m);
      continue;
    }
    const auto perIteration = [](const Run& r) {
      return r.real_accumulated_time / static_cast<double>(std::max<std::int64_t>(1, r.iterations));
    };
    std::sort(runs.begin(), runs.end(),
              [&](const Run& a, const Run& b) { return perIteration(a) < perIteration(b); });
    const Run& median = runs[runs.size() / 2];
    m.seconds = perIteration(median);
    m.cpuSeconds = median.cpu_accumulated_time /
                   static_cast<double>(std::max<std::int64_t>(1, median.iterations));
    m.iterations = median.iterations;
    const auto items = median.counters.find("items_per_second");
    m.itemsPerSecond = items == median.counters.end() ? 0.0 : items->second.value;
    out.emplace_back(name, m);
  }
  return out;
}

bool ReportResults(const Collector& collector, const std::vector<SceneEntry>& scenes,
                   const BenchOptions& options, const std::string& commandLine, std::ostream& out) {
  const auto results = collector.Results();
  const bool withBaseline = !options.baseline.empty();
  // Columns: 0 name, 1 wall, 2 cpu, 3 rate, 4 floor cpu, 5 render/floor, 6 peak, 7 expected,
  // 8 threaded wall, 9 threaded speed-up (wall), then with a baseline 10 baseline wall,
  // 11 baseline cpu, 12 speed-up wall, 13 speed-up cpu.
  const int threads = ThreadedRenderThreads(options);
  const std::string threadsLabel = std::to_string(threads) + " thr";
  std::vector<std::string> header = {"benchmark",
                                     "wall",
                                     "cpu",
                                     "rate/cpu",
                                     "floor cpu",
                                     "/floor",
                                     "peak MiB",
                                     "bufs+src+out MiB",
                                     threadsLabel + " wall",
                                     threadsLabel + " / 1"};
  if (withBaseline) {
    for (const char* h : {"base wall", "base cpu", "speed-up wall", "speed-up cpu"}) {
      header.push_back(h);
    }
  }
  std::vector<Row> rows;
  nlohmann::json micro = nlohmann::json::array();
  nlohmann::json sceneJson = nlohmann::json::array();

  for (const auto& [name, m] : results) {
    if (name.rfind("micro/", 0) != 0) {
      continue;
    }
    Row r;
    r.cells.resize(header.size());
    r.cells[0] = name;
    if (m.error.empty()) {
      r.cells[1] = Duration(m.seconds);
      r.cells[2] = Duration(m.cpuSeconds);
      r.cells[3] = Rate(m.itemsPerSecond);
    } else {
      r.cells[1] = "error: " + m.error;
    }
    rows.push_back(r);
    micro.push_back({{"name", name},
                     {"secondsPerOp", m.seconds},
                     {"cpuSecondsPerOp", m.cpuSeconds},
                     {"itemsPerSecond", m.itemsPerSecond},
                     {"error", m.error}});
  }

  for (const SceneEntry& scene : scenes) {
    const Measured* render = Find(results, RenderBenchmarkName(scene.name));
    const Measured* floor = Find(results, FloorBenchmarkName(scene.name));
    const Measured* baseline = Find(results, BaselineBenchmarkName(scene.name));
    const Measured* threaded = Find(results, ThreadsBenchmarkName(scene.name));
    if (render == nullptr && floor == nullptr && baseline == nullptr && threaded == nullptr) {
      continue;  // filtered out
    }
    Row r;
    r.cells.resize(header.size());
    r.cells[0] = "scene/" + scene.name;
    nlohmann::json j = {{"name", scene.name}};
    if (!scene.census) {
      r.cells[1] = "census: " + scene.problem;
      j["error"] = "census: " + scene.problem;
    } else {
      const SceneCensus& c = *scene.census;
      const double cells = static_cast<double>(c.boxWidth) * c.boxHeight;
      const double bufferBytes = cells * kCellBytes * (c.HasDepth() ? 2 : 1);
      j["box"] = {c.boxX0, c.boxY0, c.boxWidth, c.boxHeight};
      j["frontDeposits"] = c.frontDeposits;
      j["depthDeposits"] = c.depthDeposits;
      j["deposits"] = c.Deposits();
      j["fetches"] = c.frontDeposits;
      j["fetchesCounted"] = scene.fetchesCounted;
      if (Usable(render)) {
        r.cells[1] = Duration(render->seconds);
        r.cells[2] = Duration(render->cpuSeconds);
        r.cells[3] = Rate(static_cast<double>(c.Deposits()) / render->cpuSeconds);
        j["msPerFrame"] = render->seconds * 1e3;
        j["cpuMsPerFrame"] = render->cpuSeconds * 1e3;
        j["depositsPerSecond"] = static_cast<double>(c.Deposits()) / render->seconds;
        j["depositsPerCpuSecond"] = static_cast<double>(c.Deposits()) / render->cpuSeconds;
        j["iterations"] = render->iterations;
      } else if (render != nullptr) {
        r.cells[1] = "error: " + render->error;
        j["error"] = render->error;
      }
      if (Usable(floor)) {
        r.cells[4] = Duration(floor->cpuSeconds);
        j["floorMs"] = floor->seconds * 1e3;
        j["floorCpuMs"] = floor->cpuSeconds * 1e3;
        if (Usable(render)) {
          r.cells[5] = Fixed(render->cpuSeconds / floor->cpuSeconds, 2) + "x";
          j["renderOverFloor"] = render->seconds / floor->seconds;
          j["renderCpuOverFloorCpu"] = render->cpuSeconds / floor->cpuSeconds;
        }
      }
      if (scene.memory) {
        const nlohmann::json mj = MemoryJson(*scene.memory, bufferBytes);
        r.cells[6] =
            Fixed(mj["peakBytes"].get<double>() / kMiB, 1) + (scene.memory->markReset ? "" : "*");
        r.cells[7] = Fixed(mj["expectedBytes"].get<double>() / kMiB, 1);
        j["memory"] = mj;
      }
      if (Usable(threaded)) {
        r.cells[8] = Duration(threaded->seconds);
        j["threads"] = threads;
        j["threadsMsPerFrame"] = threaded->seconds * 1e3;
        j["threadsCpuMsPerFrame"] = threaded->cpuSeconds * 1e3;
        if (Usable(render)) {
          r.cells[9] = Fixed(render->seconds / threaded->seconds, 2) + "x";
          j["threadsSpeedup"] = render->seconds / threaded->seconds;
        }
      } else if (threaded != nullptr) {
        r.cells[8] = "error";
        j["threadsError"] = threaded->error;
      }
      if (withBaseline) {
        if (Usable(baseline)) {
          r.cells[10] = Duration(baseline->seconds);
          r.cells[11] = Duration(baseline->cpuSeconds);
          j["baselineMsPerFrame"] = baseline->seconds * 1e3;
          j["baselineCpuMsPerFrame"] = baseline->cpuSeconds * 1e3;
          if (Usable(render)) {
            r.cells[12] = Fixed(baseline->seconds / render->seconds, 2) + "x";
            r.cells[13] = Fixed(baseline->cpuSeconds / render->cpuSeconds, 2) + "x";
            j["speedup"] = baseline->seconds / render->seconds;
            j["speedupCpu"] = baseline->cpuSeconds / render->cpuSeconds;
          }
        } else if (baseline != nullptr) {
          r.cells[10] = "error";
          j["baselineError"] = baseline->error;
        }
        if (scene.baselineMemory) {
          j["baselineMemory"] = MemoryJson(*scene.baselineMemory, bufferBytes);
        }
      }
    }
    rows.push_back(r);
    sceneJson.push_back(j);
  }

  out << "\n";
  PrintTable(header, rows, out);
  out << "wall / cpu: real and process CPU time per op (micro) or per frame (scene); rate: ops or\n"
         "deposits per CPU second; floor: the scene's fetches and deposits inline and nothing "
         "else;\n"
         "/floor and speed-up cpu: ratios of CPU times, steadier than wall on a loaded machine;\n"
         "N thr: the render granted N threads; N thr / 1: its wall-time speed-up over one thread\n"
         "(wall time only: meaningful when the machine has N idle cores);\n"
         "peak: resident growth of one render in a fresh process + its Source (* = peak mark not\n"
         "reset, includes loading); bufs+src+out: accumulation buffers + Source + output world.\n";

  if (options.jsonOut.empty()) {
    return true;
  }
  const nlohmann::json doc = {
      {"date", Today()},
      {"machine", {{"cpu", CpuModel()}, {"cores", std::thread::hardware_concurrency()}}},
      {"command", commandLine},
      {"plugin", options.plugin},
      {"baseline", options.baseline},
      {"micro", micro},
      {"scenes", sceneJson}};
  const std::filesystem::path path(options.jsonOut);
  if (path.has_parent_path()) {
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
  }
  // Written beside, then renamed: a failed run never leaves half a file.
  const std::string temp = options.jsonOut + ".tmp";
  {
    std::ofstream file(temp);
    file << doc.dump(2) << "\n";
    if (!file) {
      std::remove(temp.c_str());
      return false;
    }
  }
  return std::rename(temp.c_str(), options.jsonOut.c_str()) == 0;
}

}  // namespace lwbench
