// Command lines between the control and the agent: the control builds them,
// the agent splits them. Both sides compile this file, so the quoting here and
// the splitting below are one pair, tested together.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "agent/core/options.h"

namespace zv {

// Splits a command line with the rules of CommandLineToArgvW: blanks (space,
// tab) separate arguments outside quotes; 2n backslashes before a quote give n
// backslashes and the quote opens or closes a quoted stretch, 2n+1 give n
// backslashes and a literal quote; other backslashes are literal; inside a
// quoted stretch every third consecutive quote is literal. The first argument
// (the program token) ends at the first blank, or at the closing quote when it
// starts with one, without any backslash processing. An empty line gives one
// empty argument where Windows reports the program's own path.
std::vector<std::u16string> SplitCommandLine(std::u16string_view line);

// The text between double quotes, escaped so that SplitCommandLine gives the
// text back unchanged: a quote becomes \" and the backslashes in front of a
// quote or of the closing quote are doubled. A text without quotes and
// without trailing backslashes is wrapped as it is.
std::u16string QuoteArgument(std::u16string_view text);

// What the agent reads from a command line: split as above and scanned.
TraySettings ScanCommandLine(std::u16string_view line);

// The command lines the control passes to the agent (no program name in
// front), their option names taken from OptionTable().
std::u16string BuildSessionCommandLine(const SessionCommand& c);
std::u16string BuildRegistrySaveCommandLine(std::u16string_view name, int32_t debugLog);
std::u16string BuildLooseRegistrySaveCommandLine(std::u16string_view name, int32_t debugLog);  // "<name>_loose"
std::u16string BuildRegistrySetLooseCommandLine(int32_t debugLog);
std::u16string BuildRegistryRestoreCommandLine(std::u16string_view name, int32_t debugSandbox, int32_t debugLog);
std::u16string BuildRegistryRecoverCommandLine(int32_t debugSandbox, int32_t debugLog);
std::u16string BuildQueryCheatAppCommandLine(std::u16string_view appExceptionList, std::u16string_view appBlackList,
                                             std::u16string_view explorerExceptionList);
std::u16string BuildTrustzoneAddIPCommandLine(std::u16string_view addresses, int32_t debugLog);
std::u16string BuildTrustzoneAddDomainCommandLine(std::u16string_view domains, int32_t debugLog);
std::u16string BuildTrustzoneQueryIPCommandLine(std::u16string_view address, int32_t debugLog);
std::u16string BuildTrustzoneQueryDomainCommandLine(std::u16string_view domain, int32_t debugLog);

// Window handles cross between the control and the agent as their 32-bit
// values, the part of a handle that Windows shares between 32- and 64-bit
// programs, written as unsigned decimals (a value never begins with "-").

// A session or count command line with "-ExamPageWindow <value>" appended,
// or unchanged when the value is 0.
std::u16string WithExamPageWindow(std::u16string line, uint32_t pageWindow);

// The value the control appends: its own window, unless it has none, is its
// own top-level window, or is held by an Internet Explorer frame ("IEFrame",
// which the guard spares by its class): then 0, and the page gets the same
// command lines as ever.
uint32_t ExamPageWindowOption(uint32_t ownWindow, uint32_t rootWindow, std::u16string_view rootClass);

// The handle value of -ExamPageWindow: decimal digits only, up to
// 4294967295; anything else (empty, a sign, blanks, too large) gives 0.
uint32_t ParseWindowValue(std::u16string_view text);

}  // namespace zv
