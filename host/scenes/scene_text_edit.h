// Editing a scene file's text in place: one value replaced or added, every other byte of the file
// (its layout, its key order, its comments-free formatting) kept as the author wrote it.
#pragma once

#include <string>
#include <string_view>

#include "params/key_interpolation.h"

namespace lwhost {

// `sceneText` (a JSON object; empty reads as "{}") with the member `key` of the object `section`
// of the root set to `valueJson` (JSON text, written as given). An existing value is replaced in
// place; a new member goes at the end of its object, indented like its last member; a missing
// section is added at the end of the root. Throws std::invalid_argument when the text is not a
// JSON object or `section` is not an object.
std::string SceneTextWithMember(std::string_view sceneText, std::string_view section,
                                std::string_view key, std::string_view valueJson);

// One key as a scene file holds it: [frame, value] for a linear key (the default, written without
// a name so that files keep their form), [frame, value, "hold"] or [frame, value, "ease"].
// `valueJson` is JSON text, written as given; the frame is written in its shortest exact form.
// A value or mask that moves is {"keys": [KEY, ...]} with these keys, frames ascending.
std::string SceneKeyJson(double frame, std::string_view valueJson, KeyInterpolation interpolation);

// A text of the JSON object `newText` made by editing `fileText` where they differ: members and
// list elements that are equal keep their bytes, changed values are replaced in place, members
// that are gone are removed and new ones go at the end of their object, in `newText`'s order.
// Throws std::invalid_argument when `newText` is not a JSON object.
std::string SceneTextKeeping(std::string_view fileText, std::string_view newText);

// `text` as a JSON string literal, quotes included.
std::string JsonStringLiteral(std::string_view text);

}  // namespace lwhost
