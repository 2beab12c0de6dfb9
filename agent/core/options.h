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

  bool operator==(const TraySettings&) const = default;
};

// One entry of the option table: exactly one of the two members is set.
struct OptionSpec {
  const char16_t* name;  // with its leading hyphen
  int32_t TraySettings::*integer;
  std::u16string TraySettings::*text;
};
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
