// Pending snapshots on the real folder and their in-use markers: shared by
// the agent (recovery, the logon entry) and the control (names, markers).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/handles.h"

namespace zv {

// Every pending snapshot name in the sandbox folder, newest first.
std::vector<std::u16string> ListPendingSnapshots(const std::u16string& folder);
// True while some live process holds the marker of the snapshot.
bool SnapshotMarkerHeld(const std::u16string& name);
// The pending snapshots nobody holds, newest first.
std::vector<std::u16string> UnheldPendingSnapshots(const std::u16string& folder);
// Creates the marker of a snapshot; empty when it exists already.
UniqueKernelHandle ClaimSnapshotMarker(const std::u16string& name);
// Either file of the pair exists (as pending or kept as failed).
bool SnapshotFilesExist(const std::u16string& folder, const std::u16string& name);

}  // namespace zv
