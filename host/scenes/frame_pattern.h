// Output names with a frame field: "out.%04d.png" names frame 7 "out.0007.png".
//
// The pattern is the user's text, so it is never handed to printf: it is parsed here, and the
// only field accepted is an integer field %d with an optional 0 flag and width (%d, %5d, %05d).
// "%%" stands for one "%"; any other "%" is an error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lwhost {

inline constexpr int kMaxFrameFieldWidth = 32;  // no frame number needs more; bounds the output

struct FramePattern {
  std::string prefix;  // text before the field ("%%" already turned into "%")
  std::string suffix;  // text after the field, or the whole name when there is no field
  bool hasField = false;
  bool zeroPad = false;  // "%0Nd"
  int width = 0;         // minimum digits (with sign), 0 for "%d"
};

// Parses `pattern`; throws std::invalid_argument saying what is wrong (a stray or unsupported
// "%", more than one field, a width above kMaxFrameFieldWidth).
FramePattern ParseFramePattern(std::string_view pattern);

// Whether a source file's name (its last part) names an image sequence: it holds a frame field.
// A "%" that is no frame field is part of a still's name, so that name is no sequence.
bool NamesImageSequence(std::string_view fileName);

// Parses `pattern` for a render of `frameCount` frames: more than one frame needs a field.
FramePattern ParseOutputPattern(std::string_view pattern, int64_t frameCount);

// The name of `frame`: the pattern's text with the frame number formatted as printf's %d, %Nd or
// %0Nd would format it. Without a field, the name itself.
std::string FormatFrame(const FramePattern& pattern, int64_t frame);

}  // namespace lwhost
