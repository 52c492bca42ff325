#include "masks/svg_path.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "masks/svg_arc.h"

namespace lwhost {
namespace {

// A closing point this close to the first one (relative to the coordinates' size) repeats it:
// relative commands accumulate rounding, so an exact comparison would keep a sliver segment.
constexpr double kSamePoint = 1e-9;

std::string Quote(char c) {
  return std::string("'") + c + "'";
}

std::string At(size_t offset) {
  return "character " + std::to_string(offset + 1);
}

[[noreturn]] void Fail(const std::string& what, size_t offset) {
  throw SvgPathError("SVG path: " + what, offset);
}

// Numbers each command takes per repetition; -1 for letters that are not supported commands.
int ArgumentCount(char command) {
  switch (command) {
    case 'M':
    case 'm':
    case 'L':
    case 'l':
    case 'T':
    case 't':
      return 2;
    case 'H':
    case 'h':
    case 'V':
    case 'v':
      return 1;
    case 'C':
    case 'c':
      return 6;
    case 'S':
    case 's':
    case 'Q':
    case 'q':
      return 4;
    case 'A':
    case 'a':
      return 7;
    case 'Z':
    case 'z':
      return 0;
    default:
      return -1;
  }
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
bool StartsNumber(char c) {
  return IsDigit(c) || c == '+' || c == '-' || c == '.';
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  // Skips white space and at most one comma between tokens.
  void SkipSeparators() {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) {
      ++pos_;
    }
    if (pos_ < text_.size() && text_[pos_] == ',') {
      ++pos_;
      while (pos_ < text_.size() && IsSpace(text_[pos_])) {
        ++pos_;
      }
    }
  }
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return text_[pos_]; }
  size_t Pos() const { return pos_; }
  void Advance() { ++pos_; }

  // An arc's flag: one '0' or '1', which may run straight into the next number ("a5 5 0 1110 10").
  bool ScanFlag(double* value, std::string* bad) {
    if (pos_ < text_.size() && (text_[pos_] == '0' || text_[pos_] == '1')) {
      *value = text_[pos_] == '1' ? 1.0 : 0.0;
      ++pos_;
      return true;
    }
    size_t end = pos_ + 1;
    while (end < text_.size() && !IsSpace(text_[end]) && text_[end] != ',') {
      ++end;
    }
    *bad = std::string(text_.substr(pos_, end - pos_));
    return false;
  }

  // sign? (digits ("." digits?)? | "." digits) (("e" | "E") sign? digits)?
  bool ScanNumber(double* value, std::string* bad) {
    const size_t start = pos_;
    size_t p = pos_;
    const auto digits = [&] {
      const size_t from = p;
      while (p < text_.size() && IsDigit(text_[p])) {
        ++p;
      }
      return p - from;
    };
    if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) {
      ++p;
    }
    size_t mantissa = digits();
    if (p < text_.size() && text_[p] == '.') {
      ++p;
      mantissa += digits();
    }
    bool ok = mantissa > 0;
    if (ok && p < text_.size() && (text_[p] == 'e' || text_[p] == 'E')) {
      ++p;
      if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) {
        ++p;
      }
      ok = digits() > 0;
    }
    // from_chars does not take a leading '+'.
    const size_t numberStart = text_[start] == '+' ? start + 1 : start;
    if (ok) {
      const auto result = std::from_chars(text_.data() + numberStart, text_.data() + p, *value);
      ok = result.ec == std::errc() && std::isfinite(*value);
    }
    if (!ok) {
      // Show the token up to the next separator so the user sees what was written.
      size_t end = std::max(p, start + 1);
      while (end < text_.size() && !IsSpace(text_[end]) && text_[end] != ',') {
        ++end;
      }
      *bad = std::string(text_.substr(start, end - start));
      return false;
    }
    pos_ = p;
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

Vec2 Add(Vec2 a, Vec2 b) {
  return {a.x + b.x, a.y + b.y};
}
Vec2 Sub(Vec2 a, Vec2 b) {
  return {a.x - b.x, a.y - b.y};
}
Vec2 Lerp(Vec2 a, Vec2 b, double k) {
  return {a.x + k * (b.x - a.x), a.y + k * (b.y - a.y)};
}

bool SamePoint(Vec2 a, Vec2 b) {
  const double size =
      1.0 + std::max({std::fabs(a.x), std::fabs(a.y), std::fabs(b.x), std::fabs(b.y)});
  return std::hypot(a.x - b.x, a.y - b.y) <= kSamePoint * size;
}

struct Builder {
  Mask mask;
  Vec2 current;
  Vec2 start;
  char previous = 0;  // upper-case letter of the previous command, for S and T reflections
  Vec2 lastCubicControl;
  Vec2 lastQuadControl;

