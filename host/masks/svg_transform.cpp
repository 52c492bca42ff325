#include "masks/svg_transform.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace lwhost {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

double Radians(double degrees) {
  return degrees * std::numbers::pi / 180.0;
}

class TransformReader {
 public:
  explicit TransformReader(std::string_view text) : text_(text) {}

  Affine Read() {
    Affine result;
    SkipSeparators();
    while (pos_ < text_.size()) {
      result = Compose(result, ReadOne());
      SkipSeparators();
    }
    return result;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw SvgTransformError("transform \"" + std::string(text_) + "\": " + what + " at character " +
                            std::to_string(pos_ + 1));
  }

  void SkipSpaces() {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) {
      ++pos_;
    }
  }
  void SkipSeparators() {
    SkipSpaces();
    if (pos_ < text_.size() && text_[pos_] == ',') {
      ++pos_;
      SkipSpaces();
    }
  }

  Affine ReadOne() {
    const size_t nameStart = pos_;
    while (pos_ < text_.size() && std::isalpha(static_cast<unsigned char>(text_[pos_]))) {
      ++pos_;
    }
    const std::string name(text_.substr(nameStart, pos_ - nameStart));
    if (name.empty()) {
      Fail("expected a transform name");
    }
    SkipSpaces();
    if (pos_ >= text_.size() || text_[pos_] != '(') {
      Fail("expected '(' after " + name);
    }
    ++pos_;
    std::vector<double> args;
    SkipSpaces();
    while (pos_ < text_.size() && text_[pos_] != ')') {
      args.push_back(ReadNumber());
      SkipSeparators();
    }
    if (pos_ >= text_.size()) {
      Fail("missing ')' after " + name);
    }
    ++pos_;
    return Make(name, args);
  }

  double ReadNumber() {
    const char* begin = text_.data() + pos_;
    const char* end = text_.data() + text_.size();
    if (begin < end && *begin == '+') {
      ++begin;  // from_chars does not take a leading '+'
    }
    double value = 0.0;
    const auto parsed = std::from_chars(begin, end, value);
    if (parsed.ec != std::errc() || !std::isfinite(value)) {
      Fail("expected a number");
    }
    pos_ = static_cast<size_t>(parsed.ptr - text_.data());
    return value;
  }

  Affine Make(const std::string& name, const std::vector<double>& v) {
    const size_t n = v.size();
    const auto need = [&](bool ok, const char* counts) {
      if (!ok) {
        Fail(name + " takes " + counts + " numbers, not " + std::to_string(n));
      }
    };
    if (name == "matrix") {
      need(n == 6, "6");
      return {v[0], v[1], v[2], v[3], v[4], v[5]};
    }
    if (name == "translate") {
      need(n == 1 || n == 2, "1 or 2");
      return {1, 0, 0, 1, v[0], n == 2 ? v[1] : 0.0};
    }
    if (name == "scale") {
      need(n == 1 || n == 2, "1 or 2");
      return {v[0], 0, 0, n == 2 ? v[1] : v[0], 0, 0};
    }
    if (name == "rotate") {
      need(n == 1 || n == 3, "1 or 3");
      const double cosA = std::cos(Radians(v[0]));
      const double sinA = std::sin(Radians(v[0]));
      const Affine turn = {cosA, sinA, -sinA, cosA, 0, 0};
      if (n == 1) {
        return turn;
      }
      // About (cx, cy): there, turn, back.
      return Compose(Affine{1, 0, 0, 1, v[1], v[2]},
                     Compose(turn, Affine{1, 0, 0, 1, -v[1], -v[2]}));
    }
    if (name == "skewX") {
      need(n == 1, "1");
      return {1, 0, std::tan(Radians(v[0])), 1, 0, 0};
    }
    if (name == "skewY") {
      need(n == 1, "1");
      return {1, std::tan(Radians(v[0])), 0, 1, 0, 0};
    }
    Fail("unknown transform \"" + name + "\"");
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

Affine Compose(const Affine& m, const Affine& n) {
  return {m.a * n.a + m.c * n.b, m.b * n.a + m.d * n.b,       m.a * n.c + m.c * n.d,
          m.b * n.c + m.d * n.d, m.a * n.e + m.c * n.f + m.e, m.b * n.e + m.d * n.f + m.f};
}

Vec2 ApplyAffine(const Affine& m, Vec2 p) {
  return {m.a * p.x + m.c * p.y + m.e, m.b * p.x + m.d * p.y + m.f};
}

Affine ParseSvgTransform(std::string_view text) {
  return TransformReader(text).Read();
}

Mask TransformedMask(const Mask& mask, const Affine& m) {
  const Affine linear = {m.a, m.b, m.c, m.d, 0.0, 0.0};
  Mask moved = mask;
  for (MaskVertex& v : moved.vertices) {
    v.point = ApplyAffine(m, v.point);
    v.inTangent = ApplyAffine(linear, v.inTangent);
    v.outTangent = ApplyAffine(linear, v.outTangent);
  }
  return moved;
}

}  // namespace lwhost
