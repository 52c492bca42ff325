// "Did you mean ...?": the known name nearest to a misspelt one, for error messages.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace lwhost {

// Edits (insertions, deletions, substitutions, swaps of neighbours) that turn `a` into `b`,
// ignoring ASCII case.
size_t EditDistance(std::string_view a, std::string_view b);

// The candidate nearest to `typed`, when it is near enough to be what was meant: at most a third
// of its length away (2 edits allowed, 1 for names of three letters or fewer). Ties go to the
// earlier candidate.
std::optional<std::string> NearestName(std::string_view typed,
                                       std::span<const std::string> candidates);

// " (did you mean \"NAME\"?)" for the nearest candidate, or "" when none is near.
std::string DidYouMean(std::string_view typed, std::span<const std::string> candidates);

// A name as messages show it: whole up to kShortNameBytes, else its start, "..." and its length.
inline constexpr size_t kShortNameBytes = 80;
std::string ShortName(std::string_view name);

}  // namespace lwhost
