#include "suites/aefx_helpers.h"

#include <cstring>

namespace lwd {

const char kMsgAcquireFailed[] = "Not able to acquire AEFX Suite.";
const char kMsgReleaseFailed[] = "Not able to release AEFX Suite.";
const char kMsgNullDrawbotRecord[] = "NULL suite pointer passed to AEFX_AcquireDrawbotSuites";

namespace {

// Shows a message to the user through the host's formatter. The text is passed as an argument,
// never as the format, so a '%' in a caller's text cannot make the formatter read missing
// arguments; it is cut to what return_msg holds, since the host's sprintf has no bound.
void ReportError(PF_InData* in_data, PF_OutData* out_data, const char* text) {
  if (out_data == nullptr) {
    return;
  }
  out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
  if (in_data == nullptr || in_data->utils == nullptr || in_data->utils->ansi.sprintf == nullptr) {
    return;
  }
  char bounded[sizeof(out_data->return_msg)];
  std::strncpy(bounded, text, sizeof(bounded) - 1);
  bounded[sizeof(bounded) - 1] = '\0';
  in_data->utils->ansi.sprintf(out_data->return_msg, "%s", bounded);
}

SPBasicSuite* BasicSuite(PF_InData* in_data) {
  return in_data != nullptr ? in_data->pica_basicP : nullptr;
}

struct DrawbotEntry {
  const char* name;
  int32_t version;
};

constexpr DrawbotEntry kDrawbotSuites[] = {
    {kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1},
    {kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1},
    {kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version2},
    {kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1},
};

const void** DrawbotField(DrawbotSuites* suites, int i) {
  switch (i) {
    case 0:
      return reinterpret_cast<const void**>(&suites->drawbot_suiteP);
    case 1:
      return reinterpret_cast<const void**>(&suites->supplier_suiteP);
    case 2:
      return reinterpret_cast<const void**>(&suites->surface_suiteP);
    default:
      return reinterpret_cast<const void**>(&suites->path_suiteP);
  }
}

}  // namespace

extern "C" PF_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name,
                                    int32_t version, const char* error_stringPC0, void** suitePP) {
  SPBasicSuite* basic = BasicSuite(in_data);
  if (basic != nullptr && suitePP != nullptr) {
    *suitePP = nullptr;
    basic->AcquireSuite(name, version, const_cast<const void**>(suitePP));
    if (*suitePP != nullptr) {
      return PF_Err_NONE;
    }
  }
  ReportError(in_data, out_data, error_stringPC0 != nullptr ? error_stringPC0 : kMsgAcquireFailed);
  return PF_Err_BAD_CALLBACK_PARAM;
}

extern "C" PF_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name,
                                    int32_t version, const char* error_stringPC0) {
  SPBasicSuite* basic = BasicSuite(in_data);
  if (basic != nullptr) {
    basic->ReleaseSuite(name, version);
    return PF_Err_NONE;
  }
  ReportError(in_data, out_data, error_stringPC0 != nullptr ? error_stringPC0 : kMsgReleaseFailed);
  return PF_Err_BAD_CALLBACK_PARAM;
}

extern "C" PF_Err AEFX_AcquireDrawbotSuites(PF_InData* in_data, PF_OutData* out_data,
                                            DrawbotSuites* suitesP) {
  if (suitesP == nullptr) {
    ReportError(in_data, out_data, kMsgNullDrawbotRecord);
    return PF_Err_UNRECOGNIZED_PARAM_TYPE;
  }
  *suitesP = DrawbotSuites{};
  for (int i = 0; i < 4; ++i) {
    SPBasicSuite* basic = BasicSuite(in_data);  // checked again before every request
    const void** field = DrawbotField(suitesP, i);
    if (basic != nullptr) {
      basic->AcquireSuite(kDrawbotSuites[i].name, kDrawbotSuites[i].version, field);
    }
    if (basic == nullptr || *field == nullptr) {
      *field = nullptr;
      ReportError(in_data, out_data, kMsgAcquireFailed);
      return PF_Err_BAD_CALLBACK_PARAM;
    }
  }
  return PF_Err_NONE;
}

extern "C" PF_Err AEFX_ReleaseDrawbotSuites(PF_InData* in_data, PF_OutData* out_data) {
  for (const DrawbotEntry& entry : kDrawbotSuites) {
    SPBasicSuite* basic = BasicSuite(in_data);
    if (basic != nullptr) {
      basic->ReleaseSuite(entry.name, entry.version);
    } else {
      ReportError(in_data, out_data, kMsgReleaseFailed);
    }
  }
  return PF_Err_NONE;
}

void ReleaseObtainedDrawbotSuites(PF_InData* in_data, PF_OutData* out_data,
                                  const DrawbotSuites& suites) {
  const void* const obtained[] = {suites.drawbot_suiteP, suites.supplier_suiteP,
                                  suites.surface_suiteP, suites.path_suiteP};
  for (int i = 0; i < 4; ++i) {
    if (obtained[i] != nullptr) {
      AEFX_ReleaseSuite(in_data, out_data, kDrawbotSuites[i].name, kDrawbotSuites[i].version,
                        nullptr);
    }
  }
}

}  // namespace lwd
