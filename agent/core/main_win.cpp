// ZedudeVeri: reads its options, prepares its folders and log, builds its
// lookup sets and ends.
#include <windows.h>

#include "agent/core/options_win.h"
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
  return 0;
}
