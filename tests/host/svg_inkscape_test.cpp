// Drawings read as Inkscape reads them: for the example drawings Inkscape ships, every element
// Lathewind accepts has the bounding box Inkscape's own geometry gives it (`inkscape
// --query-all`), within half a pixel. Strokes, markers, filters, clips and masks are switched off
// first, so that Inkscape's box is the outline's own.
//
// Inkscape's --shell runs every drawing in one process: it takes seconds to start.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "masks/svg_bytes.h"
#include "masks/svg_file.h"
#include "masks/svg_viewport.h"

namespace lwhost {
namespace {

namespace fs = std::filesystem;

const fs::path kExamples = "/usr/share/inkscape/examples";
constexpr double kTolerance = 0.5;  // pixels
constexpr int kSamplesPerSegment = 64;

struct Box {
  double x0 = std::numeric_limits<double>::infinity();
  double y0 = std::numeric_limits<double>::infinity();
  double x1 = -std::numeric_limits<double>::infinity();
  double y1 = -std::numeric_limits<double>::infinity();
  void Add(Vec2 p) {
    x0 = std::min(x0, p.x);
    y0 = std::min(y0, p.y);
    x1 = std::max(x1, p.x);
    y1 = std::max(y1, p.y);
  }
};

std::string Describe(const Box& b) {
  std::ostringstream text;
  text << "(" << b.x0 << ", " << b.y0 << ") to (" << b.x1 << ", " << b.y1 << ")";
  return text.str();
}

bool Near(const Box& a, const Box& b) {
  return std::abs(a.x0 - b.x0) <= kTolerance && std::abs(a.y0 - b.y0) <= kTolerance &&
         std::abs(a.x1 - b.x1) <= kTolerance && std::abs(a.y1 - b.y1) <= kTolerance;
}

// Dense samples along every segment: close enough to the exact box for half a pixel.
void AddMask(const Mask& mask, Box* box) {
  for (int i = 0; i < MaskSegmentCount(mask); ++i) {
    const CubicBezier c = MaskSegment(mask, i);
    for (int k = 0; k <= kSamplesPerSegment; ++k) {
      box->Add(BezierPoint(c, static_cast<double>(k) / kSamplesPerSegment));
    }
  }
}

std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return out;
  }
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    out.append(buffer, got);
  }
  ::pclose(pipe);
  return out;
}

bool InkscapeInstalled() {
  return std::system("inkscape --version >/dev/null 2>&1") == 0;
}

// The drawing with everything that draws outside the outline switched off on every element.
std::string OutlinesOnly(const std::string& text) {
  pugi::xml_document document;
  if (!document.load_buffer(text.data(), text.size())) {
    return "";
  }
  struct Walker : pugi::xml_tree_walker {
    bool for_each(pugi::xml_node& node) override {
      if (node.type() == pugi::node_element) {
        // Inkscape redraws a linked offset from inkscape:original; every other reader, Lathewind
        // included, draws its d. Without the type Inkscape draws the d too.
        if (std::string_view(node.attribute("sodipodi:type").value()) == "inkscape:offset") {
          node.remove_attribute("sodipodi:type");
        }
        pugi::xml_attribute style = node.attribute("style");
        if (!style) {
          style = node.append_attribute("style");
        }
        style.set_value((std::string(style.value()) +
                         ";stroke:none;filter:none;marker:none;marker-start:none;"
                         "marker-mid:none;marker-end:none;clip-path:none;mask:none")
                            .c_str());
      }
      return true;
    }
  } walker;
  document.traverse(walker);
  std::ostringstream out;
  document.save(out, "", pugi::format_raw);
  return out.str();
}

// The document's size in pixels, which Inkscape's boxes are given in; the viewBox fits into it.
bool DocumentSize(const std::string& text, double* width, double* height) {
  pugi::xml_document document;
  document.load_buffer(text.data(), text.size());
  const pugi::xml_node root = document.document_element();
  const std::optional<SvgViewBox> box = ParseSvgViewBox(root.attribute("viewBox").value());
  const auto side = [&](const char* name, double fallback) {
    const std::string value = root.attribute(name).value();
    if (value.empty() || value.back() == '%') {
      return fallback;
    }
    return SvgLength(value, SvgAxis::kX, {}).value_or(fallback);
  };
  *width = side("width", box ? box->width : 0.0);
  *height = side("height", box ? box->height : 0.0);
  return *width > 0.0 && *height > 0.0;
}

