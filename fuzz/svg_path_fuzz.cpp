// SVG path data through the host's reader: any text either gives a mask (or, read as a drawing's
// path, a list of subpaths) whose every segment can be built, or an SvgPathError whose offset lies
// within the text.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "masks/svg_path.h"

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
  // A drawing's path of several subpaths: each one kept has a segment.
  try {
    for (const lwhost::Mask& mask : lwhost::ParseSvgSubpathList(text)) {
      lwfuzz::Check(lwhost::MaskSegmentCount(mask) > 0, "a subpath without a segment was kept");
    }
  } catch (const lwhost::SvgPathError& e) {
    lwfuzz::Check(e.offset() <= size, "error offset " + std::to_string(e.offset()) +
                                          " beyond the " + std::to_string(size) + " bytes read");
  }
  return 0;
}
