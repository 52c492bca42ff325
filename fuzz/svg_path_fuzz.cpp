// SVG path data through the host's reader: any text either gives a mask whose every segment can
// be built, or an SvgPathError whose offset lies within the text.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "svg_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const lwhost::Mask mask = lwhost::ParseSvgPath(text);
    for (int i = 0; i < lwhost::MaskSegmentCount(mask); ++i) {
      (void)lwhost::MaskSegment(mask, i);
    }
  } catch (const lwhost::SvgPathError& e) {
    lwfuzz::Check(e.offset() <= size, "error offset " + std::to_string(e.offset()) +
                                          " beyond the " + std::to_string(size) + " bytes read");
  }
  return 0;
}
