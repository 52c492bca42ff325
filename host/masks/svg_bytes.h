// The bytes of a drawing: read from a file the gate opened, unpacked when gzip-compressed (.svgz).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/file_gate.h"

namespace lwhost {

// Everything in the file, at most `limit` bytes. Throws SvgFileError when it cannot be read or
// holds more.
std::string ReadOpenedFile(OpenedFile file, size_t limit);

// Whether `bytes` start as a gzip stream does.
bool IsGzip(std::string_view bytes);

// The unpacked bytes of a gzip stream (members one after the other are joined), at most `limit`.
// Throws SvgFileError when the stream is damaged, cut short or unpacks to more.
std::string Gunzip(std::string_view bytes, size_t limit);

}  // namespace lwhost