TEST(SvgInkscapeTest, EveryAcceptedElementOfTheShippedDrawingsHasInkscapesBox) {
  if (!InkscapeInstalled()) {
    GTEST_SKIP() << "Inkscape is not installed (scripts/install-deps --test installs it)";
  }
  if (!fs::is_directory(kExamples)) {
    GTEST_SKIP() << "Inkscape's example drawings are not in " << kExamples;
  }
  const fs::path work = fs::temp_directory_path() / ("svg-inkscape-" + std::to_string(::getpid()));
  fs::create_directories(work / "profile");
  std::vector<fs::path> drawings;
  for (const fs::directory_entry& entry : fs::directory_iterator(kExamples)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".svg" || ext == ".svgz") {
      drawings.push_back(entry.path());
    }
  }
  std::sort(drawings.begin(), drawings.end());
  struct Copy {
    fs::path drawing;
    std::string outlines;
    double width = 0.0;
    double height = 0.0;
  };
  std::map<std::string, Copy> copies;  // by the copy's path
  std::string commands;
  for (const fs::path& drawing : drawings) {
    std::string text = ReadOpenedFile(OpenThroughGate(drawing, OpenGate()), kMaxSvgBytes);
    if (IsGzip(text)) {
      text = Gunzip(text, kMaxSvgBytes);
    }
    Copy copy{drawing, OutlinesOnly(text)};
    if (copy.outlines.empty() || !DocumentSize(copy.outlines, &copy.width, &copy.height)) {
      continue;
    }
    const fs::path path = work / (drawing.stem().string() + ".svg");
    std::ofstream(path, std::ios::binary) << copy.outlines;
    commands += "file-open:" + path.string() + ";query-all;file-close\n";
    copies.emplace(path.string(), std::move(copy));
  }
  std::ofstream(work / "commands") << commands << "quit\n";
  // One Inkscape for all the drawings: it is slow to start. Its shell echoes each command line
  // ("> file-open:PATH;...") before the boxes of that drawing, one "id,x,y,width,height" a line.
  std::istringstream lines(Output("INKSCAPE_PROFILE_DIR='" + (work / "profile").string() +
                                  "' inkscape --shell < '" + (work / "commands").string() +
                                  "' 2>/dev/null"));
  int accepted = 0;
  const Copy* current = nullptr;
  for (std::string line; std::getline(lines, line);) {
    const size_t open = line.find("file-open:");
    if (open != std::string::npos) {
      const auto found = copies.find(line.substr(open + 10, line.find(';') - open - 10));
      current = found == copies.end() ? nullptr : &found->second;
      continue;
    }
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, ',');) {
      fields.push_back(field);
    }
    if (current == nullptr || fields.size() != 5) {
      continue;
    }
    const Box inkscape{std::stod(fields[1]), std::stod(fields[2]),
                       std::stod(fields[1]) + std::stod(fields[3]),
                       std::stod(fields[2]) + std::stod(fields[4])};
    SvgMaskRequest request{fields[0], SvgFit::kLayer, current->width, current->height, 0};
    Box ours;
    try {
      const SvgFileMask first = MaskFromSvgText(current->outlines, request);
      AddMask(first.mask, &ours);
      for (size_t i = 1; i < first.subpathCount; ++i) {
        request.subpath = static_cast<int>(i);
        AddMask(MaskFromSvgText(current->outlines, request).mask, &ours);
      }
    } catch (const SvgFileError&) {
      continue;  // not an element Lathewind takes (a group, text, an image, ...)
    }
    ++accepted;
    EXPECT_TRUE(Near(ours, inkscape))
        << current->drawing.filename() << " #" << fields[0] << ": Lathewind " << Describe(ours)
        << ", Inkscape " << Describe(inkscape);
  }
  fs::remove_all(work);
  RecordProperty("elements_compared", accepted);
  // The drawings hold hundreds of paths: a handful would mean the comparison went wrong.
  EXPECT_GT(accepted, 200) << "elements compared";
}

}  // namespace
}  // namespace lwhost
