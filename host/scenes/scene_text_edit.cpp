#include "scenes/scene_text_edit.h"

#include <charconv>
#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>
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

  // Where each element of the list at `at` begins and ends.
  std::vector<std::pair<size_t, size_t>> Array(size_t at) const {
    std::vector<std::pair<size_t, size_t>> elements;
    at = SkipSpace(at);
    Expect(At(at) == '[');
    at = SkipSpace(at + 1);
    while (At(at) != ']') {
      const size_t end = SkipValue(at);
      elements.emplace_back(at, end);
      at = SkipSpace(end);
      if (At(at) == ',') {
        at = SkipSpace(at + 1);
      } else {
        Expect(At(at) == ']');
      }
    }
    return elements;
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

using Json = nlohmann::ordered_json;

// One piece of the old text replaced by new text.
struct Splice {
  size_t start = 0;
  size_t end = 0;
  std::string text;
};

// The value's text for a new member or element: compact, as a person would type it.
std::string ValueText(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The splices that turn the value in [start, end) of `text` into `wanted`. Objects and lists of
// the same length are edited member by member, so what did not change keeps its bytes.
void Edit(const Scanner& scanner, std::string_view text, size_t start, size_t end,
          const Json& wanted, std::vector<Splice>& splices) {
  const Json old = Json::parse(text.substr(start, end - start), nullptr, false);
  if (!old.is_discarded() && old == wanted) {
    return;
  }
  if (!old.is_discarded() && old.is_object() && wanted.is_object()) {
    const ObjectSpan object = scanner.Object(start);
    for (size_t i = 0; i < object.members.size(); ++i) {
      const MemberSpan& member = object.members[i];
      if (wanted.contains(member.key)) {
        if (FindMember(object, member.key) == &member) {
          Edit(scanner, text, member.valueStart, member.valueEnd, wanted.at(member.key), splices);
        }
        continue;
      }
      // Gone: with the separator after it while a kept member follows, else the one before it.
      const bool keptAfter = std::any_of(
          object.members.begin() + static_cast<std::ptrdiff_t>(i) + 1, object.members.end(),
          [&](const MemberSpan& m) { return wanted.contains(m.key); });
      if (keptAfter) {
        splices.push_back({member.start, object.members[i + 1].start, ""});
      } else if (i > 0) {
        splices.push_back({object.members[i - 1].valueEnd, member.valueEnd, ""});
      } else {
        splices.push_back({member.start, member.valueEnd, ""});
      }
    }
    std::string added;
    const bool empty = std::none_of(object.members.begin(), object.members.end(),
                                    [&](const MemberSpan& m) { return wanted.contains(m.key); });
    for (const auto& [key, value] : wanted.items()) {
      if (FindMember(object, key) == nullptr) {
        const std::string member = JsonStringLiteral(key) + ": " + ValueText(value);
        added += (empty && added.empty()) ? member : Lead(text, object) + member;
      }
    }
    if (!added.empty()) {
      const size_t at = object.members.empty() ? object.open + 1 : object.members.back().valueEnd;
      splices.push_back({at, at, added});
    }
    return;
  }
  if (!old.is_discarded() && old.is_array() && wanted.is_array() && old.size() == wanted.size()) {
    const auto elements = scanner.Array(start);
    for (size_t i = 0; i < elements.size(); ++i) {
      Edit(scanner, text, elements[i].first, elements[i].second, wanted[i], splices);
    }
    return;
  }
  splices.push_back({start, end, ValueText(wanted)});
}

}  // namespace

std::string SceneTextKeeping(std::string_view fileText, std::string_view newText) {
  const Json wanted = Json::parse(newText, nullptr, false);
  if (wanted.is_discarded() || !wanted.is_object()) {
    throw std::invalid_argument("the new scene is not a JSON object");
  }
  const Scanner scanner(fileText);
  const size_t start = scanner.SkipSpace(0);
  if (scanner.At(start) != '{') {
    return wanted.dump(2) + "\n";  // nothing of the file's own layout to keep
  }
  std::vector<Splice> splices;
  Edit(scanner, fileText, start, scanner.SkipValue(start), wanted, splices);
  std::sort(splices.begin(), splices.end(),
            [](const Splice& a, const Splice& b) { return a.start > b.start; });
  std::string out(fileText);
  for (const Splice& splice : splices) {
    out.replace(splice.start, splice.end - splice.start, splice.text);
  }
  return out;
}

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
