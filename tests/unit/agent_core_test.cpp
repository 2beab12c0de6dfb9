#include <gtest/gtest.h>

#include "agent/core/agent_messages.h"
#include "agent/core/command_line.h"
#include "agent/core/dispatch.h"
#include "agent/core/keep_alive.h"
#include "common/text/text_util.h"

namespace zv {
namespace {

TEST(ChooseCommand, FirstMatchingRowWins) {
  struct Case {
    const char16_t* line;
    AgentCommand expected;
  } cases[] = {
      {u"", AgentCommand::Session},
      {u"-DebugLog 1 -KeepAliveMillisec 0", AgentCommand::Session},
      {u"-QueryCheatApp 1 -RegistrySave \"n\"", AgentCommand::CountCheatApps},
      {u"-QueryCheatApp yes -RegistrySave \"n\"", AgentCommand::RegistrySave},
      {u"-TrustzoneAddDomain \"d\" -TrustzoneAddIP \"1.2.3.4\"", AgentCommand::AddTrustedRanges},
      {u"-TrustzoneQueryIP \"1.2.3.4\" -TrustzoneAddDomain \"d\"", AgentCommand::AddTrustedDomains},
      {u"-TrustzoneQueryDomain \"d\" -TrustzoneQueryIP \"1.2.3.4\"", AgentCommand::QueryTrustedRange},
      {u"-RegistrySave \"n\" -TrustzoneQueryDomain \"d\"", AgentCommand::QueryTrustedDomain},
      {u"-RegistryRestore \"n\" -RegistrySave \"n\"", AgentCommand::RegistrySave},
      {u"-RegistrySetLoose 1 -RegistryRestore \"n\"", AgentCommand::RegistryRestore},
      {u"-RegistrySetLoose 1 -ProtectKeyCheat 1", AgentCommand::RegistrySetLoose},
      {u"-RegistryRecover 1 -RegistrySetLoose 1", AgentCommand::RegistrySetLoose},
      {u"-RegistryRecover 1 -ProtectKeyCheat 1", AgentCommand::RegistryRecover},
      // "-1" begins with "-", so it is no value: nothing selected.
      {u"-RegistrySetLoose -1", AgentCommand::Session},
      {u"-RegistrySetLoose \" -1\"", AgentCommand::RegistrySetLoose},
      // An empty quoted text selects nothing.
      {u"-RegistrySave \"\" -TrustzoneAddIP \"\"", AgentCommand::Session},
  };
  for (const auto& c : cases) EXPECT_EQ(ChooseCommand(ScanCommandLine(c.line)), c.expected) << ToUtf8(c.line);
}

// Ticks until the watch fires, without keep-alives.
int TicksUntilClose(int32_t period) {
  int32_t idle = 0;
  for (int tick = 1; tick < 1000000; ++tick)
    if (KeepAliveTick(idle, period)) return tick;
  return -1;
}

TEST(KeepAlive, ClosesOnTheFirstTickStrictlyAboveThePeriod) {
  EXPECT_EQ(TicksUntilClose(250), 3);    // 300 > 250
  EXPECT_EQ(TicksUntilClose(1000), 11);  // 1000 is not enough, 1100 is
  EXPECT_EQ(TicksUntilClose(1), 1);
  EXPECT_EQ(TicksUntilClose(100), 2);
  EXPECT_FALSE(KeepAliveWatchEnabled(0));
  EXPECT_FALSE(KeepAliveWatchEnabled(-5));
  EXPECT_TRUE(KeepAliveWatchEnabled(1));
}

TEST(KeepAlive, KeepAlivesEveryTenTicksKeepTheDefaultPeriodAlive) {
  int32_t idle = 0;
  for (int tick = 1; tick <= 10000; ++tick) {
    ASSERT_FALSE(KeepAliveTick(idle, 1000)) << tick;
    if (tick % 10 == 0) idle = 0;  // a keep-alive message
  }
}

TEST(KeepAlive, HugePeriodSaturatesInsteadOfOverflowing) {
  int32_t idle = INT32_MAX - 50;
  EXPECT_FALSE(KeepAliveTick(idle, INT32_MAX));
  EXPECT_EQ(idle, INT32_MAX);
  EXPECT_FALSE(KeepAliveTick(idle, INT32_MAX));
  EXPECT_TRUE(KeepAliveTick(idle, INT32_MAX - 1));
}

TEST(AgentMessages, ProtocolNumbersAndParameters) {
  EXPECT_EQ(UM_REZUV_CLOSE, 0x448u);
  EXPECT_EQ(UM_REZUV_KEEPALIVE, 0x449u);
  EXPECT_EQ(UM_TRAYNOTIFY, 0x464u);
  EXPECT_TRUE(IsCloseRequest(9, 72));
  EXPECT_FALSE(IsCloseRequest(72, 9));
  EXPECT_FALSE(IsCloseRequest(9, 73));
  EXPECT_TRUE(IsKeepAlive(74, 75));
  EXPECT_FALSE(IsKeepAlive(75, 74));
  EXPECT_FALSE(IsKeepAlive(9, 72));
}

}  // namespace
}  // namespace zv
