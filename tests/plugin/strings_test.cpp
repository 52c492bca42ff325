// The string table and the exported symbol set, read from the built plug-in.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "plugin_session.h"

namespace lwtest {
namespace {

// One record of the exported table: a 64-bit index and 1024 bytes of text.
struct TableRecord {
  std::int64_t index;
  char text[1024];
};
static_assert(sizeof(TableRecord) == 1032);
constexpr int kEntries = 49;

using StringsTest = PluginTest;

TEST_F(StringsTest, TableRecordsAreNumberedByPositionAndZeroPadded) {
  auto* table = static_cast<const TableRecord*>(session.Library().Symbol("g_strs"));
  ASSERT_NE(table, nullptr);
  for (int i = 0; i < kEntries; ++i) {
    EXPECT_EQ(table[i].index, i);
    const std::size_t length = strnlen(table[i].text, sizeof(table[i].text));
    ASSERT_LT(length, sizeof(table[i].text)) << "entry " << i << " is not terminated";
    for (std::size_t b = length; b < sizeof(table[i].text); ++b) {
      ASSERT_EQ(table[i].text[b], 0) << "entry " << i << " byte " << b;
    }
    const bool hasText = (i >= 1 && i <= 37) || i == 40 || i >= 42;
    EXPECT_EQ(length > 0, hasText) << "entry " << i << ": \"" << table[i].text << "\"";
  }
  EXPECT_STREQ(table[3].text, "Path");
  EXPECT_STREQ(table[37].text, "Opacity");
  EXPECT_STREQ(table[43].text, "Auto Bank");
  EXPECT_STREQ(table[46].text, "Bank Falloff");
  EXPECT_STREQ(table[47].text, "Error loading suite.");
  EXPECT_STREQ(table[48].text, "Error releasing suite.");
}

TEST_F(StringsTest, GetStringPtrReadsByPositionAndGuardsItsRange) {
  using GetString = const char* (*)(int32_t);
  auto get = reinterpret_cast<GetString>(session.Library().Symbol("GetStringPtr"));
  auto* table = static_cast<const TableRecord*>(session.Library().Symbol("g_strs"));
  ASSERT_NE(get, nullptr);
  ASSERT_NE(table, nullptr);
  EXPECT_STREQ(get(0), "");
  EXPECT_STREQ(get(38), "");
  EXPECT_STREQ(get(14), "Thickness (0 = from source)");
  EXPECT_EQ(get(14), table[14].text) << "the text is the table's own";
  for (int32_t outside : {-1, 49, 1000}) {
    ASSERT_NE(get(outside), nullptr) << outside;
    EXPECT_STREQ(get(outside), "") << "index " << outside;
  }
}

TEST(ExportsTest, OnlyEntryPointsTableAndSuiteHelpersAreExported) {
  const std::string command = std::string("nm -D --defined-only '") + LATHEWIND_PLUGIN_PATH + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr) << command;
  std::set<std::string> plain;
  std::set<std::string> others;
  char line[512];
  while (std::fgets(line, sizeof(line), pipe) != nullptr) {
    char name[480];
    if (std::sscanf(line, "%*s %*s %479s", name) != 1) {
      continue;
    }
    const std::string symbol = name;
    const bool suiteHandler = symbol.rfind("_ZN17AEGP_SuiteHandler", 0) == 0 ||
                              symbol.rfind("_ZNK17AEGP_SuiteHandler", 0) == 0;
    (suiteHandler ? others : plain).insert(symbol);
  }
  ASSERT_EQ(pclose(pipe), 0) << command;
  EXPECT_EQ(plain,
            (std::set<std::string>{"PluginDataEntryFunction2", "EffectMain", "GetStringPtr",
                                   "g_strs", "AEFX_AcquireSuite", "AEFX_ReleaseSuite",
                                   "AEFX_AcquireDrawbotSuites", "AEFX_ReleaseDrawbotSuites"}));
  EXPECT_FALSE(others.empty()) << "the suite cache's methods are exported";
  EXPECT_EQ(others.count("_ZN17AEGP_SuiteHandler19ANSICallbacksSuite1Ev"), 1u);
  EXPECT_EQ(others.count("_ZNK17AEGP_SuiteHandler17MissingSuiteErrorEv"), 1u);
}

}  // namespace
}  // namespace lwtest
