#include "core/ledger.h"

#include <gtest/gtest.h>

namespace lwhost {
namespace {

TEST(LedgerTest, BalancedWhenEveryOpenIsClosed) {
  Ledger ledger;
  ledger.Open(kSuiteKind, SuiteKey("PF ANSI Suite", 1));
  ledger.Open(kSuiteKind, SuiteKey("PF ANSI Suite", 1));
  ledger.Close(kSuiteKind, SuiteKey("PF ANSI Suite", 1));
  EXPECT_FALSE(ledger.Balanced());
  ledger.Close(kSuiteKind, SuiteKey("PF ANSI Suite", 1));
  EXPECT_EQ(ledger.Report(), "");
}

TEST(LedgerTest, ReportNamesTheKeyAndBothCountsInTheKindsWords) {
  Ledger ledger;
  ledger.Open(kSuiteKind, SuiteKey("PF ANSI Suite", 1));
  ledger.Open(kSuiteKind, SuiteKey("PF ANSI Suite", 1));
  ledger.Close(kSuiteKind, SuiteKey("PF ANSI Suite", 1));
  EXPECT_EQ(ledger.Report(), "suite PF ANSI Suite v1: acquired 2, released 1\n");
}

TEST(LedgerTest, CloseWithoutOpenIsAnImbalance) {
  Ledger ledger;
  ledger.Close(kSuiteKind, "X v1");
  EXPECT_EQ(ledger.Report(), "suite X v1: acquired 0, released 1\n");
}

TEST(LedgerTest, ExemptKeysAreLeftOutOfTheReportButStillCounted) {
  Ledger ledger;
  ledger.Open(kHandleKind, "0x10");
  ledger.Open(kHandleKind, "0x20");
  ledger.Exempt(kHandleKind, "0x10");
  EXPECT_EQ(ledger.Report(), "handle 0x20: created 1, disposed 0\n");
  EXPECT_EQ(ledger.Outstanding(kHandleKind), 2);
  EXPECT_EQ(ledger.OpenKeys(kHandleKind), (std::set<std::string>{"0x10", "0x20"}));
}

TEST(LedgerTest, MisuseAlwaysShows) {
  Ledger ledger;
  ledger.NoteMisuse("unlock of unlocked handle 0x30");
  EXPECT_EQ(ledger.Report(), "misuse unlock of unlocked handle 0x30: happened 1\n");
}

TEST(LedgerTest, LaterServicesNameTheirOwnKinds) {
  Ledger ledger;
  Ledger::NameKind("path checkout", "checked out", "checked in");
  ledger.Open("path checkout", "mask 1");
  EXPECT_EQ(ledger.Report(), "path checkout mask 1: checked out 1, checked in 0\n");
  ledger.Open("drawing object", "pen 1");  // a kind nobody named uses plain words
  EXPECT_NE(ledger.Report().find("drawing object pen 1: opened 1, closed 0"), std::string::npos)
      << ledger.Report();
}

TEST(LedgerTest, ACopyIsASnapshot) {
  Ledger ledger;
  ledger.Open(kHandleKind, "0x10");
  const Ledger before = ledger;
  ledger.Close(kHandleKind, "0x10");
  EXPECT_EQ(before.Count(kHandleKind, "0x10").closed, 0);
  EXPECT_EQ(ledger.Count(kHandleKind, "0x10").closed, 1);
}

}  // namespace
}  // namespace lwhost
