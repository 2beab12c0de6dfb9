// The integrity level read from real tokens, and the start-up check's log.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/handles.h"
#include "platform/integrity_win.h"
#include "tests/support/log_capture.h"

namespace zv {
namespace {

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// A test runner is never started in protected mode: a normal user's medium
// or an administrator's high integrity (Wine reports high).
TEST(ProcessIntegrity, ReadsThisProcessToken) {
  const IntegrityLevel level = ProcessIntegrity();
  EXPECT_TRUE(level == IntegrityLevel::Medium || level == IntegrityLevel::High) << static_cast<int>(level);
}

TEST(TokenIntegrity, AHandleThatIsNoTokenIsUnknown) {
  if (UnderWine()) GTEST_SKIP() << "Wine reports a label for any handle";
  const UniqueKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  EXPECT_EQ(TokenIntegrity(event.get()), IntegrityLevel::Unknown);
}

// A copy of this process's token lowered to low integrity, as a page in
// protected mode holds it. Wine accepts the new label but keeps the old one.
TEST(TokenIntegrity, ALoweredTokenIsLow) {
  if (UnderWine()) GTEST_SKIP() << "Wine has no mandatory labels";
  UniqueKernelHandle own, copy;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, own.put()));
  ASSERT_TRUE(DuplicateTokenEx(own.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary, copy.put()));
  SID_IDENTIFIER_AUTHORITY authority = SECURITY_MANDATORY_LABEL_AUTHORITY;
  PSID low = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&authority, 1, SECURITY_MANDATORY_LOW_RID, 0, 0, 0, 0, 0, 0, 0, &low));
  TOKEN_MANDATORY_LABEL label{};
  label.Label.Attributes = SE_GROUP_INTEGRITY;
  label.Label.Sid = low;
  const BOOL lowered = SetTokenInformation(copy.get(), TokenIntegrityLevel, &label, sizeof label + GetLengthSid(low));
  FreeSid(low);
  ASSERT_TRUE(lowered);
  EXPECT_EQ(TokenIntegrity(copy.get()), IntegrityLevel::Low);
}

// At this process's level (medium or high) the start-up check logs nothing,
// so the logs of a normal start stay as they are.
TEST(LogIntegrityAtStart, SaysNothingAtMediumOrHigh) {
  test::LogCapture capture;
  ASSERT_TRUE(capture.ok());
  g_bLogEnabled = 1;
  FILELog::ReportingLevel() = logDEBUG4;
  LogIntegrityAtStart(IntegrityProgram::Agent);
  LogIntegrityAtStart(IntegrityProgram::Control);
  EXPECT_EQ(capture.Text(), "");
}

}  // namespace
}  // namespace zv
