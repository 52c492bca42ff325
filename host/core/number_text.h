// Numbers as the shortest text that reads back as the same value, for messages and listings.
#pragma once

#include <charconv>
#include <string>

namespace lwhost {

// As a float: declared ranges are floats, so 0.1 reads "0.1", not "0.100000001".
inline std::string FloatText(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value));
  return std::string(buffer, result.ptr);
}

inline std::string DoubleText(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace lwhost
