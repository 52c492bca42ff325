#include "layers/temporary_name.h"

#include <unistd.h>

#include <atomic>
#include <string>

namespace lwhost {
namespace {

// ".NAME.tmp": what every temporary name of NAME starts with.
std::string TemporaryPrefix(const std::filesystem::path& path) {
  // Appended piece by piece: GCC 12 at -O2 warns falsely (-Wrestrict) on a chain of `+` that
  // starts with a literal.
  std::string prefix = ".";
  prefix += path.filename().string();
  prefix += ".tmp";
  return prefix;
}

}  // namespace

std::filesystem::path TemporaryName(const std::filesystem::path& path) {
  static std::atomic<unsigned long> counter{0};
  std::string name = TemporaryPrefix(path);
  name += std::to_string(::getpid());
  name += "-";
  name += std::to_string(counter.fetch_add(1));
  std::filesystem::path temp = path;
  temp.replace_filename(name);
  return temp;
}

bool IsTemporaryNameOf(const std::filesystem::path& candidate, const std::filesystem::path& path) {
  if (candidate.parent_path() != path.parent_path()) {
    return false;
  }
  const std::string name = candidate.filename().string();
  const std::string prefix = TemporaryPrefix(path);
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  // "<pid>-<n>": digits, one dash, digits.
  const std::string rest = name.substr(prefix.size());
  const size_t dash = rest.find('-');
  const auto digits = [](const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  };
  return dash != std::string::npos && digits(rest.substr(0, dash)) && digits(rest.substr(dash + 1));
}

}  // namespace lwhost
