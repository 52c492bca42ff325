#include "media/sequence.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "core/file_gate.h"
#include "media/still.h"
#include "scenes/frame_pattern.h"

namespace lwhost {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxNumberDigits = 18;  // fits an int64_t

// The number `name` stands for under `pattern`, if it is one of its names.
std::optional<int64_t> NumberOf(const FramePattern& pattern, const std::string& name) {
  if (name.size() <= pattern.prefix.size() + pattern.suffix.size() ||
      name.compare(0, pattern.prefix.size(), pattern.prefix) != 0 ||
      name.compare(name.size() - pattern.suffix.size(), pattern.suffix.size(), pattern.suffix) !=
          0) {
    return std::nullopt;
  }
  const std::string middle = name.substr(
      pattern.prefix.size(), name.size() - pattern.prefix.size() - pattern.suffix.size());
  const size_t sign = middle[0] == '-' ? 1 : 0;
  if (middle.size() == sign || middle.size() - sign > kMaxNumberDigits ||
      !std::all_of(middle.begin() + static_cast<ptrdiff_t>(sign), middle.end(),
                   [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const int64_t number = std::stoll(middle);
  // "f.7.png" is not a name of "f.%04d.png"; only the name FormatFrame gives counts.
  if (FormatFrame(pattern, number) != name) {
    return std::nullopt;
  }
  return number;
}

class Sequence final : public Footage {
 public:
  Sequence(const SequenceRequest& request, const FileGate& gate, FramePattern pattern,
           int64_t first, int64_t count)
      : request_(request),
        gate_(gate),
        pattern_(std::move(pattern)),
        first_(first),
        count_(count) {}

  int64_t FrameCount() const override { return count_; }

  int64_t IndexAt(const SceneTime& time) const override {
    return SequenceIndexAt(time, request_.placement, count_);
  }

  Image Decode(int64_t index) override {
    const std::string name = FormatFrame(pattern_, first_ + index);
    const fs::path path = request_.pattern.parent_path() / name;
    const fs::path written = fs::path(request_.asWritten).parent_path() / name;
    try {
      return DecodeStill(OpenThroughGate(path, gate_), request_.bitDepth, written.string());
    } catch (const FileGateError& e) {
      throw FootageError(e.what());
    }
  }

 private:
  SequenceRequest request_;
  FileGate gate_;
  FramePattern pattern_;
  int64_t first_;
  int64_t count_;
};

}  // namespace

std::unique_ptr<Footage> OpenSequence(const SequenceRequest& request, const FileGate& gate) {
  const std::string quoted = QuotedName(request.asWritten);
  FramePattern pattern;
  try {
    pattern = ParseFramePattern(request.pattern.filename().string());
  } catch (const std::invalid_argument& e) {
    throw FootageError(quoted + ": " + e.what());
  }
  if (!pattern.hasField) {
    throw FootageError(quoted + " has no frame field such as %04d in its file name");
  }
  fs::path folder = request.pattern.parent_path();
  std::set<int64_t> numbers;
  std::error_code error;
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, error), end;
       !error && it != end; it.increment(error)) {
    if (const auto number = NumberOf(pattern, it->path().filename().string())) {
      numbers.insert(*number);
    }
  }
  if (error) {
    throw FootageError(quoted + ": cannot list the folder " + QuotedName(folder.string()) + ": " +
                       error.message());
  }
  const fs::path writtenFolder = fs::path(request.asWritten).parent_path();
  const auto nameOf = [&](int64_t number) {
    return QuotedName((writtenFolder / FormatFrame(pattern, number)).string());
  };
  if (numbers.empty() || (request.first && *request.first > *numbers.rbegin())) {
    throw FootageError(quoted + ": no file of the sequence" +
                       (request.first ? " from " + nameOf(*request.first) + " on" : "") +
                       " is there");
  }
  const int64_t first = request.first.value_or(*numbers.begin());
  const int64_t last = *numbers.rbegin();
  int64_t expected = first;
  for (auto it = numbers.lower_bound(first); it != numbers.end(); ++it, ++expected) {
    if (*it != expected) {
      throw FootageError(quoted + ": the sequence " + nameOf(first) + " to " + nameOf(last) +
                         " is missing " + nameOf(expected));
    }
  }
  if (numbers.count(first) == 0) {
    throw FootageError(quoted + ": the sequence is missing its first file " + nameOf(first));
  }
  return std::make_unique<Sequence>(request, gate, std::move(pattern), first, last - first + 1);
}

}  // namespace lwhost
