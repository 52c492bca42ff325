// A small stand-in for the host's handle calls, for unit tests of code that makes, locks and frees
// host handles through PF_InData::utils. It keeps every block it hands out, counts lock attempts
// and unlocks per handle, puts guard bytes after each block to catch writes past the requested
// size, and can be told to refuse new handles or locks.
//
// The handle callbacks carry no context, so the active host is a global: construct one per test
// (it installs itself) and let it go out of scope at the end.
#pragma once

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ae_effect.h"

namespace lwd {

class FakeHandleHost {
 public:
  static constexpr std::size_t kGuardBytes = 32;
  static constexpr unsigned char kGuardByte = 0xC5;

  struct Block {
    std::vector<unsigned char> bytes;  // requested size followed by the guard
    std::size_t size = 0;
    void* master = nullptr;  // the handle points here, as a host's handles do
    int lockAttempts = 0;
    int locksGranted = 0;
    int unlocks = 0;
    bool lockFails = false;
    bool disposed = false;
  };

  FakeHandleHost() {
    std::memset(&utils_, 0, sizeof utils_);
    utils_.host_new_handle = &NewHandle;
    utils_.host_lock_handle = &LockHandle;
    utils_.host_unlock_handle = &UnlockHandle;
    utils_.host_dispose_handle = &DisposeHandle;
    std::memset(&inData_, 0, sizeof inData_);
    inData_.utils = &utils_;
    active_ = this;
  }
  ~FakeHandleHost() { active_ = nullptr; }
  FakeHandleHost(const FakeHandleHost&) = delete;
  FakeHandleHost& operator=(const FakeHandleHost&) = delete;

  PF_InData* inData() { return &inData_; }
  PF_UtilCallbacks* utils() { return &utils_; }

  // Failure switches.
  bool failNew = false;        // host_new_handle returns null
  bool failLockOfNew = false;  // handles made from now on cannot be locked

  // Counters over the whole test.
  int newCalls = 0;
  int disposeCalls = 0;
  std::vector<std::size_t> requestedSizes;
  std::vector<std::string> misuse;  // calls a real host would reject

  // A handle made by the test itself (not counted as a new call), holding `size` bytes of `src`.
  PF_Handle Make(const void* src, std::size_t size) {
    Block* b = AddBlock(size);
    std::memcpy(b->bytes.data(), src, size);
    return &b->master;
  }
  template <typename T>
  PF_Handle MakeFrom(const T& value) {
    return Make(&value, sizeof value);
  }

  Block* Find(PF_Handle h) {
    for (auto& b : blocks_) {
      if (&b->master == h) {
        return b.get();
      }
    }
    return nullptr;
  }

  // The contents of a handle, read directly (no lock counted).
  template <typename T>
  T Read(PF_Handle h) {
    T value{};
    Block* b = Find(h);
    if (b != nullptr && b->size >= sizeof value) {
      std::memcpy(&value, b->bytes.data(), sizeof value);
    }
    return value;
  }

  int Live() const {
    int n = 0;
    for (const auto& b : blocks_) {
      n += b->disposed ? 0 : 1;
    }
    return n;
  }

  int TotalLockAttempts() const {
    int n = 0;
    for (const auto& b : blocks_) {
      n += b->lockAttempts;
    }
    return n;
  }

  // Empty when every granted lock was matched by an unlock (an unlock after a refused lock is
  // tolerated, one more than the attempts is not), no guard byte was overwritten and no call
  // misused a handle; otherwise a description for the failure message.
  std::string Problems() const {
    std::ostringstream out;
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
      const Block& b = *blocks_[i];
      if (b.unlocks < b.locksGranted || b.unlocks > b.lockAttempts) {
        out << "block " << i << ": " << b.lockAttempts << " lock attempts, " << b.unlocks
            << " unlocks; ";
      }
      for (std::size_t g = 0; g < kGuardBytes; ++g) {
        if (b.bytes[b.size + g] != kGuardByte) {
          out << "block " << i << ": written past its " << b.size << " bytes; ";
          break;
        }
      }
    }
    for (const auto& m : misuse) {
      out << m << "; ";
    }
    return out.str();
  }

 private:
  Block* AddBlock(std::size_t size) {
    auto b = std::make_unique<Block>();
    b->size = size;
    b->bytes.assign(size + kGuardBytes, kGuardByte);
    // Fresh memory is not zero: the code under test must clear what it makes.
    std::memset(b->bytes.data(), 0x5A, size);
    b->master = b->bytes.data();
    blocks_.push_back(std::move(b));
    return blocks_.back().get();
  }

  static PF_Handle NewHandle(A_u_longlong size) {
    FakeHandleHost* self = active_;
    ++self->newCalls;
    self->requestedSizes.push_back(static_cast<std::size_t>(size));
    if (self->failNew) {
      return nullptr;
    }
    Block* b = self->AddBlock(static_cast<std::size_t>(size));
    b->lockFails = self->failLockOfNew;
    return &b->master;
  }

  static void* LockHandle(PF_Handle h) {
    FakeHandleHost* self = active_;
    Block* b = self->Find(h);
    if (b == nullptr || b->disposed) {
      self->misuse.push_back("lock of an unknown or freed handle");
      return nullptr;
    }
    ++b->lockAttempts;
    if (b->lockFails) {
      return nullptr;
    }
    ++b->locksGranted;
    return b->master;
  }

  static void UnlockHandle(PF_Handle h) {
    FakeHandleHost* self = active_;
    Block* b = self->Find(h);
    if (b == nullptr || b->disposed) {
      self->misuse.push_back("unlock of an unknown or freed handle");
      return;
    }
    ++b->unlocks;
  }

  static void DisposeHandle(PF_Handle h) {
    FakeHandleHost* self = active_;
    ++self->disposeCalls;
    Block* b = self->Find(h);
    if (b == nullptr || b->disposed) {
      self->misuse.push_back("dispose of an unknown or freed handle");
      return;
    }
    if (b->unlocks < b->locksGranted) {
      self->misuse.push_back("dispose of a locked handle");
    }
    b->disposed = true;
  }

  static inline FakeHandleHost* active_ = nullptr;
  PF_UtilCallbacks utils_;
  PF_InData inData_;
  std::vector<std::unique_ptr<Block>> blocks_;
};

}  // namespace lwd
