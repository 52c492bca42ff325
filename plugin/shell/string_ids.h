// The numbers of the string table's entries (shell/strings.cpp): the one list that the table,
// the parameter table and the commands all name their texts by.
#pragma once

namespace lwd {

enum LWD_StringId : int {
  kStrNone = 0,
  kStrName = 1,
  kStrDescription = 2,
  // The parameter labels, the popup choice lists and the button texts.

  kStrPath = 3,
  kStrSmoothCorners = 4,
  kStrSource = 5,
  kStrStretchAlongPath = 6,
  kStrStretchAlongChoices = 7,  // "Width|Height"
  kStrFit = 8,
  kStrFitChoices = 9,  // "Stretch|Tile|Segment"
  kStrSegmentPosition = 10,
  kStrSegmentLength = 11,
  kStrSegmentGrowsFrom = 12,
  kStrGrowsFromChoices = 13,  // "Start|Center|End"
  kStrThickness = 14,
  kStrTaperStart = 15,
  kStrTaperEnd = 16,
  kStrTaperShape = 17,
  kStrTaperShapeChoices = 18,  // "Linear|Smooth"
  kStrOffset = 19,
  kStrTrimStart = 20,
  kStrTrimEnd = 21,
  kStrWidthCurve = 22,
  kStrWidthGraph = 23,
  kStrStartWidth = 24,
  kStrEndWidth = 25,
  kStrBank = 26,
  kStrSurface = 27,
  kStrSurfaceChoices = 28,  // "Tube|Flat"
  kStrShading = 29,
  kStrLightDirection = 30,
  kStrDepth = 31,
  kStrDepthDirection = 32,
  kStrDepthShade = 33,
  kStrExpandBounds = 34,
  kStrQuality = 35,
  kStrQualityChoices = 36,  // "Normal|High"
  kStrOpacity = 37,
  kStrVersionButtonLabel = 38,  // the three buttons have empty labels
  kStrWebButtonLabel = 39,
  kStrWebButtonText = 40,
  kStrCreditButtonLabel = 41,
  kStrCreditButtonText = 42,
  kStrAutoBank = 43,
  kStrFlatPosition = 44,
  kStrFlatWidth = 45,
  kStrBankFalloff = 46,
  kStrErrLoadSuite = 47,
  kStrErrReleaseSuite = 48,
  // Not a string-table entry: the version button shows its own copy of kVersionText.
  kStrVersionText = -1,
};

constexpr int kNumStrings = kStrErrReleaseSuite + 1;

}  // namespace lwd
