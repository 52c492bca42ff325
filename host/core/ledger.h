// The balance ledger: what the effect took from the host and gave back. Every kind of resource
// (suites, handles, handle locks, and whatever later services lend: path checkouts, segment
// preparations, parameter checkouts, drawing objects) is counted by kind and key; a key is
// balanced when it was closed exactly as often as it was opened.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

namespace lwhost {

// Kinds the core records. Later services pick their own kind names and may give them verbs with
// Ledger::NameKind.
inline constexpr std::string_view kSuiteKind = "suite";
inline constexpr std::string_view kHandleKind = "handle";
inline constexpr std::string_view kHandleLockKind = "handle lock";
inline constexpr std::string_view kBlockKind = "basic suite block";
// Calls that are wrong in themselves (unlocking an unlocked handle, disposing an unknown one):
// noted once and never closed, so they always show in the report.
inline constexpr std::string_view kMisuseKind = "misuse";

struct LedgerCount {
  int opened = 0;
  int closed = 0;
};

class Ledger {
 public:
  Ledger() = default;
  Ledger(const Ledger& other);
  Ledger& operator=(const Ledger& other);

  void Open(std::string_view kind, std::string_view key);
  // A close without a matching open is counted too and shows as an imbalance.
  void Close(std::string_view kind, std::string_view key);
  // Records a wrong call under kMisuseKind; the report lists it.
  void NoteMisuse(std::string_view what);
  // A key that is legitimately left open (a handle the host's parameter storage owns).
  void Exempt(std::string_view kind, std::string_view key);
  void Unexempt(std::string_view kind, std::string_view key);

  LedgerCount Count(std::string_view kind, std::string_view key) const;
  // Opened minus closed, over every key of a kind (exempt keys included).
  int Outstanding(std::string_view kind) const;
  // Keys of a kind that are open now (opened > closed), exempt ones included.
  std::set<std::string> OpenKeys(std::string_view kind) const;

  // "" when every non-exempt key is balanced; otherwise one line per key that is off, for
  // example "suite PF ANSI Suite v1: acquired 2, released 1".
  std::string Report() const;
  bool Balanced() const { return Report().empty(); }
  void Clear();

  // Words used in reports for a kind's open and close ("acquired"/"released").
  static void NameKind(std::string_view kind, std::string_view openVerb,
                       std::string_view closeVerb);

 private:
  using KeyMap = std::map<std::string, LedgerCount, std::less<>>;
  mutable std::mutex mutex_;
  std::map<std::string, KeyMap, std::less<>> counts_;
  std::set<std::pair<std::string, std::string>> exempt_;
};

// Key of a suite in the ledger and in fault rules: "PF ANSI Suite v1".
std::string SuiteKey(std::string_view name, int version);
// Key of a pointer-like resource: its address in hex.
std::string AddressKey(const void* address);

}  // namespace lwhost
