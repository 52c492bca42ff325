// The host's drawing API: Drawbot calls land as pixels in the context's image, and every object
// is counted so that a test can see that the effect gave everything back.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "drawing/drawing_context.h"

namespace {

using lwhost::DrawingContext;
using lwhost::Rgba8;

constexpr DRAWBOT_ColorRGBA kRed = {1.0f, 0.0f, 0.0f, 1.0f};
constexpr DRAWBOT_ColorRGBA kWhite = {1.0f, 1.0f, 1.0f, 1.0f};

// The suites as the effect sees them, with the supplier and surface of one context.
struct Drawbot {
  explicit Drawbot(DrawingContext& context) {
    DRAWBOT_DrawRef ref = nullptr;
    EXPECT_EQ(lwhost::EffectCustomUISuite()->PF_GetDrawingReference(context.ContextHandle(), &ref),
              PF_Err_NONE);
    EXPECT_EQ(draw->GetSupplier(ref, &supplier), 0);
    EXPECT_EQ(draw->GetSurface(ref, &surface), 0);
  }
  DRAWBOT_PathRef Rect(float l, float t, float w, float h) {
    DRAWBOT_PathRef p = nullptr;
    EXPECT_EQ(sup->NewPath(supplier, &p), 0);
    const DRAWBOT_RectF32 r = {l, t, w, h};
    EXPECT_EQ(path->AddRect(p, &r), 0);
    return p;
  }
  DRAWBOT_BrushRef Brush(const DRAWBOT_ColorRGBA& c) {
    DRAWBOT_BrushRef b = nullptr;
    EXPECT_EQ(sup->NewBrush(supplier, &c, &b), 0);
    return b;
  }
  DRAWBOT_PenRef Pen(const DRAWBOT_ColorRGBA& c, float width) {
    DRAWBOT_PenRef p = nullptr;
    EXPECT_EQ(sup->NewPen(supplier, &c, width, &p), 0);
    return p;
  }

