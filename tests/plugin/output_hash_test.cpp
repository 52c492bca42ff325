// The exact bytes of the renderer's output: every golden, example and benchmark scene, the
// built-in demo and a few variants are rendered through the loaded effect, and the SHA-256 of the
// output world's stored pixels (not a PNG, whose compressed bytes may vary) is compared with the
// table below. Any change to the arithmetic or to the order of deposits shows up here, however
// small; a faster renderer must keep every hash. Run with LATHEWIND_PRINT_HASHES=1 to print the
// table of the current build (and review why it changed before pasting it).
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>

#include "demo_scene.h"
#include "golden_scenes.h"
#include "scene_builder.h"

namespace lwtest {
namespace {

namespace fs = std::filesystem;

std::string Sha256Hex(const std::vector<unsigned char>& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
    return "EVP_Digest failed";
  }
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

// Variants that cover what the scenes above leave out or touch only lightly.
const GoldenScene kVariants[] = {
    // Sharp corners at High quality, 16 bits, Flat with depth, smoothing off.
    {"variant_corners_high16_flat_depth", R"json({
      "layer": {"width": 200, "height": 120}, "bitDepth": 16,
      "layers": {"checker": {"pattern": "checker", "width": 30, "height": 10, "cell": 5,
                             "colors": ["#FF204080", "#20F0A0FF"]}},
      "masks": {"zz": {"svg": "M 20 100 L 60 20 L 100 100 L 140 20 L 180 100"}},
      "params": {"Path": "zz", "Source": "checker", "Fit": "Tile", "Quality": "High",
                 "Thickness (0 = from source)": 24, "Surface": "Flat", "Shading": 80,
                 "Bank": -15, "Depth": 9, "Depth Direction": 200, "Depth Shade": 30}
    })json"},
    // Mirrored (negative thickness), along the height, Segment from the end, smoothed, opacity,
    // expanded bounds and a path that leaves the layer.
    {"variant_mirror_segment_expand", R"json({
      "layer": {"width": 180, "height": 100},
      "layers": {"checker": {"pattern": "checker", "width": 12, "height": 40, "cell": 4,
                             "colors": ["#C0C0FFFF", "#402000FF"]}},
      "masks": {"hook": {"svg": "M -30 80 C 40 -40 150 -10 210 90"}},
      "params": {"Path": "hook", "Source": "checker", "Fit": "Segment",
                 "Stretch Along Path": "Height", "Thickness (0 = from source)": -30,
                 "Segment Position": 90, "Segment Length": 80, "Segment Grows From": "End",
                 "Offset": 5, "Smooth Corners": 70, "Taper Start": 10, "Taper Shape": "Linear",
                 "Shading": 100, "Light Direction": 90, "Opacity": 65, "Expand Bounds": 12}
    })json"},
    // No source layer: an opaque white ribbon, banked, trimmed, drawn at half resolution.
    {"variant_empty_source_downsampled", R"json({
      "layer": {"width": 240, "height": 140}, "downsample": [2, 2],
      "masks": {"loop": {"svg": "M 40 70 C 40 10 200 10 200 70 C 200 130 40 130 40 70 Z"}},
      "params": {"Path": "loop", "Thickness (0 = from source)": 40, "Bank": 50,
                 "Trim Start": 80, "Trim End": 5, "Depth": 14, "Depth Direction": 45,
                 "Shading": 40}
    })json"},
};

// Bench scenes too heavy to render whole in a unit test are drawn downsampled; the downsampled
// render walks the same code with smaller counts.
const std::map<std::string, int32_t> kBenchDownsample = {
    {"budget", 4},  {"uhd_high", 4},      {"zigzag_long_depth", 4},
    {"hd_tube", 2}, {"hd_tube_16bit", 2}, {"hd_tube_depth200", 2},
};

