#include "core/suite_registry.h"

#include <cstdlib>
#include <cstring>

#include "core/command_context.h"
#include "core/faults.h"
#include "core/ledger.h"

namespace lwhost {

namespace {

SuiteRegistry* CurrentRegistry() {
  CommandContext* context = CurrentContext();
  return context != nullptr ? &context->Suites() : nullptr;
}

SPErr BasicAcquireSuite(const char* name, int32_t version, const void** suite) {
  SuiteRegistry* registry = CurrentRegistry();
  if (registry == nullptr) {
    if (suite != nullptr) {
      *suite = nullptr;
    }
    return kSPBadParameterError;
  }
  return registry->Acquire(name, version, suite);
}

SPErr BasicReleaseSuite(const char* name, int32_t version) {
  SuiteRegistry* registry = CurrentRegistry();
  return registry != nullptr ? registry->Release(name, version) : kSPBadParameterError;
}

A_Boolean BasicIsEqual(const char* a, const char* b) {
  return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

// Blocks of the basic suite are counted like handles, so that a leak shows.
SPErr BasicAllocateBlock(size_t size, void** block) {
  if (block == nullptr) {
    return kSPBadParameterError;
  }
  *block = std::malloc(size == 0 ? 1 : size);
  if (*block == nullptr) {
    return PF_Err_OUT_OF_MEMORY;
  }
  if (CommandContext* context = CurrentContext()) {
    context->Open(kBlockKind, AddressKey(*block));
  }
  return 0;
}

SPErr BasicFreeBlock(void* block) {
  if (CommandContext* context = CurrentContext(); context != nullptr && block != nullptr) {
    context->Close(kBlockKind, AddressKey(block));
  }
  std::free(block);
  return 0;
}

SPErr BasicReallocateBlock(void* block, size_t newSize, void** newBlock) {
  if (newBlock == nullptr) {
    return kSPBadParameterError;
  }
  // The old address is only a ledger key once realloc has run, so take the key first.
  const std::string oldKey = block != nullptr ? AddressKey(block) : std::string();
  void* moved = std::realloc(block, newSize == 0 ? 1 : newSize);
  if (moved == nullptr) {
    return PF_Err_OUT_OF_MEMORY;
  }
  const std::string newKey = AddressKey(moved);
  if (CommandContext* context = CurrentContext(); context != nullptr && newKey != oldKey) {
    if (!oldKey.empty()) {
      context->Close(kBlockKind, oldKey);
    }
    context->Open(kBlockKind, newKey);
  }
  *newBlock = moved;
  return 0;
}

SPErr BasicUndefined() {
  return kSPBadParameterError;
}

SPBasicSuite gBasicSuite = {BasicAcquireSuite,  BasicReleaseSuite, BasicIsEqual,
                            BasicAllocateBlock, BasicFreeBlock,    BasicReallocateBlock,
                            BasicUndefined};

}  // namespace

SuiteRegistry::SuiteRegistry(Ledger& sessionLedger, Faults& faults)
    : ledger_(sessionLedger), faults_(faults) {}

void SuiteRegistry::Register(std::string_view name, int version, const void* table) {
  std::lock_guard lock(mutex_);
  tables_[{std::string(name), version}] = table;
}

const void* SuiteRegistry::Find(std::string_view name, int version) const {
  std::lock_guard lock(mutex_);
  auto it = tables_.find({std::string(name), version});
  return it == tables_.end() ? nullptr : it->second;
}

SPBasicSuite* SuiteRegistry::BasicSuite() {
  return &gBasicSuite;
}

SPErr SuiteRegistry::Acquire(const char* name, int32_t version, const void** suite) {
  if (suite == nullptr || name == nullptr) {
    return kSPBadParameterError;
  }
  *suite = nullptr;
  const void* table = Find(name, version);
  switch (faults_.CheckSuite(name, version)) {
    case SuiteFault::kMissing:
      return kSPSuiteNotFoundError;
    case SuiteFault::kNull:
      return 0;  // "present", yet nothing to use; nothing is counted as obtained
    case SuiteFault::kNone:
      break;
  }
  if (table == nullptr) {
    return kSPSuiteNotFoundError;
  }
  *suite = table;
  const std::string key = SuiteKey(name, version);
  if (CommandContext* context = CurrentContext()) {
    context->Open(kSuiteKind, key);
  } else {
    ledger_.Open(kSuiteKind, key);
  }
  return 0;
}

SPErr SuiteRegistry::Release(const char* name, int32_t version) {
  if (name == nullptr) {
    return kSPBadParameterError;
  }
  // Counted even for an unknown suite: a release that matches no acquisition is an imbalance.
  const std::string key = SuiteKey(name, version);
  if (CommandContext* context = CurrentContext()) {
    context->Close(kSuiteKind, key);
  } else {
    ledger_.Close(kSuiteKind, key);
  }
  return Find(name, version) != nullptr ? 0 : kSPSuiteNotFoundError;
}

}  // namespace lwhost
