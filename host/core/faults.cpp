#include "core/faults.h"

#include "core/ledger.h"

namespace lwhost {

namespace {

std::string SuiteCall(std::string_view name, int version) {
  return "AcquireSuite " + SuiteKey(name, version);
}

}  // namespace

void Faults::Arm(std::string_view call, int kth, PF_Err err, SuiteFault suite) {
  std::lock_guard lock(mutex_);
  auto it = calls_.find(call);
  const int armedAt = it == calls_.end() ? 0 : it->second;
  rules_.push_back(Rule{std::string(call), kth, armedAt, err, suite});
}

void Faults::FailCall(std::string_view call, int kth, PF_Err err) {
  Arm(call, kth, err, SuiteFault::kNone);
}

void Faults::MissingSuite(std::string_view name, int version, int kth) {
  Arm(SuiteCall(name, version), kth, 0, SuiteFault::kMissing);
}

void Faults::NullSuite(std::string_view name, int version, int kth) {
  Arm(SuiteCall(name, version), kth, 0, SuiteFault::kNull);
}

void Faults::Clear() {
  std::lock_guard lock(mutex_);
  rules_.clear();
}

const Faults::Rule* Faults::Match(std::string_view call, int count) const {
  for (const Rule& rule : rules_) {
    if (rule.call == call && (rule.kth == kEveryCall || count - rule.armedAt == rule.kth)) {
      return &rule;
    }
  }
  return nullptr;
}

PF_Err Faults::Check(std::string_view call) {
  std::lock_guard lock(mutex_);
  auto it = calls_.find(call);
  if (it == calls_.end()) {
    it = calls_.emplace(std::string(call), 0).first;
  }
  const Rule* rule = Match(call, ++it->second);
  return rule != nullptr ? rule->err : PF_Err_NONE;
}

SuiteFault Faults::CheckSuite(std::string_view name, int version) {
  const std::string call = SuiteCall(name, version);
  std::lock_guard lock(mutex_);
  const int count = ++calls_[call];
  const Rule* rule = Match(call, count);
  return rule != nullptr ? rule->suite : SuiteFault::kNone;
}

int Faults::Calls(std::string_view call) const {
  std::lock_guard lock(mutex_);
  auto it = calls_.find(call);
  return it == calls_.end() ? 0 : it->second;
}

}  // namespace lwhost
