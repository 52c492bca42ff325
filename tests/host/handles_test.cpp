#include "core/handles.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/faults.h"
#include "core/ledger.h"

namespace lwhost {
namespace {

class HandlesTest : public ::testing::Test {
 protected:
  Ledger ledger;
  Faults faults;
  HandleTable handles{ledger, faults};
};

TEST_F(HandlesTest, NewHandleIsZeroedAndReachedThroughItsMasterPointer) {
  PF_Handle h = handles.New(100, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(handles.Size(h), 100u);
  auto* bytes = static_cast<unsigned char*>(handles.Lock(h, nullptr));
  ASSERT_EQ(bytes, *h) << "the lock answers the master pointer";
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(bytes[i], 0) << "at byte " << i;
  }
  handles.Unlock(h, nullptr);
  handles.Dispose(h, nullptr);
  EXPECT_EQ(ledger.Report(), "");
}

TEST_F(HandlesTest, LocksAreCountedAndALockLeftOpenIsReported) {
  PF_Handle h = handles.New(8, nullptr);
  handles.Lock(h, nullptr);
  handles.Lock(h, nullptr);
  handles.Unlock(h, nullptr);
  EXPECT_EQ(handles.LockCount(h), 1);
  EXPECT_NE(ledger.Report().find("handle lock " + AddressKey(h) + ": locked 2, unlocked 1"),
            std::string::npos)
      << ledger.Report();
  handles.Unlock(h, nullptr);
  handles.Dispose(h, nullptr);
  EXPECT_EQ(ledger.Report(), "");
}

TEST_F(HandlesTest, LeakedHandleIsReportedUnlessHostOwned) {
  PF_Handle leaked = handles.New(4, nullptr);
  PF_Handle kept = handles.New(4, nullptr);
  handles.MarkHostOwned(kept);
  EXPECT_EQ(ledger.Report(), "handle " + AddressKey(leaked) + ": created 1, disposed 0\n");
  EXPECT_EQ(handles.LiveHandles(), (std::set<PF_Handle>{leaked, kept}));
}

TEST_F(HandlesTest, WrongCallsAreNotedAsMisuse) {
  PF_Handle h = handles.New(4, nullptr);
  handles.Unlock(h, nullptr);  // never locked
  handles.Lock(h, nullptr);
  handles.Dispose(h, nullptr);  // still locked
  int unknown = 0;
  handles.Dispose(reinterpret_cast<PF_Handle>(&unknown), nullptr);
  const std::string report = ledger.Report();
  EXPECT_NE(report.find("unlock of unlocked handle"), std::string::npos) << report;
  EXPECT_NE(report.find("dispose of locked handle"), std::string::npos) << report;
  EXPECT_NE(report.find("dispose of unknown handle"), std::string::npos) << report;
  EXPECT_FALSE(handles.IsLive(h));
}

TEST_F(HandlesTest, InjectedFailuresAnswerNullAtTheKthCall) {
  faults.FailCall("host_new_handle", 2, PF_Err_OUT_OF_MEMORY);
  PF_Handle first = handles.New(4, nullptr);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(handles.New(4, nullptr), nullptr);
  faults.FailCall("host_lock_handle", 1, PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(handles.Lock(first, nullptr), nullptr);
  EXPECT_EQ(handles.LockCount(first), 0) << "a failed lock is not counted";
  handles.Unlock(first, nullptr);  // the effect gives back what it tried to lock
  EXPECT_EQ(ledger.Report().find("unlock of unlocked handle"), std::string::npos)
      << "one unlock answers a refused lock: " << ledger.Report();
  handles.Unlock(first, nullptr);
  EXPECT_NE(ledger.Report().find("unlock of unlocked handle"), std::string::npos) << "but only one";
  handles.Dispose(first, nullptr);
}

TEST_F(HandlesTest, ResizeKeepsTheHandleAndTheBytes) {
  PF_Handle h = handles.New(4, nullptr);
  std::memcpy(handles.Peek(h), "abc", 4);
  ASSERT_EQ(handles.Resize(4096, &h, nullptr), PF_Err_NONE);
  EXPECT_EQ(handles.Size(h), 4096u);
  EXPECT_STREQ(static_cast<const char*>(handles.Peek(h)), "abc");
  EXPECT_EQ(static_cast<const char*>(handles.Peek(h))[4095], 0) << "the new bytes are zero";
  handles.Dispose(h, nullptr);
}

}  // namespace
}  // namespace lwhost
