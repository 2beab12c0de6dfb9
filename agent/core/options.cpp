#include "agent/core/options.h"

#include "common/text/text_util.h"

namespace zv {

std::set<int32_t> g_setAltKeys;
std::set<int32_t> g_setKeys;
std::set<std::u16string> g_setAppExceptions;
std::set<std::u16string> g_setAppBlackList;
std::set<std::u16string> g_setExplorerExceptions;

const std::vector<OptionSpec>& OptionTable() {
  using S = TraySettings;
  using C = SessionCommand;
  static const std::vector<OptionSpec> table = {
      // The session command line, in its order.
      {u"-WebSandboxMode", nullptr, nullptr, &C::webSandboxMode, nullptr},
      {u"-ProtectKeyCheat", &S::m_nProtectKeyCheat, nullptr, &C::protectKeyCheat, nullptr},
      {u"-ProtectKeyList", nullptr, &S::m_strProtectKeyList, nullptr, &C::protectKeyList},
      {u"-ProtectMouseCheat", &S::m_nProtectMouseCheat, nullptr, &C::protectMouseCheat, nullptr},
      {u"-ProtectAppCheat", &S::m_nProtectAppCheat, nullptr, &C::protectAppCheat, nullptr},
      {u"-ProtectAppExceptionList", nullptr, &S::m_strProtectAppExceptionList, nullptr, &C::protectAppExceptionList},
      {u"-ProtectAppBlackList", nullptr, &S::m_strProtectAppBlackList, nullptr, &C::protectAppBlackList},
      {u"-KeepAliveMillisec", &S::m_nKeepAliveMillisec, nullptr, &C::keepAliveMillisec, nullptr},
      {u"-ProtectExplorerCheat", &S::m_nProtectExplorerCheat, nullptr, &C::protectExplorerCheat, nullptr},
      {u"-ProtectExplorerExceptionList", nullptr, &S::m_strProtectExplorerExceptionList, nullptr,
       &C::protectExplorerExceptionList},
      {u"-ProtectIEToolbarCheat", &S::m_nProtectIEToolbarCheat, nullptr, &C::protectIEToolbarCheat, nullptr},
      {u"-DebugLog", &S::m_nDebugLog, nullptr, &C::debugLog, nullptr},
      {u"-DebugSandbox", &S::m_nDebugSandbox, nullptr, &C::debugSandbox, nullptr},
      // Appended to the session and count lines only for a page whose frame
      // is not an Internet Explorer frame (WithExamPageWindow).
      {u"-ExamPageWindow", nullptr, &S::m_strExamPageWindow, nullptr, nullptr},
      // The one-shot commands.
      {u"-QueryCheatApp", &S::m_nQueryCheatApp, nullptr, nullptr, nullptr},
      {u"-RegistrySetLoose", &S::m_nRegistrySetLoose, nullptr, nullptr, nullptr},
      {u"-RegistryRecover", &S::m_nRegistryRecover, nullptr, nullptr, nullptr},
      {u"-TrustzoneAddIP", nullptr, &S::m_strTrustzoneAddIP, nullptr, nullptr},
      {u"-TrustzoneAddDomain", nullptr, &S::m_strTrustzoneAddDomain, nullptr, nullptr},
      {u"-TrustzoneQueryIP", nullptr, &S::m_strTrustzoneQueryIP, nullptr, nullptr},
      {u"-TrustzoneQueryDomain", nullptr, &S::m_strTrustzoneQueryDomain, nullptr, nullptr},
      {u"-RegistrySave", nullptr, &S::m_strRegistrySave, nullptr, nullptr},
      {u"-RegistryRestore", nullptr, &S::m_strRegistryRestore, nullptr, nullptr},
  };
  return table;
}

static bool IsName(const std::u16string& arg) { return !arg.empty() && arg[0] == u'-'; }

void ScanArguments(const std::vector<std::u16string>& args, TraySettings& settings) {
  size_t i = 0;
  while (i < args.size()) {
    if (!IsName(args[i]) || i + 1 >= args.size()) {
      ++i;
      continue;
    }
    if (IsName(args[i + 1])) {  // a name without a value
      ++i;
      continue;
    }
    for (const auto& option : OptionTable()) {
      if (!EqualsIgnoreCaseAscii(args[i], option.name)) continue;
      if (option.integer != nullptr)
        settings.*option.integer = WToI(args[i + 1]);
      else if (option.text != nullptr)
        settings.*option.text = args[i + 1];
    }
    i += 2;
  }
}

std::vector<std::u16string> SplitList(std::u16string_view text) {
  std::vector<std::u16string> tokens;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(u',', start);
    if (comma == std::u16string_view::npos) {
      tokens.emplace_back(text.substr(start));
      return tokens;
    }
    tokens.emplace_back(text.substr(start, comma - start));
    start = comma + 1;
  }
}

const std::vector<KeyNameEntry>& KeyNameTable() {
  static const std::vector<KeyNameEntry> table = {
      {u"ALT+F4", true, {0x73}},
      {u"ALT+TAB", true, {0x09}},
      {u"ALT+D", true, {0x44}},
      {u"ALT+ESC", true, {0x1B}},
      {u"ALT+ENTER", true, {0x0D}},
      {u"ALT+HOME", true, {0x24}},
      {u"ALT+SPACE", true, {0x20}},
      {u"CTRL", false, {0xA2, 0xA3}},
      {u"WIN", false, {0x5B, 0x5C}},
      {u"PRINT", false, {0x2C}},
      {u"F1", false, {0x70}},
      {u"F2", false, {0x71}},
      {u"F3", false, {0x72}},
      {u"F4", false, {0x73}},
      {u"F5", false, {0x74}},
      {u"F6", false, {0x75}},
      {u"F7", false, {0x76}},
      {u"F8", false, {0x77}},
      {u"F9", false, {0x78}},
      {u"F10", false, {0x79}},
      {u"F11", false, {0x7A}},
      {u"F12", false, {0x7B}},
      {u"F1~F12", false, {0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x7B}},
  };
  return table;
}

static void FillTextSet(std::u16string& field, std::set<std::u16string>& set) {
  field = ToUpperAscii(field);
  for (auto& token : SplitList(field)) set.insert(std::move(token));
}

void BuildFilterTables(TraySettings& settings) {
  g_setAltKeys.clear();
  g_setKeys.clear();
  g_setAppExceptions.clear();
  g_setAppBlackList.clear();
  g_setExplorerExceptions.clear();

  settings.m_strProtectKeyList = ToUpperAscii(settings.m_strProtectKeyList);
  for (const auto& token : SplitList(settings.m_strProtectKeyList)) {
    for (const auto& entry : KeyNameTable()) {
      if (token != entry.name) continue;
      (entry.alt ? g_setAltKeys : g_setKeys).insert(entry.codes.begin(), entry.codes.end());
    }
  }
  FillTextSet(settings.m_strProtectAppExceptionList, g_setAppExceptions);
  FillTextSet(settings.m_strProtectAppBlackList, g_setAppBlackList);
  FillTextSet(settings.m_strProtectExplorerExceptionList, g_setExplorerExceptions);
}

}  // namespace zv