  void Cubic(Vec2 c1, Vec2 c2, Vec2 end) {
    mask.vertices.back().outTangent = Sub(c1, current);
    mask.vertices.push_back({end, Sub(c2, end), Vec2{}});
    lastCubicControl = c2;
    current = end;
  }
  void Line(Vec2 end) { Cubic(current, end, end); }
  void Arc(double rx, double ry, double rotation, bool large, bool sweep, Vec2 end) {
    for (const CubicBezier& c : SvgArcToCubics({current, rx, ry, rotation, large, sweep, end})) {
      Cubic(c.p1, c.p2, c.p3);
    }
  }
  // A quadratic with control q is the cubic whose controls lie 2/3 of the way towards q.
  void Quadratic(Vec2 q, Vec2 end) {
    Cubic(Lerp(current, q, 2.0 / 3.0), Lerp(end, q, 2.0 / 3.0), end);
    lastQuadControl = q;
  }
  // The reflection of the previous command's last control about the current point, or the
  // current point itself when the previous command was of another kind.
  Vec2 Reflect(bool matches, Vec2 control) const {
    return matches ? Sub(Add(current, current), control) : current;
  }
  void Close() {
    std::vector<MaskVertex>& v = mask.vertices;
    if (v.size() > 1 && SamePoint(v.back().point, v.front().point)) {
      v.front().inTangent = v.back().inTangent;
      v.pop_back();
    }
    mask.closed = true;
    current = start;
  }
};

// The subpaths in order; without `many` a second one is an error. A subpath without a segment
// (a lone move) is left out: it draws nothing.
std::vector<Mask> ParseSvgSubpaths(std::string_view data, bool many) {
  std::vector<Mask> result;
  const auto keep = [&](Mask& mask) {
    if (mask.vertices.size() > 1) {
      result.push_back(std::move(mask));
    }
  };
  Reader in(data);
  Builder b;
  char command = 0;
  size_t commandPos = 0;
  bool started = false;

  in.SkipSeparators();
  if (in.AtEnd()) {
    Fail("no path data", 0);
  }
  while (true) {
    in.SkipSeparators();
    if (in.AtEnd()) {
      break;
    }
    const char c = in.Peek();
    const size_t cPos = in.Pos();
    if (!StartsNumber(c)) {
      if (ArgumentCount(c) < 0) {
        Fail("unknown command " + Quote(c) + " at " + At(cPos), cPos);
      }
      if (!started && c != 'M' && c != 'm') {
        Fail("path data must start with 'M', not " + Quote(c) + " at " + At(cPos), cPos);
      }
      if ((b.mask.closed || (started && (c == 'M' || c == 'm'))) && many) {
        // The next subpath starts where this one left the current point (its start after a Z);
        // a command other than a move starts it right there.
        keep(b.mask);
        b.mask = Mask{};
        b.start = b.current;
        if (c != 'M' && c != 'm') {
          b.mask.vertices.push_back({b.current, Vec2{}, Vec2{}});
        }
      } else if (b.mask.closed || (started && (c == 'M' || c == 'm'))) {
        Fail(
            "only one subpath is allowed; " + Quote(c) + " at " + At(cPos) + " starts a second one",
            cPos);
      }
      command = c;
      commandPos = cPos;
      in.Advance();
    } else if (command == 0) {
      Fail("path data must start with 'M', not a number at " + At(cPos), cPos);
    } else if (command == 'Z' || command == 'z') {
      Fail("unexpected number at " + At(cPos) + " after " + Quote(command), cPos);
    } else if (command == 'M' || command == 'm') {
      command = command == 'M' ? 'L' : 'l';  // extra pairs after a move are lines
    }

    const int count = ArgumentCount(command);
    double a[7] = {};
    for (int k = 0; k < count; ++k) {
      in.SkipSeparators();
      if (in.AtEnd()) {
        Fail(Quote(command) + " at " + At(commandPos) + " needs " + std::to_string(count) +
                 " numbers but the path data ends after " + std::to_string(k),
             in.Pos());
      }
      std::string bad;
      const size_t numberPos = in.Pos();
      const bool isFlag = (command == 'A' || command == 'a') && (k == 3 || k == 4);
      if (!(isFlag ? in.ScanFlag(&a[k], &bad) : in.ScanNumber(&a[k], &bad))) {
        if (isFlag) {
          Fail("bad flag \"" + bad + "\" at " + At(numberPos) + " for " + Quote(command) + " at " +
                   At(commandPos) + ": a flag is 0 or 1",
               numberPos);
        }
        Fail("bad number \"" + bad + "\" at " + At(numberPos) + " for " + Quote(command) + " at " +
                 At(commandPos),
             numberPos);
      }
    }

    const bool relative = command >= 'a' && command <= 'z';
    const char upper = relative ? static_cast<char>(command - 'a' + 'A') : command;
    // The first move of a path is absolute whichever case it is written in.
    const Vec2 origin = relative && started ? b.current : Vec2{};
    const auto P = [&](int k) { return Vec2{origin.x + a[k], origin.y + a[k + 1]}; };
    switch (upper) {
      case 'M':
        b.current = b.start = P(0);
        b.mask.vertices.push_back({b.current, Vec2{}, Vec2{}});
        started = true;
        break;
      case 'L':
        b.Line(P(0));
        break;
      case 'H':
        b.Line({relative ? b.current.x + a[0] : a[0], b.current.y});
        break;
      case 'V':
        b.Line({b.current.x, relative ? b.current.y + a[0] : a[0]});
        break;
      case 'C':
        b.Cubic(P(0), P(2), P(4));
        break;
      case 'S':
        b.Cubic(b.Reflect(b.previous == 'C' || b.previous == 'S', b.lastCubicControl), P(0), P(2));
        break;
      case 'Q':
        b.Quadratic(P(0), P(2));
        break;
      case 'T':
        b.Quadratic(b.Reflect(b.previous == 'Q' || b.previous == 'T', b.lastQuadControl), P(0));
        break;
      case 'A':
        try {
          b.Arc(a[0], a[1], a[2], a[3] != 0.0, a[4] != 0.0, P(5));
        } catch (const std::domain_error& e) {
          Fail(std::string(e.what()) + ": " + Quote(command) + " at " + At(commandPos), commandPos);
        }
        break;
      case 'Z':
        b.Close();
        break;
    }
    b.previous = upper;
  }
  if (!many) {
    result.push_back(std::move(b.mask));
  } else {
    keep(b.mask);
  }
  return result;
}

}  // namespace

Mask ParseSvgPath(std::string_view data) {
  return std::move(ParseSvgSubpaths(data, false).front());
}

std::vector<Mask> ParseSvgSubpathList(std::string_view data) {
  return ParseSvgSubpaths(data, true);
}

}  // namespace lwhost
