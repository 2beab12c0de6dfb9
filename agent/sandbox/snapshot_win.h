// The snapshot operations on the real registry and files, for the commands
// and the Windows tests.
#pragma once

#include <windows.h>

#include <string>

#include "agent/sandbox/snapshot_recovery.h"

namespace zv {

// Caption of the modal messages of a restore.
inline constexpr wchar_t kSandboxMessageTitle[] = L"ZedudeVeri";

// Writes the subtree at keyPath ("HKEY_CURRENT_USER\...") into a new snapshot
// file, flushed to the disk; false when the file is not a whole snapshot.
bool SaveRegistryKey(const std::u16string& keyPath, const std::u16string& filePath);
// Replays a whole snapshot file into the registry (an incomplete one is not
// replayed at all); parse errors and failures show modal messages owned by
// `owner`. Without showMessages they are only logged, and a file that does not
// parse to its end is not replayed at all. `contents` receives what the
// document holds.
RestoreOutcome RestoreRegistryFile(HWND owner, const std::u16string& filePath, bool showMessages = true,
                                   SnapshotContents* contents = nullptr);

// Arrow cursor, then a modal OK message box.
void ShowSandboxMessage(HWND owner, const std::u16string& text);
// The whole file, opened shared for reading and writing.
bool LoadWholeFile(const std::u16string& path, std::string& bytes);

}  // namespace zv