// The SHA-256 of the output world's bytes of every scene, as the straightforward renderer made
// them.
const std::map<std::string, std::string> kExpectedHashes = {
    {"golden_taper_curve_tube_depth",
     "203d9258c80971a14bf61dde6594e1f3ab87fc1a0349e07b2d33656cb86ef2f6"},
    {"golden_tile_closed_smooth",
     "b9b84235a98ac4e453a5a1d881db37bba54952814126ca18a505e365daf2f3f8"},
    {"golden_segment_autobank_flat",
     "ab753c282ad8aae476c604d3d37c075e20cfba20788f56b5cdb24be1768d16f4"},
    {"golden_deep_width_profile",
     "2777de5912ed8aed98e5edecd2256bb8deefe5cabe83b6427249b6159c98b4a5"},
    {"variant_corners_high16_flat_depth",
     "cd4ebff7db248352acd9aadb2b49bdc656b5da429768bd99f2266a7acc57ed78"},
    {"variant_mirror_segment_expand",
     "bc891e00b358a84eb138caf3bb9ae38cadc82620b632674c17072693617ee009"},
    {"variant_empty_source_downsampled",
     "4d45e59ab92c57a733e5a5fea6d1c6cfec92d70d46d9887bd8e70b4a4a0bae75"},
    {"example_auto_bank", "84809afd9a94905885ab478a6c18d5e584d021796368b497fd8a91c8c2314cd0"},
    {"example_deep_16bit", "deaf7445be7dd65c05de1c7712dec2f0a4db30a46e18e843b8a97fa132ea5d4e"},
    {"example_segment_grow", "d8e4f6e062e1971d9a17fcf0663b757fc8926cab5dad30f6e9438d9f7e0f8bbe"},
    {"example_stretch", "a9eb815c60ec1d1195794aa7ea34e3385e08b2827aadd5616fc890cafcb1ab65"},
    {"example_tile_closed", "09624f5f506b93f887163ac5be0e3911d0245611966b05183e6a10b5aba8acce"},
    {"example_width_graph", "64b69dcd2291d2b061d899109dd46e45ecd97e1f2e44c92d0ebcbd188c4e0a83"},
    {"example_width_profile", "0e09fcfe8030b032272909668a90406c2706ee27480278725fdb72d23a303eaa"},
    // Arcs, a drawing and a moving spine: their bytes checked against the straightforward renderer.
    {"example_arcs", "0ca26abde3b01baa7d1b28573841ca47722497b24f6d4a388f6e6701a4710247"},
    {"example_drawing", "d183882304c4817fe0c0013ef28d8c529bd9a1d032d789974aeb49d2416387c0"},
    {"example_moving_spine", "974908d6e69575ed58c1945407a1de855a8f295cbaeee46bca0a4506b2b248e0"},
    {"bench_budget", "4637b6514c362d46695462d6b371a009f1cd89eb6dadd744c8415b93c9a50315"},
    {"bench_hd_tube", "f82f72eca5cb4ee528db756842641675e59732a88a667039ddd52f67f973ea80"},
    {"bench_hd_tube_16bit", "221ff0c7b79cfd855918f8a6cc7a2a39dfa7e0e0de6fb48ec6394d48f4c3ae30"},
    {"bench_hd_tube_depth200", "99fd5eb6b695df863f4e319c913313ca72568626380bd8272091eb8b87579d26"},
    {"bench_tile_closed_long", "69f5390758dffe441a415103db2c3220d966110b196613946de8c2ab57a82ac3"},
    {"bench_uhd_high", "975e56061333d66c1cb96902f471ebdb7326d951c2a1243b32da048294440fe7"},
    {"bench_zigzag_fans", "bd71cae0546ead14773ac3ce278892dff225f51f8b8aa98bc63d9d4528ea6ba7"},
    {"bench_zigzag_long_depth", "bcc5d9c16dad5c83978a0f5c8f1331856488a0022413f6f84418482d150e40f2"},
    {"demo", "7f683c8ecbcc732537d6bdc6b6110256b6ca27521020b3f76268226911c9da8f"},
};

struct NamedScene {
  std::string name;
  std::function<lwhost::Scene()> load;
};

std::vector<NamedScene> AllScenes() {
  std::vector<NamedScene> scenes;
  for (const GoldenScene& golden : kGoldenScenes) {
    scenes.push_back({std::string("golden_") + golden.name,
                      [golden] { return lwhost::ParseSceneText(golden.json, golden.name, "."); }});
  }
  for (const GoldenScene& variant : kVariants) {
    scenes.push_back({variant.name, [variant] {
                        return lwhost::ParseSceneText(variant.json, variant.name, ".");
                      }});
  }
  const fs::path root(LATHEWIND_SOURCE_DIR);
  for (const char* folder : {"examples", "bench/scenes"}) {
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(root / folder)) {
      if (entry.path().extension() == ".json") {
        files.push_back(entry.path());
      }
    }
    std::sort(files.begin(), files.end());
    const bool bench = std::string(folder) == "bench/scenes";
    for (const fs::path& file : files) {
      const std::string stem = file.stem().string();
      scenes.push_back({(bench ? "bench_" : "example_") + stem, [file, bench, stem] {
                          lwhost::Scene scene = lwhost::ParseSceneFile(file);
                          const auto down = kBenchDownsample.find(stem);
                          if (bench && down != kBenchDownsample.end()) {
                            scene.downsampleX = down->second;
                            scene.downsampleY = down->second;
                          }
                          return scene;
                        }});
    }
  }
  scenes.push_back({"demo", [] {
                      const fs::path folder = fs::temp_directory_path() / "lw_hash_demo";
                      fs::create_directories(folder);
                      return lwcli::LoadDemoScene(folder);
                    }});
  return scenes;
}

class OutputHashTest : public RenderTest {};

TEST_F(OutputHashTest, EveryScenesBytesAreUnchanged) {
  const bool print = std::getenv("LATHEWIND_PRINT_HASHES") != nullptr;
  std::string table;
  for (const NamedScene& named : AllScenes()) {
    const lwhost::Scene scene = named.load();
    // An animated scene is checked in the middle of its frames, where the keys interpolate.
    const int32_t frame = scene.firstFrame + (scene.lastFrame - scene.firstFrame) / 2;
    const lwhost::FrameOutput out = Render(scene, frame);
    ASSERT_EQ(out.err, PF_Err_NONE) << named.name;
    EXPECT_FALSE(IsTransparent(out.image)) << named.name << " should draw something";
    const std::string hash = Sha256Hex(out.image.bytes);
    table += "    {\"" + named.name + "\",\n     \"" + hash + "\"},\n";
    const auto expected = kExpectedHashes.find(named.name);
    if (expected == kExpectedHashes.end()) {
      ADD_FAILURE() << named.name << " has no expected hash";
    } else {
      EXPECT_EQ(hash, expected->second) << named.name << " renders different bytes";
    }
  }
  if (print) {
    std::printf("%s", table.c_str());
  }
}

}  // namespace
}  // namespace lwtest
