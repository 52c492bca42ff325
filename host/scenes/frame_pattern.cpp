#include "scenes/frame_pattern.h"

#include <stdexcept>

namespace lwhost {

FramePattern ParseFramePattern(std::string_view pattern) {
  FramePattern result;
  std::string text;  // the literal text collected so far
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c != '%') {
      text += c;
      ++i;
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      text += '%';
      i += 2;
      continue;
    }
    // A field: '%' ['0'] [digits] 'd'.
    const size_t start = i;
    ++i;
    bool zeroPad = false;
    if (i < pattern.size() && pattern[i] == '0') {
      zeroPad = true;
      ++i;
    }
    int width = 0;
    while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') {
      width = width * 10 + (pattern[i] - '0');
      if (width > kMaxFrameFieldWidth) {
        throw std::invalid_argument("frame field in \"" + std::string(pattern) +
                                    "\" is wider than " + std::to_string(kMaxFrameFieldWidth));
      }
      ++i;
    }
    if (i >= pattern.size() || pattern[i] != 'd') {
      throw std::invalid_argument("\"" + std::string(pattern) + "\" has an unsupported \"%\" at " +
                                  "position " + std::to_string(start) +
                                  ": a frame field is %d, %4d or %04d, and \"%%\" writes \"%\"");
    }
    ++i;
    if (result.hasField) {
      throw std::invalid_argument("\"" + std::string(pattern) + "\" has more than one frame field");
    }
    result.hasField = true;
    result.zeroPad = zeroPad;
    result.width = width;
    result.prefix = std::move(text);
    text.clear();
  }
  result.suffix = std::move(text);
  return result;
}

bool NamesImageSequence(std::string_view fileName) {
  try {
    return ParseFramePattern(fileName).hasField;
  } catch (const std::invalid_argument&) {
    return false;
  }
}

FramePattern ParseOutputPattern(std::string_view pattern, int64_t frameCount) {
  FramePattern result = ParseFramePattern(pattern);
  if (frameCount > 1 && !result.hasField) {
    throw std::invalid_argument("\"" + std::string(pattern) + "\" names one file but " +
                                std::to_string(frameCount) +
                                " frames are rendered: add a frame field such as %04d");
  }
  return result;
}

std::string FormatFrame(const FramePattern& pattern, int64_t frame) {
  if (!pattern.hasField) {
    return pattern.suffix;
  }
  // Digits of |frame| without overflow for the most negative value.
  uint64_t magnitude =
      frame < 0 ? uint64_t{0} - static_cast<uint64_t>(frame) : static_cast<uint64_t>(frame);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  const std::string sign = frame < 0 ? "-" : "";
  const size_t used = sign.size() + digits.size();
  const size_t pad = static_cast<size_t>(pattern.width) > used ? pattern.width - used : 0;
  // As printf: zeros go between the sign and the digits, spaces before the sign.
  const std::string number = pattern.zeroPad ? sign + std::string(pad, '0') + digits
                                             : std::string(pad, ' ') + sign + digits;
  return pattern.prefix + number + pattern.suffix;
}

}  // namespace lwhost
