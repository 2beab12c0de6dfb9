#include "agent/sandbox/snapshot_pending_win.h"

#include "agent/sandbox/snapshot_walk.h"
#include "platform/handles.h"
#include "platform/wide.h"

namespace zv {

namespace {

// Up to `size` bytes of the file, from its start or from its end; `whole`
// tells whether they are the whole file.
bool ReadFilePart(const std::u16string& path, size_t size, bool fromEnd, std::string& bytes, bool& whole) {
  const UniqueFileHandle file(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(file.get(), &length)) return false;
  const uint64_t total = static_cast<uint64_t>(length.QuadPart);
  if (total % 2 != 0) return false;  // never a snapshot: UTF-16 throughout
  const uint64_t part = total < size ? total : size;
  whole = part == total;
  if (fromEnd) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(total - part);
    if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) return false;
  }
  bytes.assign(static_cast<size_t>(part), '\0');
  DWORD got = 0;
  if (!bytes.empty() && !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
    return false;
  bytes.resize(got);
  return true;
}

uint64_t SequenceOfFile(const std::u16string& path) {
  std::string head;
  bool whole = false;
  return ReadFilePart(path, 512, false, head, whole) ? SnapshotSequence(head) : 0;
}

bool Exists(const std::u16string& path) { return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

std::vector<std::u16string> SandboxFileNames(const std::u16string& folder) {
  std::vector<std::u16string> files;
  WIN32_FIND_DATAW data;
  const UniqueFind find(FindFirstFileW(W(folder + u"\\*"), &data));
  if (!find) return files;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(U16(data.cFileName));
  } while (FindNextFileW(find.get(), &data));
  return files;
}

std::vector<std::u16string> ListPendingSnapshots(const std::u16string& folder) {
  return PendingSnapshotNames(SandboxFileNames(folder));
}

std::vector<PendingSnapshot> PendingSnapshots(const std::u16string& folder) {
  std::vector<PendingSnapshot> out;
  for (const auto& pair : PendingSnapshotPairs(SandboxFileNames(folder))) {
    PendingSnapshot snapshot;
    snapshot.name = pair.name;
    snapshot.whole = pair.Whole();
    snapshot.held = SnapshotMarkerHeld(pair.name);
    // Both files carry the same number; the first one present tells it.
    snapshot.sequence = SequenceOfFile(SnapshotFilePath(folder, pair.name, pair.files[0] ? 0 : 1));
    out.push_back(std::move(snapshot));
  }
  return out;
}

bool SnapshotMarkerHeld(const std::u16string& name) {
  UniqueKernelHandle marker(OpenMutexW(SYNCHRONIZE, FALSE, W(SnapshotMarkerName(name))));
  return static_cast<bool>(marker);
}

UniqueKernelHandle ClaimSnapshotMarker(const std::u16string& name) {
  UniqueKernelHandle marker(CreateMutexW(nullptr, FALSE, W(SnapshotMarkerName(name))));
  if (marker && GetLastError() == ERROR_ALREADY_EXISTS) marker.reset();
  return marker;
}

bool SnapshotFilesExist(const std::u16string& folder, const std::u16string& name) {
  for (int index = 0; index < 2; ++index) {
    const std::u16string path = SnapshotFilePath(folder, name, index);
    if (Exists(path) || Exists(FailedSnapshotPath(path)) || Exists(DoneSnapshotPath(path))) return true;
  }
  return false;
}

bool SnapshotPairWhole(const std::u16string& folder, const std::u16string& name) {
  for (int index = 0; index < 2; ++index) {
    std::string tail;
    bool whole = false;
    if (!ReadFilePart(SnapshotFilePath(folder, name, index), 64, true, tail, whole) ||
        !IsCompleteSnapshotTail(tail, whole))
      return false;
  }
  return true;
}

bool WholeSnapshotInUse(const std::u16string& folder) {
  for (const auto& snapshot : PendingSnapshots(folder))
    if (snapshot.held && snapshot.whole && SnapshotPairWhole(folder, snapshot.name)) return true;
  return false;
}

}  // namespace zv
