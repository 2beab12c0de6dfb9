// The snapshot operations on the real registry and files, for the commands
// and the Windows tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "agent/sandbox/snapshot_recovery.h"

namespace zv {

// Caption of the modal messages of a restore.
inline constexpr wchar_t kSandboxMessageTitle[] = L"ZedudeVeri";

// Writes the subtree at keyPath ("HKEY_CURRENT_USER\...") into a new snapshot
// file with its save number (0: none), flushed to the disk; false when the
// file is not a whole snapshot.
bool SaveRegistryKey(const std::u16string& keyPath, const std::u16string& filePath, uint64_t sequence = 0);
// Replays a whole snapshot file into the registry (an incomplete one is not
// replayed at all); parse errors and failures show modal messages owned by
// `owner`. Without showMessages they are only logged, and a file that does not
// parse to its end is not replayed at all. `contents` receives what the
// document holds.
RestoreOutcome RestoreRegistryFile(HWND owner, const std::u16string& filePath, bool showMessages = true,
                                   SnapshotContents* contents = nullptr);

// What becomes of a snapshot file a restore is finished with.
enum class SnapshotFileEnd { Delete, KeepDebug, KeepFailed };
// Deletes the file, or moves it to its "_debug_" name (the next free one) or
// its "_failed_" name, trying again a few times while another program's
// handle refuses it. When that fails, the file must still not look pending:
// a copy goes under the kept name (when there is one) and a "_done_" marker
// beside it says it is finished; false is returned and the failure logged.
bool FinishSnapshotFile(const std::u16string& path, SnapshotFileEnd end);
// Deletes the files "_done_" markers name in the folder, then the markers.
void FinishMarkedSnapshotFiles(const std::u16string& folder);

// Arrow cursor, then a modal OK message box.
void ShowSandboxMessage(HWND owner, const std::u16string& text);
// The whole file, opened shared for reading and writing.
bool LoadWholeFile(const std::u16string& path, std::string& bytes);

}  // namespace zv
