// The scenes of the golden images in tests/golden/, shared by the golden test and the output
// hash test.
#pragma once

namespace lwtest {

struct GoldenScene {
  const char* name;
  const char* json;
};

// 160 x 90 layers; a checker source in every scene so that the mapping shows.
inline constexpr GoldenScene kGoldenScenes[] = {
    {"taper_curve_tube_depth", R"json({
      "layer": {"width": 160, "height": 90},
      "layers": {"checker": {"pattern": "checker", "width": 64, "height": 16, "cell": 8,
                             "colors": ["#E04030FF", "#F0E0A0FF"]}},
      "masks": {"wave": {"svg": "M 15 60 C 45 5 75 5 90 45 S 130 85 148 30"}},
      "params": {"Path": "wave", "Source": "checker", "Thickness (0 = from source)": 22,
                 "Taper Start": 25, "Taper End": 35, "Taper Shape": "Smooth",
                 "Width Graph": [[0, 0.5], [0.5, 1], [1, 0.7]],
                 "Surface": "Tube", "Shading": 75, "Light Direction": 315,
                 "Depth": 6, "Depth Direction": 150, "Depth Shade": 50}
    })json"},
    {"tile_closed_smooth", R"json({
      "layer": {"width": 160, "height": 90},
      "layers": {"checker": {"pattern": "checker", "width": 24, "height": 12, "cell": 6,
                             "colors": ["#2050D0FF", "#FFFFFF80"]}},
      "masks": {"box": {"svg": "M 30 20 L 130 20 L 130 70 L 30 70 Z"}},
      "params": {"Path": "box", "Source": "checker", "Fit": "Tile", "Smooth Corners": 40,
                 "Thickness (0 = from source)": 12}
    })json"},
    {"segment_autobank_flat", R"json({
      "layer": {"width": 160, "height": 90},
      "layers": {"checker": {"pattern": "checker", "width": 40, "height": 20, "cell": 5,
                             "colors": ["#30A050FF", "#101010FF"]}},
      "masks": {"arc": {"svg": "M 10 75 Q 80 -30 150 75"}},
      "params": {"Path": "arc", "Source": "checker", "Fit": "Segment",
                 "Segment Position": 50, "Segment Length": 70, "Segment Grows From": "Center",
                 "Thickness (0 = from source)": 26, "Auto Bank": 100, "Bank": 20,
                 "Surface": "Flat", "Shading": 60, "Light Direction": 45,
                 "Flat Position": 50, "Flat Width": 30, "Bank Falloff": 40}
    })json"},
    {"deep_width_profile", R"json({
      "layer": {"width": 160, "height": 90},
      "bitDepth": 16,
      "layers": {"checker": {"pattern": "checker", "width": 16, "height": 48, "cell": 4,
                             "colors": ["#8030C0FF", "#F0A020FF"]}},
      "masks": {"spine": {"svg": "M 12 45 C 50 20 110 70 148 45"},
                "bump": {"svg": "M 0 100 L 30 60 L 60 90 L 90 40 L 120 100"}},
      "params": {"Path": "spine", "Source": "checker", "Stretch Along Path": "Height",
                 "Thickness (0 = from source)": 36, "Width Curve": "bump",
                 "Start Width": 120, "End Width": 70, "Opacity": 90}
    })json"},
};

}  // namespace lwtest
