#include <gtest/gtest.h>

#include "plugin_session.h"

namespace lwtest {
namespace {

using RegistrationTest = PluginTest;

TEST_F(RegistrationTest, TenValuesInOrderInOneCall) {
  const lwhost::Registration reg = session.Register();
  ASSERT_EQ(reg.calls.size(), 1u);
  const lwhost::RegistrationCall& call = reg.calls[0];
  EXPECT_EQ(call.opaque, reg.opaqueGiven) << "the host's pointer comes back unchanged";
  EXPECT_EQ(call.name, "Lathewind");
  EXPECT_EQ(call.matchName, "CRVN Spoolrun");
  EXPECT_EQ(call.category, "Corvane");
  EXPECT_EQ(call.entryPointName, "EffectMain");
  EXPECT_EQ(call.kind, 0x65464B54) << "'eFKT'";
  EXPECT_EQ(call.apiMajor, 13);
  EXPECT_EQ(call.apiMinor, 29);
  EXPECT_EQ(call.reservedInfo, 8);
  EXPECT_FALSE(call.supportUrl.empty());
  EXPECT_EQ(call.supportUrl.rfind("https://", 0), 0u) << call.supportUrl;
}

TEST_F(RegistrationTest, CallbackResultIsReturnedUnchanged) {
  for (PF_Err answer : {PF_Err{PF_Err_NONE}, PF_Err{PF_Err_OUT_OF_MEMORY}, PF_Err{-7}}) {
    const lwhost::Registration reg = session.Register(answer);
    EXPECT_EQ(reg.result, answer);
    EXPECT_EQ(reg.calls.size(), 1u) << "answer " << answer;
  }
}

TEST(PluginLibraryTest, MissingFileIsAClearError) {
  try {
    lwhost::PluginLibrary library("/nonexistent/Lathewind.so");
    FAIL() << "loading a missing file succeeded";
  } catch (const lwhost::HostError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/Lathewind.so"), std::string::npos)
        << e.what();
  }
}

TEST(PluginLibraryTest, LibraryWithoutTheEntryPointsIsAClearError) {
  try {
    lwhost::PluginLibrary library("libm.so.6");
    FAIL() << "a library without entry points was accepted";
  } catch (const lwhost::HostError& e) {
    EXPECT_NE(std::string(e.what()).find("PluginDataEntryFunction2"), std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace lwtest
