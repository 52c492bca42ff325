// The host's drawing API: the four Drawbot suites and "PF Effect Custom UI Suite" 1, drawn with
// Cairo into an ARGB image, one DrawingContext per custom-UI draw event.
//
//   lwhost::DrawingContext drawing;                 // 220 x 150, transparent
//   event.contextH = drawing.ContextHandle();        // PF_GetDrawingReference finds it by this
//   ... serve DrawbotDrawSuite() & co to the effect, send the event ...
//   EXPECT_EQ(drawing.LiveObjects(), 0);             // every pen, brush and path released
//   lwhost::Rgba8 px = drawing.Pixel(10, 10);
//
// Drawbot functions get no host context: every object is a host-side record that points back at
// the context that made it, and a process-wide registry tells live contexts and objects apart
// from stray pointers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ae_effect_suites.h"
#include "drawbot_suites.h"
#include "drawing/drawing_observer.h"

namespace lwhost {

struct DrawingCanvas;  // drawing_objects.h

// Answers of the Drawbot functions, as four-character codes.
inline constexpr SPErr kDrawbotBadParameter = 0x5061726D;   // 'Parm': a wrong or stale ref
inline constexpr SPErr kDrawbotUnimplemented = 0x21494D50;  // '!IMP': text and images

// The width graph's control size; the default size of a drawing context.
inline constexpr int kDrawingDefaultWidth = 220;
inline constexpr int kDrawingDefaultHeight = 150;

// One pixel as stored: premultiplied by alpha (equal to straight colour where alpha is 255).
struct Rgba8 {
  std::uint8_t r;
  std::uint8_t g;
  std::uint8_t b;
  std::uint8_t a;
};

class DrawingContext {
 public:
  explicit DrawingContext(int width = kDrawingDefaultWidth, int height = kDrawingDefaultHeight);
  ~DrawingContext();
  DrawingContext(const DrawingContext&) = delete;
  DrawingContext& operator=(const DrawingContext&) = delete;

  // The event context handle that names this drawing; PF_GetDrawingReference maps it back.
  PF_ContextH ContextHandle() const;
  // The reference PF_GetDrawingReference hands out for this drawing.
  DRAWBOT_DrawRef DrawRef() const;

  int Width() const;
  int Height() const;
  // The pixel at column x, row y (origin top-left); throws std::out_of_range outside the image.
  Rgba8 Pixel(int x, int y) const;
  // Writes the image as a PNG; false when Cairo could not write it.
  bool WritePng(const std::string& path) const;

  // Pens, brushes and paths made, and those whose last reference was released.
  int ObjectsMade() const;
  int ObjectsReleased() const;
  int LiveObjects() const { return ObjectsMade() - ObjectsReleased(); }
  // Wrong calls seen (release of a dead or foreign object, of the supplier or the surface).
  int Misuses() const;

  // Not owned; may be null. Set it before the effect draws.
  void SetObserver(DrawingObserver* observer);

  // The state behind the refs: the canvas the suites' functions draw on.
 private:
  std::unique_ptr<DrawingCanvas> impl_;
};

// The suite tables, to publish under their names and versions.
const DRAWBOT_DrawbotSuite1* DrawbotDrawSuite();       // "DRAWBOT Draw Suite" 1
const DRAWBOT_SupplierSuite1* DrawbotSupplierSuite();  // "DRAWBOT Supplier Suite" 1
const DRAWBOT_SurfaceSuite2* DrawbotSurfaceSuite();    // "DRAWBOT Surface Suite" 2
const DRAWBOT_PathSuite1* DrawbotPathSuite();          // "DRAWBOT Path Suite" 1
const PF_EffectCustomUISuite1* EffectCustomUISuite();  // "PF Effect Custom UI Suite" 1

}  // namespace lwhost
