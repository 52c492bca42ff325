#include "core/nearest_name.h"

#include <algorithm>
#include <vector>

namespace lwhost {
namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

size_t EditDistance(std::string_view a, std::string_view b) {
  // Optimal string alignment distance over three rows of the usual table.
  std::vector<size_t> before(b.size() + 1);
  std::vector<size_t> previous(b.size() + 1);
  std::vector<size_t> current(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) {
    previous[j] = j;
  }
  for (size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const bool same = Lower(a[i - 1]) == Lower(b[j - 1]);
      current[j] =
          std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (same ? 0 : 1)});
      if (i > 1 && j > 1 && Lower(a[i - 1]) == Lower(b[j - 2]) &&
          Lower(a[i - 2]) == Lower(b[j - 1])) {
        current[j] = std::min(current[j], before[j - 2] + 1);
      }
    }
    std::swap(before, previous);
    std::swap(previous, current);
  }
  return previous[b.size()];
}

std::optional<std::string> NearestName(std::string_view typed,
                                       std::span<const std::string> candidates) {
  const std::string* best = nullptr;
  size_t bestDistance = 0;
  for (const std::string& candidate : candidates) {
    const size_t allowed = candidate.size() <= 3 ? 1 : std::max<size_t>(2, candidate.size() / 3);
    // The lengths alone put a name further away than that: no table for it (a megabyte of a
    // misspelt key costs no more than a short one).
    const size_t apart = typed.size() > candidate.size() ? typed.size() - candidate.size()
                                                         : candidate.size() - typed.size();
    if (apart > allowed) {
      continue;
    }
    const size_t distance = EditDistance(typed, candidate);
    if (distance <= allowed && (best == nullptr || distance < bestDistance)) {
      best = &candidate;
      bestDistance = distance;
    }
  }
  if (best == nullptr) {
    return std::nullopt;
  }
  return *best;
}

std::string DidYouMean(std::string_view typed, std::span<const std::string> candidates) {
  const std::optional<std::string> nearest = NearestName(typed, candidates);
  return nearest ? " (did you mean \"" + *nearest + "\"?)" : std::string();
}

std::string ShortName(std::string_view name) {
  if (name.size() <= kShortNameBytes) {
    return std::string(name);
  }
  size_t cut = kShortNameBytes;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
    --cut;  // not inside a UTF-8 sequence
  }
  return std::string(name.substr(0, cut)) + "... (" + std::to_string(name.size()) + " bytes)";
}

}  // namespace lwhost