  const DRAWBOT_DrawbotSuite1* draw = lwhost::DrawbotDrawSuite();
  const DRAWBOT_SupplierSuite1* sup = lwhost::DrawbotSupplierSuite();
  const DRAWBOT_SurfaceSuite2* surf = lwhost::DrawbotSurfaceSuite();
  const DRAWBOT_PathSuite1* path = lwhost::DrawbotPathSuite();
  DRAWBOT_SupplierRef supplier = nullptr;
  DRAWBOT_SurfaceRef surface = nullptr;
};

bool IsOpaque(Rgba8 p, int r, int g, int b) {
  return p.r == r && p.g == g && p.b == b && p.a == 255;
}
bool IsClear(Rgba8 p) {
  return p.r == 0 && p.g == 0 && p.b == 0 && p.a == 0;
}

TEST(DrawingTest, FilledRectCoversExactlyItsPixels) {
  DrawingContext context;
  ASSERT_EQ(context.Width(), 220);
  ASSERT_EQ(context.Height(), 150);
  Drawbot db(context);
  DRAWBOT_PathRef p = db.Rect(10, 20, 30, 40);
  DRAWBOT_BrushRef b = db.Brush(kRed);
  ASSERT_EQ(db.surf->FillPath(db.surface, b, p, kDRAWBOT_FillType_Winding), 0);

  for (auto [x, y] : {std::pair{10, 20}, {39, 20}, {10, 59}, {39, 59}, {25, 40}}) {
    EXPECT_TRUE(IsOpaque(context.Pixel(x, y), 255, 0, 0)) << "inside at " << x << ", " << y;
  }
  for (auto [x, y] : {std::pair{9, 20}, {40, 20}, {10, 19}, {10, 60}, {0, 0}}) {
    EXPECT_TRUE(IsClear(context.Pixel(x, y))) << "outside at " << x << ", " << y;
  }
  EXPECT_THROW(context.Pixel(220, 0), std::out_of_range);
  db.sup->ReleaseObject(b);
  db.sup->ReleaseObject(p);
}

TEST(DrawingTest, OnePixelLineOnAPixelCentreCoversOneRow) {
  DrawingContext context;
  Drawbot db(context);
  DRAWBOT_PathRef p = nullptr;
  ASSERT_EQ(db.sup->NewPath(db.supplier, &p), 0);
  ASSERT_EQ(db.path->MoveTo(p, 0.0f, 10.5f), 0);
  ASSERT_EQ(db.path->LineTo(p, 50.0f, 10.5f), 0);
  DRAWBOT_PenRef pen = db.Pen(kWhite, 1.0f);
  ASSERT_EQ(db.surf->StrokePath(db.surface, pen, p), 0);

  for (int x = 1; x < 49; ++x) {
    EXPECT_TRUE(IsOpaque(context.Pixel(x, 10), 255, 255, 255)) << "row 10 at x = " << x;
    EXPECT_TRUE(IsClear(context.Pixel(x, 9))) << "row 9 at x = " << x;
    EXPECT_TRUE(IsClear(context.Pixel(x, 11))) << "row 11 at x = " << x;
  }
  EXPECT_TRUE(IsClear(context.Pixel(60, 10))) << "past the line's end";
  db.sup->ReleaseObject(pen);
  db.sup->ReleaseObject(p);
}

TEST(DrawingTest, EvenOddLeavesTheOverlapOfTwoRectsEmptyWindingFillsIt) {
  for (DRAWBOT_FillType type : {kDRAWBOT_FillType_Winding, kDRAWBOT_FillType_EvenOdd}) {
    DrawingContext context;
    Drawbot db(context);
    DRAWBOT_PathRef p = db.Rect(0, 0, 20, 20);
    const DRAWBOT_RectF32 second = {10, 10, 20, 20};
    ASSERT_EQ(db.path->AddRect(p, &second), 0);
    DRAWBOT_BrushRef b = db.Brush(kRed);
    ASSERT_EQ(db.surf->FillPath(db.surface, b, p, type), 0);

    EXPECT_TRUE(IsOpaque(context.Pixel(5, 5), 255, 0, 0)) << "fill type " << type;
    EXPECT_TRUE(IsOpaque(context.Pixel(25, 25), 255, 0, 0)) << "fill type " << type;
    const Rgba8 overlap = context.Pixel(15, 15);
    if (type == kDRAWBOT_FillType_Winding) {
      EXPECT_TRUE(IsOpaque(overlap, 255, 0, 0)) << "winding fills the overlap";
    } else {
      EXPECT_TRUE(IsClear(overlap)) << "even-odd leaves the overlap empty";
    }
    EXPECT_EQ(db.surf->FillPath(db.surface, b, p, 7), lwhost::kDrawbotBadParameter)
        << "an unknown fill type is refused";
    db.sup->ReleaseObject(b);
    db.sup->ReleaseObject(p);
  }
}

TEST(DrawingTest, StraightBezierDrawsTheSamePixelsAsALine) {
  DrawingContext lineContext;
  DrawingContext curveContext;
  Drawbot line(lineContext);
  Drawbot curve(curveContext);
  DRAWBOT_PathRef a = nullptr;
  DRAWBOT_PathRef b = nullptr;
  ASSERT_EQ(line.sup->NewPath(line.supplier, &a), 0);
  ASSERT_EQ(curve.sup->NewPath(curve.supplier, &b), 0);
  line.path->MoveTo(a, 10, 10);
  line.path->LineTo(a, 100, 70);
  curve.path->MoveTo(b, 10, 10);
  const DRAWBOT_PointF32 c1 = {40, 30}, c2 = {70, 50}, end = {100, 70};  // thirds of the line
  ASSERT_EQ(curve.path->BezierTo(b, &c1, &c2, &end), 0);
  DRAWBOT_PenRef pa = line.Pen(kWhite, 2.0f);
  DRAWBOT_PenRef pb = curve.Pen(kWhite, 2.0f);
  line.surf->StrokePath(line.surface, pa, a);
  curve.surf->StrokePath(curve.surface, pb, b);

  int differing = 0;
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 110; ++x) {
      differing += std::abs(lineContext.Pixel(x, y).a - curveContext.Pixel(x, y).a) > 8;
    }
  }
  EXPECT_EQ(differing, 0) << "pixels differing by more than 8 levels of alpha";
  for (auto obj : {a, pa})
    line.sup->ReleaseObject(obj);
  for (auto obj : {b, pb})
    curve.sup->ReleaseObject(obj);
}

