#include "scenes/scene_text_edit.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

namespace lwhost {
namespace {

// Where one member of an object sits in the text.
struct MemberSpan {
  std::string key;   // decoded
  size_t start = 0;  // the key's opening quote
  size_t valueStart = 0;
  size_t valueEnd = 0;  // one past the value
};

// Where an object sits in the text, and its members in order.
struct ObjectSpan {
  size_t open = 0;   // '{'
  size_t close = 0;  // '}'
  std::vector<MemberSpan> members;
};

// A scanner over text that is known to be valid JSON (the scene was read before): it finds
// where values begin and end, and throws std::invalid_argument on anything unexpected rather
// than guessing.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  size_t SkipSpace(size_t at) const {
    while (at < text_.size() &&
           (text_[at] == ' ' || text_[at] == '\t' || text_[at] == '\n' || text_[at] == '\r')) {
      ++at;
    }
    return at;
  }

  // One past the value starting at `at`.
  size_t SkipValue(size_t at) const {
    at = SkipSpace(at);
    Expect(at < text_.size());
    const char c = text_[at];
    if (c == '"') {
      return SkipString(at);
    }
    if (c == '{' || c == '[') {
      const char close = c == '{' ? '}' : ']';
      at = SkipSpace(at + 1);
      if (at < text_.size() && text_[at] == close) {
        return at + 1;
      }
      while (true) {
        if (c == '{') {
          at = SkipSpace(SkipString(SkipSpace(at)));
          Expect(at < text_.size() && text_[at] == ':');
          ++at;
        }
        at = SkipSpace(SkipValue(at));
        Expect(at < text_.size());
        if (text_[at] == close) {
          return at + 1;
        }
        Expect(text_[at] == ',');
        ++at;
      }
    }
    // A number, true, false or null.
    const size_t start = at;
    while (at < text_.size() && text_[at] != ',' && text_[at] != '}' && text_[at] != ']' &&
           text_[at] != ' ' && text_[at] != '\t' && text_[at] != '\n' && text_[at] != '\r') {
      ++at;
    }
    Expect(at > start);
    return at;
  }

  ObjectSpan Object(size_t at) const {
    ObjectSpan object;
    object.open = SkipSpace(at);
    Expect(object.open < text_.size() && text_[object.open] == '{');
    at = SkipSpace(object.open + 1);
    Expect(at < text_.size());
    while (text_[at] != '}') {
      MemberSpan member;
      member.start = at;
      const size_t keyEnd = SkipString(at);
      member.key = Decode(at, keyEnd);
      at = SkipSpace(keyEnd);
      Expect(at < text_.size() && text_[at] == ':');
      member.valueStart = SkipSpace(at + 1);
      member.valueEnd = SkipValue(member.valueStart);
      object.members.push_back(member);
      at = SkipSpace(member.valueEnd);
      Expect(at < text_.size());
      if (text_[at] == ',') {
        at = SkipSpace(at + 1);
        Expect(at < text_.size());
      } else {
        Expect(text_[at] == '}');
      }
    }
    object.close = at;
    return object;
  }

  char At(size_t at) const { return at < text_.size() ? text_[at] : '\0'; }

 private:
  static void Expect(bool ok) {
    if (!ok) {
      throw std::invalid_argument("the scene is not valid JSON");
    }
  }

  size_t SkipString(size_t at) const {
    Expect(at < text_.size() && text_[at] == '"');
    for (++at; at < text_.size(); ++at) {
      if (text_[at] == '\\') {
        ++at;
      } else if (text_[at] == '"') {
        return at + 1;
      }
    }
    Expect(false);
    return at;
  }

  // The text of the string literal in [start, end), escapes decoded (\uXXXX as UTF-8; surrogate
  // pairs joined).
  std::string Decode(size_t start, size_t end) const {
    std::string out;
    for (size_t at = start + 1; at + 1 < end; ++at) {
      if (text_[at] != '\\') {
        out += text_[at];
        continue;
      }
      const char e = text_[++at];
      switch (e) {
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          uint32_t code = Hex4(at + 1);
          at += 4;
          if (code >= 0xD800 && code < 0xDC00 && At(at + 1) == '\\' && At(at + 2) == 'u') {
            code = 0x10000 + ((code - 0xD800) << 10) + (Hex4(at + 3) - 0xDC00);
            at += 6;
          }
          AppendUtf8(out, code);
          break;
        }
        default:
          out += e;
          break;  // \" \\ \/
      }
    }
    return out;
  }

  uint32_t Hex4(size_t at) const {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
      const char c = At(at + i);
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      Expect(digit >= 0);
      value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
  }

  static void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  std::string_view text_;
};

