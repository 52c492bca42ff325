// The dispatcher and the commands the shell answers itself, through the loaded plug-in.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "plugin_session.h"
#include "system_seam.h"

namespace lwtest {
namespace {

using ShellCommandsTest = PluginTest;

// A byte pattern the effect is unlikely to write by chance.
PF_OutData Patterned() {
  PF_OutData out;
  std::memset(&out, 0xA5, sizeof(out));
  return out;
}

TEST_F(ShellCommandsTest, CommandsWithoutHandlerAnswerZeroAndWriteNothing) {
  const A_u_long commands[] = {2,  3,  5,  6,  7,  8,  9,  12,  14,
                               16, 17, 18, 19, 20, 21, 23, 100, 0xFFFFFFFF};
  for (A_u_long command : commands) {
    lwhost::CommandInput input;
    input.out = Patterned();
    const lwhost::CommandResult r = session.Send(static_cast<PF_Cmd>(command), input);
    EXPECT_EQ(r.err, PF_Err_NONE) << "command " << command;
    EXPECT_EQ(std::memcmp(&r.out, &input.out, sizeof(PF_OutData)), 0)
        << "command " << command << " wrote into PF_OutData";
    ExpectBalanced(r, "command " + std::to_string(command));
  }
}

TEST_F(ShellCommandsTest, GlobalSetupWritesVersionAndFlagsWhateverWasThere) {
  for (unsigned char fill : {0x00, 0xFF, 0x5A}) {
    PF_OutData before;
    std::memset(&before, fill, sizeof(before));
    const lwhost::CommandResult r = session.GlobalSetup(before);
    EXPECT_EQ(r.err, PF_Err_NONE);
    EXPECT_EQ(r.out.my_version, 0x000B8018u) << "fill " << int(fill);
    EXPECT_EQ(static_cast<A_u_long>(r.out.out_flags), 0x02008200u) << "fill " << int(fill);
    EXPECT_EQ(static_cast<A_u_long>(r.out.out_flags2), 0x08000000u) << "fill " << int(fill);
    // Nothing but the three fields changes.
    PF_OutData expected = before;
    expected.my_version = r.out.my_version;
    expected.out_flags = r.out.out_flags;
    expected.out_flags2 = r.out.out_flags2;
    EXPECT_EQ(std::memcmp(&r.out, &expected, sizeof(PF_OutData)), 0) << "fill " << int(fill);
    ExpectBalanced(r, "global set-up");
  }
}

std::string StringEntry(lwhost::Session& session, int index) {
  using GetString = const char* (*)(int32_t);
  auto get = reinterpret_cast<GetString>(session.Library().Symbol("GetStringPtr"));
  return get != nullptr ? get(index) : "<GetStringPtr missing>";
}

TEST_F(ShellCommandsTest, AboutTextIsNameVersionAndDescription) {
  const lwhost::CommandResult r = session.Send(PF_Cmd_ABOUT);
  ASSERT_EQ(r.err, PF_Err_NONE);
  const std::string name = StringEntry(session, 1);
  const std::string description = StringEntry(session, 2);
  EXPECT_EQ(name, "Lathewind");
  EXPECT_EQ(std::string(r.out.return_msg), name + "  v1.7  build 24\r" + description);
  EXPECT_EQ(description.rfind("Wraps a source layer along a mask path.\r", 0), 0u) << description;
  EXPECT_LE(name.size() + description.size(), 238u) << "the About text must fit return_msg";
  ExpectBalanced(r, "About");
  EXPECT_EQ(session.ledger.Count(lwhost::kSuiteKind, lwhost::SuiteKey("PF ANSI Suite", 1)).opened,
            1)
      << "the ANSI suite is obtained once";
}

TEST_F(ShellCommandsTest, AboutWithoutAnsiSuiteFailsAndLeavesTheMessage) {
  session.faults.MissingSuite("PF ANSI Suite", 1);
  lwhost::CommandInput input;
  std::strcpy(input.out.return_msg, "as the host gave it");
  const lwhost::CommandResult r = session.Send(PF_Cmd_ABOUT, input);
  EXPECT_EQ(r.err, PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_STREQ(r.out.return_msg, "as the host gave it");
  ExpectBalanced(r, "About without the ANSI suite");
}

TEST_F(ShellCommandsTest, AboutWithNullAnsiSuiteCountsAsMissing) {
  session.faults.NullSuite("PF ANSI Suite", 1);
  const lwhost::CommandResult r = session.Send(PF_Cmd_ABOUT);
  EXPECT_EQ(r.err, PF_Err_BAD_CALLBACK_PARAM);
  ExpectBalanced(r, "About with a null ANSI suite");
}

TEST_F(ShellCommandsTest, AboutWithoutBasicSuiteFails) {
  lwhost::CommandInput input;
  input.withBasicSuite = false;
  const lwhost::CommandResult r = session.Send(PF_Cmd_ABOUT, input);
  EXPECT_EQ(r.err, PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_STREQ(r.out.return_msg, "");
  ExpectBalanced(r, "About without a basic suite");
}

lwhost::CommandResult ChangeParam(lwhost::Session& session, PF_ParamIndex index) {
  PF_UserChangedParamExtra extra{index};
  lwhost::CommandInput input;
  input.extra = &extra;
  return session.Send(PF_Cmd_USER_CHANGED_PARAM, input);
}

TEST_F(ShellCommandsTest, WebButtonOpensTheUpgradePage) {
  ClearSystemCalls();
  const lwhost::CommandResult r = ChangeParam(session, 31);
  EXPECT_EQ(r.err, PF_Err_NONE);
  EXPECT_EQ(r.out.out_flags, 0) << "no out flag is set";
  EXPECT_EQ(SystemCalls(),
            std::vector<std::string>{"xdg-open 'https://corvane.example/lathewind#upgrade' "
                                     ">/dev/null 2>&1 &"});
  ExpectBalanced(r, "web button");
}

TEST_F(ShellCommandsTest, OtherButtonsOpenNothing) {
  for (PF_ParamIndex index : {30, 32, 0, -1}) {
    ClearSystemCalls();
    const lwhost::CommandResult r = ChangeParam(session, index);
    EXPECT_EQ(r.err, PF_Err_NONE) << "param " << index;
    EXPECT_TRUE(SystemCalls().empty()) << "param " << index << " ran " << SystemCalls()[0];
    ExpectBalanced(r, "param " + std::to_string(index));
  }
}

TEST_F(ShellCommandsTest, UnhandledEventTypeAnswersZero) {
  PF_EventExtra event{};
  event.e_type = PF_Event_IDLE;
  lwhost::CommandInput input;
  input.extra = &event;
  input.out = Patterned();
  const lwhost::CommandResult r = session.Send(PF_Cmd_EVENT, input);
  EXPECT_EQ(r.err, PF_Err_NONE);
  EXPECT_EQ(std::memcmp(&r.out, &input.out, sizeof(PF_OutData)), 0);
  ExpectBalanced(r, "idle event");
}

}  // namespace
}  // namespace lwtest
