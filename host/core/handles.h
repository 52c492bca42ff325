// Host handles: blocks of memory reached through a master pointer, locked and unlocked by the
// effect. Every handle and every lock is counted in the balance ledger, so a command that leaks a
// handle or returns with one locked shows up in the report.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>

#include "ae_basic_types.h"

namespace lwhost {

class CommandContext;
class Faults;
class Ledger;

class HandleTable {
 public:
  HandleTable(Ledger& sessionLedger, Faults& faults);
  ~HandleTable();
  HandleTable(const HandleTable&) = delete;
  HandleTable& operator=(const HandleTable&) = delete;

  // The utility callbacks' work. `context` is the command making the call (may be null); its
  // own ledger is kept alongside the session's. Fault sites: "host_new_handle",
  // "host_lock_handle", "host_resize_handle".
  PF_Handle New(A_u_longlong size, CommandContext* context);
  void* Lock(PF_Handle handle, CommandContext* context);
  void Unlock(PF_Handle handle, CommandContext* context);
  void Dispose(PF_Handle handle, CommandContext* context);
  A_u_longlong Size(PF_Handle handle) const;
  PF_Err Resize(A_u_longlong size, PF_Handle* handle, CommandContext* context);

  // A handle the host's own storage keeps (a parameter's value, an arbitrary default): it is
  // legitimately alive after the command and is left out of balance reports.
  void MarkHostOwned(PF_Handle handle);
  void ReleaseHostOwned(PF_Handle handle);

  bool IsLive(PF_Handle handle) const;
  int LockCount(PF_Handle handle) const;  // -1 for a handle that is not live
  std::set<PF_Handle> LiveHandles() const;
  // The bytes of a live handle without locking it (for the host's own use and for tests).
  void* Peek(PF_Handle handle) const;

 private:
  struct Block;
  Block* Find(PF_Handle handle) const;

  Ledger& ledger_;
  Faults& faults_;
  mutable std::mutex mutex_;
  std::unordered_map<PF_Handle, std::unique_ptr<Block>> blocks_;
};

}  // namespace lwhost
