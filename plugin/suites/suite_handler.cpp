#include "suites/suite_handler.h"

namespace {

// Slots of the suites this effect uses. The rest of the catalogue is never filled.
enum Slot : int {
  kSlotPathQuery1 = 0,
  kSlotPathData1,
  kSlotApp6,
  kSlotANSI1,
  kSlotFillMatte2,
};

struct CatalogueEntry {
  int slot;
  const char* name;
  int32_t version;
};

// The order in which ReleaseAllSuites gives suites back.
constexpr CatalogueEntry kReleaseOrder[] = {
    {kSlotPathQuery1, kPFPathQuerySuite, kPFPathQuerySuiteVersion1},
    {kSlotPathData1, kPFPathDataSuite, kPFPathDataSuiteVersion1},
    {kSlotApp6, kPFAppSuite, kPFAppSuiteVersion6},
    {kSlotANSI1, kPFANSISuite, kPFANSISuiteVersion1},
    {kSlotFillMatte2, kPFFillMatteSuite, kPFFillMatteSuiteVersion2},
};

}  // namespace

AEGP_SuiteHandler::AEGP_SuiteHandler(const SPBasicSuite* basic) : basic_(basic), slots_{} {
  if (basic_ == nullptr) {
    MissingSuiteError();
  }
}

AEGP_SuiteHandler::~AEGP_SuiteHandler() {
  ReleaseAllSuites();
}

const void* AEGP_SuiteHandler::Acquire(int slot, const char* name, int32_t version) {
  if (slots_[slot] != nullptr) {
    return slots_[slot];
  }
  const void* suite = nullptr;
  const SPErr err = basic_->AcquireSuite(name, version, &suite);
  if (err != 0 || suite == nullptr) {
    MissingSuiteError();
  }
  slots_[slot] = suite;
  return suite;
}

const PF_ANSICallbacksSuite1* AEGP_SuiteHandler::ANSICallbacksSuite1() {
  return static_cast<const PF_ANSICallbacksSuite1*>(
      Acquire(kSlotANSI1, kPFANSISuite, kPFANSISuiteVersion1));
}

const PF_FillMatteSuite2* AEGP_SuiteHandler::FillMatteSuite2() {
  return static_cast<const PF_FillMatteSuite2*>(
      Acquire(kSlotFillMatte2, kPFFillMatteSuite, kPFFillMatteSuiteVersion2));
}

const PF_PathQuerySuite1* AEGP_SuiteHandler::PathQuerySuite1() {
  return static_cast<const PF_PathQuerySuite1*>(
      Acquire(kSlotPathQuery1, kPFPathQuerySuite, kPFPathQuerySuiteVersion1));
}

const PF_PathDataSuite1* AEGP_SuiteHandler::PathDataSuite1() {
  return static_cast<const PF_PathDataSuite1*>(
      Acquire(kSlotPathData1, kPFPathDataSuite, kPFPathDataSuiteVersion1));
}

const PF_AppSuite6* AEGP_SuiteHandler::AppSuite6() {
  return static_cast<const PF_AppSuite6*>(Acquire(kSlotApp6, kPFAppSuite, kPFAppSuiteVersion6));
}

void AEGP_SuiteHandler::ReleaseSuite(const char* name, int32_t version) {
  basic_->ReleaseSuite(name, version);
}

void AEGP_SuiteHandler::ReleaseAllSuites() {
  for (const CatalogueEntry& entry : kReleaseOrder) {
    if (slots_[entry.slot] != nullptr) {
      ReleaseSuite(entry.name, entry.version);
    }
  }
}

void AEGP_SuiteHandler::MissingSuiteError() const {
  throw static_cast<PF_Err>(PF_Err_BAD_CALLBACK_PARAM);
}
