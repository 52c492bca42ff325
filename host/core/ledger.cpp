#include "core/ledger.h"

#include <cstdio>
#include <sstream>
#include <utility>

namespace lwhost {

namespace {

struct Verbs {
  std::string open;
  std::string close;
};

std::mutex& VerbMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<std::string, Verbs, std::less<>>& VerbTable() {
  static std::map<std::string, Verbs, std::less<>> table = {
      {std::string(kSuiteKind), {"acquired", "released"}},
      {std::string(kHandleKind), {"created", "disposed"}},
      {std::string(kHandleLockKind), {"locked", "unlocked"}},
      {std::string(kBlockKind), {"allocated", "freed"}},
      {std::string(kMisuseKind), {"happened", "-"}},
  };
  return table;
}

Verbs VerbsOf(std::string_view kind) {
  std::lock_guard lock(VerbMutex());
  auto it = VerbTable().find(kind);
  return it != VerbTable().end() ? it->second : Verbs{"opened", "closed"};
}

}  // namespace

Ledger::Ledger(const Ledger& other) {
  std::lock_guard lock(other.mutex_);
  counts_ = other.counts_;
  exempt_ = other.exempt_;
}

Ledger& Ledger::operator=(const Ledger& other) {
  if (this != &other) {
    std::scoped_lock lock(mutex_, other.mutex_);
    counts_ = other.counts_;
    exempt_ = other.exempt_;
  }
  return *this;
}

void Ledger::Open(std::string_view kind, std::string_view key) {
  std::lock_guard lock(mutex_);
  counts_[std::string(kind)][std::string(key)].opened++;
}

void Ledger::Close(std::string_view kind, std::string_view key) {
  std::lock_guard lock(mutex_);
  counts_[std::string(kind)][std::string(key)].closed++;
}

void Ledger::NoteMisuse(std::string_view what) {
  Open(kMisuseKind, what);
}

void Ledger::Exempt(std::string_view kind, std::string_view key) {
  std::lock_guard lock(mutex_);
  exempt_.emplace(std::string(kind), std::string(key));
}

void Ledger::Unexempt(std::string_view kind, std::string_view key) {
  std::lock_guard lock(mutex_);
  exempt_.erase({std::string(kind), std::string(key)});
}

LedgerCount Ledger::Count(std::string_view kind, std::string_view key) const {
  std::lock_guard lock(mutex_);
  auto k = counts_.find(kind);
  if (k == counts_.end()) {
    return {};
  }
  auto c = k->second.find(key);
  return c == k->second.end() ? LedgerCount{} : c->second;
}

int Ledger::Outstanding(std::string_view kind) const {
  std::lock_guard lock(mutex_);
  auto k = counts_.find(kind);
  int sum = 0;
  if (k != counts_.end()) {
    for (const auto& [key, count] : k->second) {
      sum += count.opened - count.closed;
    }
  }
  return sum;
}

std::set<std::string> Ledger::OpenKeys(std::string_view kind) const {
  std::lock_guard lock(mutex_);
  std::set<std::string> keys;
  auto k = counts_.find(kind);
  if (k != counts_.end()) {
    for (const auto& [key, count] : k->second) {
      if (count.opened > count.closed) {
        keys.insert(key);
      }
    }
  }
  return keys;
}

std::string Ledger::Report() const {
  std::lock_guard lock(mutex_);
  std::ostringstream report;
  for (const auto& [kind, keys] : counts_) {
    const Verbs verbs = VerbsOf(kind);
    for (const auto& [key, count] : keys) {
      if (count.opened == count.closed || exempt_.count({kind, key}) != 0) {
        continue;
      }
      report << kind << " " << key << ": " << verbs.open << " " << count.opened;
      if (kind != kMisuseKind) {
        report << ", " << verbs.close << " " << count.closed;
      }
      report << "\n";
    }
  }
  return report.str();
}

void Ledger::Clear() {
  std::lock_guard lock(mutex_);
  counts_.clear();
  exempt_.clear();
}

void Ledger::NameKind(std::string_view kind, std::string_view openVerb,
                      std::string_view closeVerb) {
  std::lock_guard lock(VerbMutex());
  VerbTable()[std::string(kind)] = Verbs{std::string(openVerb), std::string(closeVerb)};
}

std::string SuiteKey(std::string_view name, int version) {
  return std::string(name) + " v" + std::to_string(version);
}

std::string AddressKey(const void* address) {
  char text[2 + 2 * sizeof(void*) + 1];
  std::snprintf(text, sizeof(text), "%p", address);
  return text;
}

}  // namespace lwhost
