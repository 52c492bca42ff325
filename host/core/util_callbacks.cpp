// The utility callbacks: host handles and the ANSI table, plus the "PF ANSI Suite" built from the
// same functions.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "ae_effect_suites.h"
#include "core/callbacks.h"
#include "core/command_context.h"
#include "core/iteration_pool.h"
#include "core/session.h"

namespace lwhost {

namespace {

HandleTable* CurrentHandles() {
  CommandContext* context = CurrentContext();
  return context != nullptr ? &context->GetSession().handles : nullptr;
}

PF_Handle NewHandle(A_u_longlong size) {
  HandleTable* handles = CurrentHandles();
  return handles != nullptr ? handles->New(size, CurrentContext()) : nullptr;
}

void* LockHandle(PF_Handle handle) {
  HandleTable* handles = CurrentHandles();
  return handles != nullptr ? handles->Lock(handle, CurrentContext()) : nullptr;
}

void UnlockHandle(PF_Handle handle) {
  if (HandleTable* handles = CurrentHandles()) {
    handles->Unlock(handle, CurrentContext());
  }
}

void DisposeHandle(PF_Handle handle) {
  if (HandleTable* handles = CurrentHandles()) {
    handles->Dispose(handle, CurrentContext());
  }
}

A_u_longlong HandleSize(PF_Handle handle) {
  HandleTable* handles = CurrentHandles();
  return handles != nullptr ? handles->Size(handle) : 0;
}

PF_Err ResizeHandle(A_u_longlong size, PF_Handle* handle) {
  HandleTable* handles = CurrentHandles();
  return handles != nullptr ? handles->Resize(size, handle, CurrentContext())
                            : PF_Err_BAD_CALLBACK_PARAM;
}

// The maths functions by value, so that the table holds plain function pointers whatever
// overloads <cmath> declares.
double Atan(double x) {
  return std::atan(x);
}
double Atan2(double y, double x) {
  return std::atan2(y, x);
}
double Ceil(double x) {
  return std::ceil(x);
}
double Cos(double x) {
  return std::cos(x);
}
double Exp(double x) {
  return std::exp(x);
}
double Fabs(double x) {
  return std::fabs(x);
}
double Floor(double x) {
  return std::floor(x);
}
double Fmod(double x, double y) {
  return std::fmod(x, y);
}
double Hypot(double x, double y) {
  return std::hypot(x, y);
}
double Log(double x) {
  return std::log(x);
}
double Log10(double x) {
  return std::log10(x);
}
double Pow(double x, double y) {
  return std::pow(x, y);
}
double Sin(double x) {
  return std::sin(x);
}
double Sqrt(double x) {
  return std::sqrt(x);
}
double Tan(double x) {
  return std::tan(x);
}
double Asin(double x) {
  return std::asin(x);
}
double Acos(double x) {
  return std::acos(x);
}
A_char* Strcpy(A_char* dst, const A_char* src) {
  return std::strcpy(dst, src);
}

const PF_ANSICallbacksSuite1 kAnsiSuite = {
    Atan,  Atan2, Ceil, Cos,  Exp, Fabs,        Floor,  Fmod, Hypot, Log,
    Log10, Pow,   Sin,  Sqrt, Tan, HostSprintf, Strcpy, Asin, Acos,
};

}  // namespace

// Like the host it stands in for, the formatter has no bound: the caller's buffer must be large
// enough.
int HostSprintf(A_char* buffer, const A_char* format, ...) {
  if (buffer == nullptr || format == nullptr) {
    return -1;
  }
  std::va_list args;
  va_start(args, format);
  const int written = std::vsprintf(buffer, format, args);
  va_end(args);
  return written;
}

PF_UtilCallbacks MakeUtilCallbacks() {
  PF_UtilCallbacks utils{};
  utils.host_new_handle = NewHandle;
  utils.host_lock_handle = LockHandle;
  utils.host_unlock_handle = UnlockHandle;
  utils.host_dispose_handle = DisposeHandle;
  utils.host_get_handle_size = HandleSize;
  utils.host_resize_handle = ResizeHandle;
  utils.iterate_generic = IterateGeneric;
  PF_ANSICallbacks& ansi = utils.ansi;
  ansi.atan = kAnsiSuite.atan;
  ansi.atan2 = kAnsiSuite.atan2;
  ansi.ceil = kAnsiSuite.ceil;
  ansi.cos = kAnsiSuite.cos;
  ansi.exp = kAnsiSuite.exp;
  ansi.fabs = kAnsiSuite.fabs;
  ansi.floor = kAnsiSuite.floor;
  ansi.fmod = kAnsiSuite.fmod;
  ansi.hypot = kAnsiSuite.hypot;
  ansi.log = kAnsiSuite.log;
  ansi.log10 = kAnsiSuite.log10;
  ansi.pow = kAnsiSuite.pow;
  ansi.sin = kAnsiSuite.sin;
  ansi.sqrt = kAnsiSuite.sqrt;
  ansi.tan = kAnsiSuite.tan;
  ansi.sprintf = HostSprintf;
  ansi.strcpy = kAnsiSuite.strcpy;
  ansi.asin = kAnsiSuite.asin;
  ansi.acos = kAnsiSuite.acos;
  return utils;
}

void RegisterAnsiSuite(SuiteRegistry& registry) {
  registry.Register(kPFANSISuite, kPFANSISuiteVersion1, &kAnsiSuite);
}

}  // namespace lwhost