const MemberSpan* FindMember(const ObjectSpan& object, std::string_view key) {
  // JSON readers keep the last of two equal keys; so does the edit.
  const MemberSpan* found = nullptr;
  for (const MemberSpan& member : object.members) {
    if (member.key == key) {
      found = &member;
    }
  }
  return found;
}

// The text that goes before a new member after the last one of `object` (which has members):
// the separator and the spacing that precedes the last member.
std::string Lead(std::string_view text, const ObjectSpan& object) {
  const MemberSpan& last = object.members.back();
  // The whitespace between the previous separator (or the opening brace) and the last key.
  size_t begin = last.start;
  while (begin > 0 && (text[begin - 1] == ' ' || text[begin - 1] == '\t' ||
                       text[begin - 1] == '\n' || text[begin - 1] == '\r')) {
    --begin;
  }
  const std::string_view space = text.substr(begin, last.start - begin);
  return "," + (space.empty() ? std::string(" ") : std::string(space));
}

// Adds `member` (key and value text) at the end of `object`. An empty object gets it on a line
// of its own, indented by `innerIndent`, and its closing brace on the next, by `closingIndent`.
std::string WithAddedMember(std::string_view text, const ObjectSpan& object,
                            const std::string& member, const std::string& innerIndent,
                            const std::string& closingIndent) {
  if (object.members.empty()) {
    return std::string(text.substr(0, object.open + 1)) + "\n" + innerIndent + member + "\n" +
           closingIndent + std::string(text.substr(object.close));
  }
  // After the last value, leaving what came before the closing brace.
  const size_t at = object.members.back().valueEnd;
  return std::string(text.substr(0, at)) + Lead(text, object) + member +
         std::string(text.substr(at));
}

// The indentation one level in from `object`'s own members, guessed from the text.
std::string InnerIndent(std::string_view text, const ObjectSpan& object) {
  if (object.members.empty()) {
    return "  ";
  }
  const size_t start = object.members.front().start;
  size_t lineStart = start;
  while (lineStart > 0 && text[lineStart - 1] != '\n') {
    --lineStart;
  }
  if (text.substr(lineStart, start - lineStart).find_first_not_of(" \t") != std::string::npos) {
    return "  ";  // members on the brace's line: a compact file
  }
  return std::string(text.substr(lineStart, start - lineStart));
}

}  // namespace

std::string JsonStringLiteral(std::string_view text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      out += "\\u00";
      out += kDigits[byte >> 4];
      out += kDigits[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string SceneKeyJson(double frame, std::string_view valueJson, KeyInterpolation interpolation) {
  char number[32];
  const auto written = std::to_chars(number, number + sizeof number, frame);
  std::string key = "[" + std::string(number, written.ptr) + ", ";
  key += valueJson;
  if (interpolation != KeyInterpolation::kLinear) {
    key += ", " + JsonStringLiteral(KeyInterpolationName(interpolation));
  }
  return key + "]";
}

std::string SceneTextWithMember(std::string_view sceneText, std::string_view section,
                                std::string_view key, std::string_view valueJson) {
  const std::string_view text = sceneText.empty() ? std::string_view("{}\n") : sceneText;
  const Scanner scanner(text);
  if (scanner.At(scanner.SkipSpace(0)) != '{') {
    throw std::invalid_argument("the scene is not a JSON object");
  }
  const ObjectSpan root = scanner.Object(0);
  const std::string member = JsonStringLiteral(key) + ": " + std::string(valueJson);
  const MemberSpan* found = FindMember(root, section);
  if (found == nullptr) {
    const std::string indent = InnerIndent(text, root);
    const std::string added =
        JsonStringLiteral(section) + ": {\n" + indent + indent + member + "\n" + indent + "}";
    return WithAddedMember(text, root, added, indent, "");
  }
  if (scanner.At(found->valueStart) != '{') {
    throw std::invalid_argument("the scene's \"" + std::string(section) + "\" is not an object");
  }
  const ObjectSpan object = scanner.Object(found->valueStart);
  if (const MemberSpan* existing = FindMember(object, key)) {
    std::string out(text.substr(0, existing->valueStart));
    out += valueJson;
    out += text.substr(existing->valueEnd);
    return out;
  }
  const std::string outer = InnerIndent(text, root);
  return WithAddedMember(text, object, member, outer + outer, outer);
}

}  // namespace lwhost
