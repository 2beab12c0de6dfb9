// The agent's settings record, the scan of its arguments and the lookup sets
// built from the list options.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

struct TraySettings {
  int32_t m_nKeepAliveMillisec = 1000;
  int32_t m_nProtectKeyCheat = 1;
  int32_t m_nProtectMouseCheat = 1;
  int32_t m_nProtectAppCheat = 1;
  int32_t m_nProtectExplorerCheat = 1;
  // The control always passes -ProtectIEToolbarCheat with a session; a session
  // command line without it gets the walk, like every other protection.
  int32_t m_nProtectIEToolbarCheat = 1;
  int32_t m_nDebugLog = 0;
  int32_t m_nDebugSandbox = 0;
  int32_t m_nQueryCheatApp = 0;
  int32_t m_nRegistrySetLoose = 0;
  // Restores every pending snapshot no live control holds (logon, next page).
  int32_t m_nRegistryRecover = 0;
  std::u16string m_strProtectAppExceptionList;
  std::u16string m_strProtectKeyList;
  std::u16string m_strProtectExplorerExceptionList;
  std::u16string m_strProtectAppBlackList;
  std::u16string m_strTrustzoneAddIP;
  std::u16string m_strTrustzoneAddDomain;
  std::u16string m_strTrustzoneQueryIP;
  std::u16string m_strTrustzoneQueryDomain;
  std::u16string m_strRegistrySave;
  std::u16string m_strRegistryRestore;
  // The control's own window, as the unsigned decimal of its 32-bit handle
  // value, when the page is not held by an Internet Explorer frame: the guard
  // spares the top-level window that holds it, the exam's frame.
  std::u16string m_strExamPageWindow;

  bool operator==(const TraySettings&) const = default;
};

// The values a session command line carries: the control's stored
// properties that go to the agent, as the control stores them (shorts, and
// its defaults), in the order of that line.
struct SessionCommand {
  int16_t webSandboxMode = 1;
  int16_t protectKeyCheat = 1;
  std::u16string protectKeyList;
  int16_t protectMouseCheat = 1;
  int16_t protectAppCheat = 1;
  std::u16string protectAppExceptionList;
  std::u16string protectAppBlackList;
  int16_t keepAliveMillisec = 1000;
  int16_t protectExplorerCheat = 1;
  std::u16string protectExplorerExceptionList;
  // No default is prescribed for the toolbar walk; like every other
  // protection switch (and like the agent's own default) it starts on.
  int16_t protectIEToolbarCheat = 1;
  int16_t debugLog = 0;
  int16_t debugSandbox = 0;

  bool operator==(const SessionCommand&) const = default;
};

// One option of the command line: its name, the agent's field it fills and
// the value a session command line gives it. An option has one type: either
// its two integer members or its two text members may be set.
struct OptionSpec {
  const char16_t* name;  // with its leading hyphen
  int32_t TraySettings::*integer;  // none: the agent reads no value from it
  std::u16string TraySettings::*text;
  int16_t SessionCommand::*sessionInteger;  // none: not on a session line
  std::u16string SessionCommand::*sessionText;
};
// Every option the control sends or the agent reads, once: the agent's scan
// looks names up here, and every command line the control builds takes its
// names from here. The session command line carries the options that have a
// session value, in this order.
const std::vector<OptionSpec>& OptionTable();

// Reads option pairs into the settings. A name is an argument beginning with
// "-" that is followed by an argument not beginning with "-"; names compare
// ignoring the case of a-z; unknown pairs and stray arguments are skipped.
void ScanArguments(const std::vector<std::u16string>& args, TraySettings& settings);

// The comma split of every list option: nothing is trimmed, n commas give
// n + 1 tokens, the empty text gives one empty token.
std::vector<std::u16string> SplitList(std::u16string_view text);

// Key names of -ProtectKeyList (already upper case) and the codes they add.
struct KeyNameEntry {
  const char16_t* name;
  bool alt;  // true: the codes go into g_setAltKeys, else into g_setKeys
  std::vector<int32_t> codes;
};
const std::vector<KeyNameEntry>& KeyNameTable();

// The process-wide lookup sets. Filled once by BuildFilterTables, read-only
// afterwards (the hooks and window callbacks receive no context pointer).
extern std::set<int32_t> g_setAltKeys;
extern std::set<int32_t> g_setKeys;
extern std::set<std::u16string> g_setAppExceptions;
extern std::set<std::u16string> g_setAppBlackList;
extern std::set<std::u16string> g_setExplorerExceptions;

// Upper-cases the four list fields in place and fills the five sets (which
// are cleared first, so a test can call it more than once).
void BuildFilterTables(TraySettings& settings);

}  // namespace zv