TEST(DrawingTest, ObjectsAreCountedAndWrongReleasesRefused) {
  DrawingContext context;
  Drawbot db(context);
  DRAWBOT_PenRef pen = db.Pen(kWhite, 1.0f);
  DRAWBOT_BrushRef brush = db.Brush(kRed);
  DRAWBOT_PathRef p = db.Rect(0, 0, 4, 4);
  EXPECT_EQ(context.ObjectsMade(), 3);
  EXPECT_EQ(context.LiveObjects(), 3);

  // A retained object needs two releases.
  ASSERT_EQ(db.sup->RetainObject(p), 0);
  ASSERT_EQ(db.sup->ReleaseObject(p), 0);
  EXPECT_EQ(context.LiveObjects(), 3);
  ASSERT_EQ(db.sup->ReleaseObject(p), 0);
  EXPECT_EQ(context.LiveObjects(), 2);

  EXPECT_EQ(db.sup->ReleaseObject(p), lwhost::kDrawbotBadParameter) << "double release";
  EXPECT_EQ(db.surf->FillPath(db.surface, brush, p, 1), lwhost::kDrawbotBadParameter)
      << "a released path cannot be drawn";
  EXPECT_EQ(db.surf->FillPath(db.surface, pen, db.Rect(0, 0, 1, 1), 1),
            lwhost::kDrawbotBadParameter)
      << "a pen is not a brush";
  EXPECT_EQ(db.sup->ReleaseObject(db.supplier), lwhost::kDrawbotBadParameter);
  EXPECT_EQ(db.sup->ReleaseObject(db.surface), lwhost::kDrawbotBadParameter);
  EXPECT_EQ(context.Misuses(), 3);

  db.sup->ReleaseObject(pen);
  db.sup->ReleaseObject(brush);
  EXPECT_EQ(context.ObjectsMade(), 4);
  EXPECT_EQ(context.LiveObjects(), 1) << "the path made for the pen-as-brush call is still live";
}

TEST(DrawingTest, RefsOfAContextThatIsGoneAreRefused) {
  DRAWBOT_PathRef stale = nullptr;
  PF_ContextH staleHandle = nullptr;
  {
    DrawingContext context;
    Drawbot db(context);
    stale = db.Rect(0, 0, 1, 1);
    staleHandle = context.ContextHandle();
  }
  EXPECT_EQ(lwhost::DrawbotSupplierSuite()->ReleaseObject(stale), lwhost::kDrawbotBadParameter);
  DRAWBOT_DrawRef ref = reinterpret_cast<DRAWBOT_DrawRef>(1);
  EXPECT_EQ(lwhost::EffectCustomUISuite()->PF_GetDrawingReference(staleHandle, &ref),
            PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(ref, nullptr);
}

// Forwards what a context reports, and fails one call on demand.
struct RecordingObserver : lwhost::DrawingObserver {
  SPErr Check(std::string_view call) override { return call == failCall ? 99 : 0; }
  void ObjectMade(const void*, std::string_view kind) override { made.emplace_back(kind); }
  void ObjectReleased(const void*) override { ++released; }
  std::string failCall;
  std::vector<std::string> made;
  int released = 0;
};

TEST(DrawingTest, ObserverSeesObjectsAndCanFailACall) {
  DrawingContext context;
  RecordingObserver observer;
  observer.failCall = "FillPath";
  context.SetObserver(&observer);
  Drawbot db(context);
  DRAWBOT_PathRef p = db.Rect(0, 0, 10, 10);
  DRAWBOT_BrushRef b = db.Brush(kRed);
  EXPECT_EQ(db.surf->FillPath(db.surface, b, p, 1), 99);
  EXPECT_TRUE(IsClear(context.Pixel(5, 5))) << "a failed fill draws nothing";
  db.sup->ReleaseObject(b);
  db.sup->ReleaseObject(p);
  EXPECT_EQ(observer.made, (std::vector<std::string>{"path", "brush"}));
  EXPECT_EQ(observer.released, 2);
}

TEST(DrawingTest, WritesAPng) {
  DrawingContext context;
  Drawbot db(context);
  DRAWBOT_PathRef p = db.Rect(0, 0, 220, 150);
  DRAWBOT_BrushRef b = db.Brush(kRed);
  db.surf->FillPath(db.surface, b, p, 1);
  const auto file = std::filesystem::temp_directory_path() / "lathewind_drawing_test.png";
  ASSERT_TRUE(context.WritePng(file.string())) << file;
  EXPECT_GT(std::filesystem::file_size(file), 8u);
  std::filesystem::remove(file);
  db.sup->ReleaseObject(b);
  db.sup->ReleaseObject(p);
}

}  // namespace
