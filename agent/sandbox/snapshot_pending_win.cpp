#include "agent/sandbox/snapshot_pending_win.h"

#include "agent/sandbox/snapshot_recovery.h"
#include "agent/sandbox/snapshot_walk.h"
#include "platform/handles.h"
#include "platform/wide.h"

namespace zv {

std::vector<std::u16string> ListPendingSnapshots(const std::u16string& folder) {
  std::vector<std::u16string> files;
  WIN32_FIND_DATAW data;
  {
    const UniqueFind find(FindFirstFileW(W(folder + u"\\*.xml"), &data));
    if (!find) return {};
    do {
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(U16(data.cFileName));
    } while (FindNextFileW(find.get(), &data));
  }
  return PendingSnapshotNames(files);
}

bool SnapshotMarkerHeld(const std::u16string& name) {
  UniqueKernelHandle marker(OpenMutexW(SYNCHRONIZE, FALSE, W(SnapshotMarkerName(name))));
  return static_cast<bool>(marker);
}

std::vector<std::u16string> UnheldPendingSnapshots(const std::u16string& folder) {
  std::vector<std::u16string> out;
  for (auto& name : ListPendingSnapshots(folder))
    if (!SnapshotMarkerHeld(name)) out.push_back(std::move(name));
  return out;
}

UniqueKernelHandle ClaimSnapshotMarker(const std::u16string& name) {
  UniqueKernelHandle marker(CreateMutexW(nullptr, FALSE, W(SnapshotMarkerName(name))));
  if (marker && GetLastError() == ERROR_ALREADY_EXISTS) marker.reset();
  return marker;
}

bool SnapshotFilesExist(const std::u16string& folder, const std::u16string& name) {
  for (int index = 0; index < 2; ++index) {
    const std::u16string path = SnapshotFilePath(folder, name, index);
    if (GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES ||
        GetFileAttributesW(W(FailedSnapshotPath(path))) != INVALID_FILE_ATTRIBUTES)
      return true;
  }
  return false;
}

}  // namespace zv
