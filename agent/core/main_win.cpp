// ZedudeVeri: reads its options, prepares its folders and log, builds its
// lookup sets and runs its one-shot command.
#include <windows.h>

#include <array>

#include "agent/core/options_win.h"
#include "common/text/text_util.h"
#include "agent/guard/app_guard.h"
#include "agent/sandbox/sandbox_commands.h"
#include "common/log/log.h"
#include "platform/shell_folders.h"
#include "platform/wide.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  zv::TraySettings settings;
  if (!zv::ParseCommandLine(settings)) return 0;

  for (const char16_t* sub : {zv::kLogFolderW, zv::kSandboxFolderW, zv::kDocFolderW})
    zv::CreateFolderTree(zv::DocumentsSubfolderW(sub));

  if (settings.m_nDebugLog != 0) {
    OpenLogFile(zv::DocumentsSubfolderA(zv::kLogFolderA), "app");
    g_bLogEnabled = settings.m_nDebugLog;
  }
  FILE_LOG(logINFO) << "ZedudeVeri started";
  FILE_LOG(logINFO) << "exec option : " << LogText(zv::U16(GetCommandLineW()));

  zv::BuildFilterTables(settings);

  std::array<std::u16string, 2> sandboxFiles;
  std::vector<std::u16string> extSettingKeys;
  if (settings.m_nQueryCheatApp != 0) _exit(zv::CountCheatApps());
  if (!settings.m_strTrustzoneAddIP.empty()) {
    for (const auto& token : zv::SplitList(zv::ToUpperAsciiInPlace(settings.m_strTrustzoneAddIP)))
      zv::AddTrustedRange(token);
    _exit(0);
  }
  if (!settings.m_strTrustzoneAddDomain.empty()) {
    for (const auto& token : zv::SplitList(zv::ToUpperAsciiInPlace(settings.m_strTrustzoneAddDomain)))
      zv::AddTrustedDomain(token);
    _exit(0);
  }
  if (!settings.m_strTrustzoneQueryIP.empty()) _exit(zv::QueryTrustedRange(settings.m_strTrustzoneQueryIP));
  if (!settings.m_strTrustzoneQueryDomain.empty()) _exit(zv::QueryTrustedDomain(settings.m_strTrustzoneQueryDomain));
  if (!settings.m_strRegistrySave.empty()) {
    zv::RegistrySaveCommand(settings, sandboxFiles);
    _exit(0);
  }
  if (!settings.m_strRegistryRestore.empty()) {
    zv::RegistryRestoreCommand(nullptr, settings, sandboxFiles);
    _exit(0);
  }
  if (settings.m_nRegistrySetLoose != 0) {
    zv::ApplyBrowserSecuritySettings(extSettingKeys);
    _exit(0);
  }
  return 0;
}
