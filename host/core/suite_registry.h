// The host's suites, published by (name, version) and handed out through SPBasicSuite.
// AcquireSuite and ReleaseSuite are counted per suite in the balance ledger (kind "suite", key
// "PF ANSI Suite v1"), in the session's ledger and in the running command's.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "sp_basic_suite.h"

namespace lwhost {

class Faults;
class Ledger;

// Answers of the basic suite, as four-character codes.
inline constexpr SPErr kSPSuiteNotFoundError = 0x53214664;  // 'S!Fd'
inline constexpr SPErr kSPBadParameterError = 0x5061726D;   // 'Parm'

class SuiteRegistry {
 public:
  SuiteRegistry(Ledger& sessionLedger, Faults& faults);

  // Publishes `table` under (name, version); a second registration replaces the first. The table
  // is not copied and must outlive the session.
  void Register(std::string_view name, int version, const void* table);
  const void* Find(std::string_view name, int version) const;

  // The SPBasicSuite whose functions serve the command running on the calling thread.
  SPBasicSuite* BasicSuite();

  // The work behind SPBasicSuite. Fault site: the suite by name and version (MissingSuite,
  // NullSuite). A suite that is not published answers kSPSuiteNotFoundError and a null pointer.
  SPErr Acquire(const char* name, int32_t version, const void** suite);
  SPErr Release(const char* name, int32_t version);

 private:
  Ledger& ledger_;
  Faults& faults_;
  mutable std::mutex mutex_;
  std::map<std::pair<std::string, int>, const void*> tables_;
};

}  // namespace lwhost
