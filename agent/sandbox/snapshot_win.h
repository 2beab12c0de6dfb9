// The snapshot operations on the real registry and files, for the commands
// and the Windows tests.
#pragma once

#include <windows.h>

#include <string>

namespace zv {

// Caption of the modal messages of a restore.
inline constexpr wchar_t kSandboxMessageTitle[] = L"ZedudeVeri";

// Writes the subtree at keyPath ("HKEY_CURRENT_USER\...") into a new snapshot
// file; always true.
bool SaveRegistryKey(const std::u16string& keyPath, const std::u16string& filePath);
// Replays a snapshot file into the registry; parse errors and failures show
// modal messages owned by `owner`. Always true.
bool RestoreRegistryFile(HWND owner, const std::u16string& filePath);

// Arrow cursor, then a modal OK message box.
void ShowSandboxMessage(HWND owner, const std::u16string& text);
// The whole file, opened shared for reading and writing.
bool LoadWholeFile(const std::u16string& path, std::string& bytes);

}  // namespace zv
