// Pending snapshots on the real folder and their in-use markers: shared by
// the agent (recovery, the session's settings step, the logon entry) and the
// control (names, markers, the check of its own snapshot).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "agent/sandbox/snapshot_recovery.h"
#include "platform/handles.h"

namespace zv {

// Every file name in the sandbox folder.
std::vector<std::u16string> SandboxFileNames(const std::u16string& folder);
// Every pending snapshot name in the sandbox folder (whole pairs and halves).
std::vector<std::u16string> ListPendingSnapshots(const std::u16string& folder);
// The pending snapshots with their save numbers, markers and halves.
std::vector<PendingSnapshot> PendingSnapshots(const std::u16string& folder);
// True while some live process holds the marker of the snapshot.
bool SnapshotMarkerHeld(const std::u16string& name);
// Creates the marker of a snapshot; empty when it exists already.
UniqueKernelHandle ClaimSnapshotMarker(const std::u16string& name);
// Either file of the pair exists (as pending, kept as failed, or marked done):
// the name is taken.
bool SnapshotFilesExist(const std::u16string& folder, const std::u16string& name);
// Both files of the pair are there and end as a whole snapshot does.
bool SnapshotPairWhole(const std::u16string& folder, const std::u16string& name);
// A live control holds a whole pending snapshot: whatever is loosened now is
// undone when the snapshots are restored.
bool WholeSnapshotInUse(const std::u16string& folder);

}  // namespace zv
