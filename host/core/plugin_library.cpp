#include "core/plugin_library.h"

#include <dlfcn.h>

namespace lwhost {

namespace {

struct Recorder {
  Registration* registration;
  PF_Err answer;
};

// The registration callback gets no pointer of ours that it can trust (the opaque pointer is the
// effect's to pass on, and checking that it does is the point), so it finds its recorder here.
thread_local Recorder* tRecorder = nullptr;

std::string Text(const A_u_char* text) {
  return text != nullptr ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

PF_Err RecordRegistration(PF_PluginDataPtr opaque, const A_u_char* name, const A_u_char* matchName,
                          const A_u_char* category, const A_u_char* entryPointName, A_long kind,
                          A_long apiMajor, A_long apiMinor, A_long reservedInfo,
                          const A_u_char* supportUrl) {
  if (tRecorder == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  tRecorder->registration->calls.push_back(
      RegistrationCall{opaque, Text(name), Text(matchName), Text(category), Text(entryPointName),
                       kind, apiMajor, apiMinor, reservedInfo, Text(supportUrl)});
  return tRecorder->answer;
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
  library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library_ == nullptr) {
    const char* why = dlerror();
    throw HostError("cannot load plug-in " + path + ": " + (why != nullptr ? why : "unknown"));
  }
  entry_ = reinterpret_cast<PF_PluginDataEntryFunc2>(dlsym(library_, "PluginDataEntryFunction2"));
  effectMain_ = reinterpret_cast<PF_EffectMainFunc>(dlsym(library_, "EffectMain"));
  const char* missing = entry_ == nullptr        ? "PluginDataEntryFunction2"
                        : effectMain_ == nullptr ? "EffectMain"
                                                 : nullptr;
  if (missing != nullptr) {
    dlclose(library_);
    library_ = nullptr;
    throw HostError("plug-in " + path + " does not export " + missing);
  }
}

PluginLibrary::~PluginLibrary() {
  if (library_ != nullptr) {
    dlclose(library_);
  }
}

void* PluginLibrary::Symbol(const char* name) const {
  return dlsym(library_, name);
}

Registration PluginLibrary::Register(PF_Err callbackResult, SPBasicSuite* basic) const {
  Registration registration;
  // Any distinct address will do: the effect must hand it back untouched.
  static int opaqueToken = 0;
  registration.opaqueGiven = &opaqueToken;
  Recorder recorder{&registration, callbackResult};
  Recorder* previous = tRecorder;
  tRecorder = &recorder;
  registration.result =
      entry_(registration.opaqueGiven, RecordRegistration, basic, "lathewind", "1.7");
  tRecorder = previous;
  return registration;
}

}  // namespace lwhost
