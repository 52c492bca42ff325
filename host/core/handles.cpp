#include "core/handles.h"

#include <cstdlib>
#include <cstring>

#include "core/command_context.h"
#include "core/faults.h"
#include "core/ledger.h"

namespace lwhost {

// The master pointer comes first, so that the handle (a pointer to it) is the block's address.
struct HandleTable::Block {
  void* data = nullptr;
  A_u_longlong size = 0;
  int locks = 0;
  // Locks this host refused (a fault on demand). The effect is told to unlock every handle it
  // tried to lock, so one unlock per refused lock is answered quietly rather than as misuse.
  int refusedLocks = 0;
};

namespace {

// malloc(0) may answer null, which the effect would take for a failure.
void* AllocateBytes(A_u_longlong size) {
  return std::calloc(size == 0 ? 1 : size, 1);
}

void Record(Ledger& session, CommandContext* context, bool open, std::string_view kind,
            const std::string& key) {
  Ledger* ledgers[] = {&session, context != nullptr ? &context->ledger : nullptr};
  for (Ledger* ledger : ledgers) {
    if (ledger != nullptr) {
      open ? ledger->Open(kind, key) : ledger->Close(kind, key);
    }
  }
}

void NoteMisuse(Ledger& session, CommandContext* context, const std::string& what) {
  session.NoteMisuse(what);
  if (context != nullptr) {
    context->ledger.NoteMisuse(what);
  }
}

}  // namespace

HandleTable::HandleTable(Ledger& sessionLedger, Faults& faults)
    : ledger_(sessionLedger), faults_(faults) {}

HandleTable::~HandleTable() {
  for (auto& [handle, block] : blocks_) {
    std::free(block->data);
  }
}

HandleTable::Block* HandleTable::Find(PF_Handle handle) const {
  auto it = blocks_.find(handle);
  return it == blocks_.end() ? nullptr : it->second.get();
}

PF_Handle HandleTable::New(A_u_longlong size, CommandContext* context) {
  if (faults_.Check("host_new_handle") != PF_Err_NONE) {
    return nullptr;
  }
  auto block = std::make_unique<Block>();
  block->data = AllocateBytes(size);
  if (block->data == nullptr) {
    return nullptr;
  }
  block->size = size;
  auto handle = reinterpret_cast<PF_Handle>(&block->data);
  {
    std::lock_guard lock(mutex_);
    blocks_.emplace(handle, std::move(block));
  }
  Record(ledger_, context, true, kHandleKind, AddressKey(handle));
  return handle;
}

void* HandleTable::Lock(PF_Handle handle, CommandContext* context) {
  if (faults_.Check("host_lock_handle") != PF_Err_NONE) {
    std::lock_guard lock(mutex_);
    if (Block* block = Find(handle); block != nullptr) {
      block->refusedLocks++;
    }
    return nullptr;
  }
  void* data = nullptr;
  {
    std::lock_guard lock(mutex_);
    Block* block = Find(handle);
    if (block != nullptr) {
      block->locks++;
      data = block->data;
    }
  }
  if (data == nullptr) {
    NoteMisuse(ledger_, context, "lock of unknown handle " + AddressKey(handle));
    return nullptr;
  }
  Record(ledger_, context, true, kHandleLockKind, AddressKey(handle));
  return data;
}

void HandleTable::Unlock(PF_Handle handle, CommandContext* context) {
  bool known = false;
  bool wasLocked = false;
  {
    std::lock_guard lock(mutex_);
    Block* block = Find(handle);
    known = block != nullptr;
    if (known && block->locks > 0) {
      block->locks--;
      wasLocked = true;
    } else if (known && block->refusedLocks > 0) {
      block->refusedLocks--;
      return;
    }
  }
  if (!known) {
    NoteMisuse(ledger_, context, "unlock of unknown handle " + AddressKey(handle));
  } else if (!wasLocked) {
    NoteMisuse(ledger_, context, "unlock of unlocked handle " + AddressKey(handle));
  } else {
    Record(ledger_, context, false, kHandleLockKind, AddressKey(handle));
  }
}

void HandleTable::Dispose(PF_Handle handle, CommandContext* context) {
  if (handle == nullptr) {
    return;  // disposing of nothing is harmless, as with free(nullptr)
  }
  std::unique_ptr<Block> block;
  {
    std::lock_guard lock(mutex_);
    auto it = blocks_.find(handle);
    if (it != blocks_.end()) {
      block = std::move(it->second);
      blocks_.erase(it);
    }
  }
  const std::string key = AddressKey(handle);
  if (block == nullptr) {
    NoteMisuse(ledger_, context, "dispose of unknown handle " + key);
    return;
  }
  if (block->locks > 0) {
    NoteMisuse(ledger_, context, "dispose of locked handle " + key);
  }
  std::free(block->data);
  ledger_.Close(kHandleKind, key);
  ledger_.Unexempt(kHandleKind, key);
  // A handle made by an earlier command (a curve value the host kept) is not this command's.
  if (context != nullptr && context->ledger.Count(kHandleKind, key).opened > 0) {
    context->ledger.Close(kHandleKind, key);
  }
}

A_u_longlong HandleTable::Size(PF_Handle handle) const {
  std::lock_guard lock(mutex_);
  const Block* block = Find(handle);
  return block != nullptr ? block->size : 0;
}

PF_Err HandleTable::Resize(A_u_longlong size, PF_Handle* handle, CommandContext* context) {
  if (handle == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  if (PF_Err err = faults_.Check("host_resize_handle"); err != PF_Err_NONE) {
    return err;
  }
  std::lock_guard lock(mutex_);
  Block* block = Find(*handle);
  if (block == nullptr) {
    ledger_.NoteMisuse("resize of unknown handle " + AddressKey(*handle));
    if (context != nullptr) {
      context->ledger.NoteMisuse("resize of unknown handle " + AddressKey(*handle));
    }
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  void* bigger = std::realloc(block->data, size == 0 ? 1 : size);
  if (bigger == nullptr) {
    return PF_Err_OUT_OF_MEMORY;
  }
  if (size > block->size) {
    std::memset(static_cast<char*>(bigger) + block->size, 0, size - block->size);
  }
  block->data = bigger;  // the master pointer moves, the handle stays
  block->size = size;
  return PF_Err_NONE;
}

void HandleTable::MarkHostOwned(PF_Handle handle) {
  ledger_.Exempt(kHandleKind, AddressKey(handle));
  if (CommandContext* context = CurrentContext()) {
    context->ledger.Exempt(kHandleKind, AddressKey(handle));
  }
}

void HandleTable::ReleaseHostOwned(PF_Handle handle) {
  ledger_.Unexempt(kHandleKind, AddressKey(handle));
}

bool HandleTable::IsLive(PF_Handle handle) const {
  std::lock_guard lock(mutex_);
  return Find(handle) != nullptr;
}

int HandleTable::LockCount(PF_Handle handle) const {
  std::lock_guard lock(mutex_);
  const Block* block = Find(handle);
  return block != nullptr ? block->locks : -1;
}

std::set<PF_Handle> HandleTable::LiveHandles() const {
  std::lock_guard lock(mutex_);
  std::set<PF_Handle> live;
  for (const auto& [handle, block] : blocks_) {
    live.insert(handle);
  }
  return live;
}

void* HandleTable::Peek(PF_Handle handle) const {
  std::lock_guard lock(mutex_);
  const Block* block = Find(handle);
  return block != nullptr ? block->data : nullptr;
}

}  // namespace lwhost
