// Registry snapshots on the real registry: the file sink and loader, the
// registry behind the save walk and the replay, and the two commands.
#include <windows.h>

#include <algorithm>
#include <functional>

#include "agent/sandbox/sandbox_commands.h"
#include "agent/sandbox/snapshot_pending_win.h"
#include "agent/sandbox/snapshot_recovery.h"
#include "agent/sandbox/snapshot_walk.h"
#include "agent/sandbox/snapshot_win.h"
#include "common/log/log.h"
#include "common/text/text_util.h"
#include "platform/handles.h"
#include "platform/shell_folders.h"
#include "platform/wide.h"

namespace zv {

namespace {

HKEY RootHandle(RootKey root) {
  switch (root) {
    case RootKey::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RootKey::CurrentUser: return HKEY_CURRENT_USER;
    case RootKey::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RootKey::Users: return HKEY_USERS;
    case RootKey::CurrentConfig: return HKEY_CURRENT_CONFIG;
    default: return nullptr;
  }
}

// A restore, a recovery or a save that fails leaves a trace even when no log
// was asked for (the logon entry passes no log switch): the agent's log is
// opened at the first failure.
void OpenFailureLog() {
  if (Output2FILE::Stream() != nullptr) return;
  const std::string folder = DocumentsSubfolderA(kLogFolderA);
  if (folder.empty() || !OpenLogFile(folder, "app")) return;
  g_bLogEnabled = 1;
  FILE_LOG(logINFO) << "exec option : " << LogText(U16(GetCommandLineW()));
}

SnapshotKey Hand(HKEY key) { return reinterpret_cast<SnapshotKey>(key); }
HKEY Key(SnapshotKey key) { return reinterpret_cast<HKEY>(key); }

// RegOpenKeyW returns the parent handle itself for an empty subkey; the walk
// and the replay close every handle they get, so an empty path opens a handle
// of its own.
HKEY OpenKey(HKEY parent, const std::u16string& subkey, bool* missing = nullptr) {
  HKEY key = nullptr;
  const LONG rc = RegOpenKeyExW(parent, W(subkey), 0, MAXIMUM_ALLOWED, &key);
  if (missing) *missing = rc == ERROR_FILE_NOT_FOUND;
  return rc == ERROR_SUCCESS ? key : nullptr;
}

class FileSink : public ByteSink {
 public:
  ~FileSink() override { Close(); }
  bool Open(const std::u16string& path) override {
    file_.reset(CreateFileW(W(path), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file_);
  }
  bool Write(const void* data, size_t size) override {
    DWORD written = 0;
    return file_ && WriteFile(file_.get(), data, static_cast<DWORD>(size), &written, nullptr) && written == size;
  }
  // Flushed to the disk before it is closed: the caller moves the file into
  // place next, and a whole snapshot must be on the disk before its name is.
  bool Close() override {
    if (!file_) return true;
    const bool flushed = FlushFileBuffers(file_.get()) != FALSE;
    return CloseHandle(file_.release()) != FALSE && flushed;
  }

 private:
  UniqueFileHandle file_;
};

class RegistrySource : public SnapshotSource {
 public:
  SnapshotKey OpenRoot(RootKey root, const std::u16string& subkey, bool& missing) override {
    HKEY parent = RootHandle(root);
    missing = parent == nullptr;
    return parent ? Hand(OpenKey(parent, subkey, &missing)) : 0;
  }
  SnapshotKey OpenSubkey(SnapshotKey parent, const std::u16string& name, bool& missing) override {
    return Hand(OpenKey(Key(parent), name, &missing));
  }
  void Close(SnapshotKey key) override {
    if (key) RegCloseKey(Key(key));
  }
  bool QueryInfo(SnapshotKey key, SnapshotKeyInfo& info) override {
    DWORD subkeys = 0, maxSubkey = 0, values = 0, maxName = 0, maxData = 0;
    if (RegQueryInfoKeyW(Key(key), nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &values, &maxName,
                         &maxData, nullptr, nullptr) != ERROR_SUCCESS)
      return false;
    info = {subkeys, values, maxSubkey, maxName, maxData};
    return true;
  }
  // A value that another program made longer since the key's information
  // was read answers "more data": read again with the key's new sizes.
  EnumStep EnumValue(SnapshotKey key, uint32_t index, const SnapshotKeyInfo& info, RawValue& value) override {
    size_t nameSize = info.maxValueName + 1;
    size_t dataSize = info.maxValueData + 1;
    for (int attempt = 0; attempt < 4; ++attempt) {
      name_.resize(std::max(name_.size(), nameSize));
      data_.resize(std::max(data_.size(), dataSize));
      DWORD nameLength = static_cast<DWORD>(name_.size());
      DWORD size = static_cast<DWORD>(data_.size());
      DWORD type = 0;
      const LONG rc = RegEnumValueW(Key(key), index, name_.data(), &nameLength, nullptr, &type, data_.data(), &size);
      if (rc == ERROR_SUCCESS) {
        value.name = U16(name_.data(), nameLength);
        value.type = type;
        value.data.assign(data_.begin(), data_.begin() + size);
        return EnumStep::Item;
      }
      if (rc != ERROR_MORE_DATA) return EnumStepOfError(static_cast<uint32_t>(rc));
      DWORD maxName = 0, maxData = 0;
      if (RegQueryInfoKeyW(Key(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                           nullptr, nullptr) != ERROR_SUCCESS)
        return EnumStep::Failed;
      nameSize = std::max<size_t>(name_.size() * 2, maxName + 1);
      dataSize = std::max<size_t>({data_.size() * 2, static_cast<size_t>(maxData) + 1, static_cast<size_t>(size)});
    }
    return EnumStep::Failed;
  }
  EnumStep EnumSubkey(SnapshotKey key, uint32_t index, std::u16string& name) override {
    wchar_t buffer[256];  // key names have at most 255 characters
    DWORD length = 256;
    const LONG rc = RegEnumKeyExW(Key(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return EnumStepOfError(static_cast<uint32_t>(rc));
    name = U16(buffer, length);
    return EnumStep::Item;
  }
  bool EscapePressed() override {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE;
  }

 private:
  std::wstring name_;
  std::vector<BYTE> data_;
};

class RegistryTarget : public SnapshotTarget {
 public:
  RegistryTarget(HWND owner, bool showMessages) : owner_(owner), showMessages_(showMessages) {}
  SnapshotKey OpenKey(RootKey root, const std::u16string& path) override {
    HKEY parent = RootHandle(root);
    return parent ? Hand(zv::OpenKey(parent, path)) : 0;
  }
  SnapshotKey CreateKey(RootKey root, const std::u16string& path) override {
    HKEY parent = RootHandle(root);
    HKEY key = nullptr;
    if (!parent || RegCreateKeyExW(parent, W(path), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
                       ERROR_SUCCESS)
      return 0;
    return Hand(key);
  }
  void Close(SnapshotKey key) override {
    if (key) RegCloseKey(Key(key));
  }
  bool SetValue(SnapshotKey key, bool isDefault, const std::u16string& name, uint32_t type,
                const std::vector<uint8_t>& data) override {
    return RegSetValueExW(Key(key), isDefault ? nullptr : W(name), 0, type, data.data(),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  }
  // One call for the usual value (the buffer keeps its size between calls),
  // a second one only for a value larger than any before.
  bool QueryValue(SnapshotKey key, bool isDefault, const std::u16string& name, RawValue& value) override {
    const wchar_t* valueName = isDefault ? nullptr : W(name);
    value.data.resize(std::max<size_t>(value.data.capacity(), 512));
    DWORD type = 0, size = static_cast<DWORD>(value.data.size());
    LONG rc = RegQueryValueExW(Key(key), valueName, nullptr, &type, value.data.data(), &size);
    if (rc == ERROR_MORE_DATA) {
      value.data.resize(size);
      rc = RegQueryValueExW(Key(key), valueName, nullptr, &type, value.data.data(), &size);
    }
    if (rc != ERROR_SUCCESS) return false;
    value.data.resize(size);
    value.type = type;
    return true;
  }
  void ShowMessage(const std::u16string& text) override {
    if (showMessages_) {
      ShowSandboxMessage(owner_, text);
    } else {
      OpenFailureLog();
      FILE_LOG(logWARNING) << LogText(text);
    }
  }

 private:
  HWND owner_;
  bool showMessages_;
};

}  // namespace

void ShowSandboxMessage(HWND owner, const std::u16string& text) {
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  MessageBoxW(owner, W(text), kSandboxMessageTitle, MB_OK | MB_ICONEXCLAMATION);
}

bool LoadWholeFile(const std::u16string& path, std::string& bytes) {
  UniqueFileHandle file(CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x40000000) return false;
  bytes.resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got, nullptr)) return false;
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return true;
}

bool SaveRegistryKey(const std::u16string& keyPath, const std::u16string& filePath, uint64_t sequence) {
  FileSink sink;
  XmlWriter writer(sink);
  writer.SetPath(filePath);
  RegistrySource source;
  return SaveSnapshot(keyPath, source, writer, sequence);
}

RestoreOutcome RestoreRegistryFile(HWND owner, const std::u16string& filePath, bool showMessages,
                                   SnapshotContents* contents) {
  std::string bytes;
  if (!LoadWholeFile(filePath, bytes)) return RestoreOutcome::Unreadable;
  if (!IsCompleteSnapshot(bytes)) return RestoreOutcome::Incomplete;
  if (!showMessages) {
    // Nobody is there to be told about a half-applied file: one that does not
    // parse to its end is not replayed at all.
    XmlReader check;
    check.SetLoader([&bytes](const std::u16string&, std::string& out) {
      out = bytes;
      return true;
    });
    check.SetPath(filePath);
    while (check.Read()) {
    }
    if (!check.ErrorText().empty()) {
      OpenFailureLog();
      FILE_LOG(logWARNING) << LogText(check.ErrorText());
      return RestoreOutcome::ParseError;
    }
  }
  XmlReader reader;
  // The bytes just checked are the ones replayed.
  reader.SetLoader([&bytes](const std::u16string&, std::string& out) {
    out.swap(bytes);
    return true;
  });
  if (showMessages)
    reader.SetErrorPresenter([owner](const std::u16string& text) { ShowSandboxMessage(owner, text); });
  else
    reader.SetErrorPresenter([](const std::u16string& text) {
      OpenFailureLog();
      FILE_LOG(logWARNING) << LogText(text);
    });
  reader.SetPath(filePath);
  RegistryTarget target(owner, showMessages);
  return RestoreSnapshot(reader, target, contents);
}

namespace {

bool FileExists(const std::u16string& path) { return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

// "HKEY_CURRENT_USER\rest" -> rest (every clean place is below HKCU).
std::u16string BelowCurrentUser(std::u16string_view path) {
  return std::u16string(path.substr(path.find(u'\\') + 1));
}

// The names of a key's values or subkeys; a failing enumeration ends the list
// (what is not listed is not removed).
std::vector<std::u16string> EnumNames(HKEY key, bool values) {
  std::vector<std::u16string> names;
  std::vector<wchar_t> buffer(16384);
  for (DWORD i = 0;; ++i) {
    DWORD length = static_cast<DWORD>(buffer.size());
    const LONG rc = values ? RegEnumValueW(key, i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr)
                           : RegEnumKeyExW(key, i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    names.push_back(U16(buffer.data(), length));
  }
  return names;
}

// Removes at `key` (the key at `path`) and below it what the clean-up of
// `place` plans.
void CleanKey(HKEY key, const SnapshotContents& contents, const CleanPlace& place, const std::u16string& path) {
  const CleanStep step = PlanClean(contents, place, path, EnumNames(key, true), EnumNames(key, false));
  for (const auto& name : step.values) {
    RegDeleteValueW(key, name.empty() ? nullptr : W(name));
    FILE_LOG(logINFO) << "Sandbox removed: " << LogText(path) << "\\" << LogText(name);
  }
  for (const auto& name : step.subkeys) {
    RegDeleteTreeW(key, W(name));
    RegDeleteKeyW(key, W(name));
    FILE_LOG(logINFO) << "Sandbox removed: " << LogText(path) << "\\" << LogText(name);
  }
  for (const auto& name : step.descend) {
    UniqueRegKey subkey;
    if (RegOpenKeyExW(key, W(name), 0, KEY_ALL_ACCESS, subkey.put()) == ERROR_SUCCESS)
      CleanKey(subkey.get(), contents, place, path + u"\\" + name);
  }
}

// Removes from the places the exam writes to what the replayed snapshot
// does not hold.
void CleanRestoredPlaces(const SnapshotContents& contents) {
  for (const CleanPlace& place : kCleanPlaces) {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, W(BelowCurrentUser(place.path)), 0, KEY_ALL_ACCESS, key.put()) ==
        ERROR_SUCCESS)
      CleanKey(key.get(), contents, place, std::u16string(place.path));
  }
}

// Another program's open handle (a scanner, an indexer) refuses a delete or
// a move for a moment: a few more tries.
bool WithRetries(const std::function<bool()>& operation) {
  for (int attempt = 0;; ++attempt) {
    if (operation()) return true;
    const DWORD error = GetLastError();
    if (attempt >= 4 || (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION && error != ERROR_ACCESS_DENIED))
      return false;
    Sleep(100);
  }
}

}  // namespace

bool FinishSnapshotFile(const std::u16string& path, SnapshotFileEnd end) {
  std::u16string kept;
  bool done = false;
  if (end == SnapshotFileEnd::Delete) {
    done = WithRetries([&] { return DeleteFileW(W(path)) != FALSE; });
  } else if (end == SnapshotFileEnd::KeepFailed) {
    kept = FailedSnapshotPath(path);
    done = WithRetries([&] {
      return MoveFileExW(W(path), W(kept), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    });
  } else {
    // A debug copy of an earlier restore may hold the name: the next free one.
    for (int attempt = 1; attempt < 100 && !done; ++attempt) {
      kept = DebugSnapshotPath(path, attempt);
      if (FileExists(kept)) continue;
      done = WithRetries([&] { return MoveFileExW(W(path), W(kept), MOVEFILE_WRITE_THROUGH) != FALSE; });
      if (!done && GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) break;
    }
  }
  if (done) return true;
  const DWORD error = GetLastError();
  OpenFailureLog();
  FILE_LOG(logERROR) << "Sandbox file not removed (error " << error << "): " << LogText(path);
  // The file stays where it is, but must not look pending any more: a copy
  // under its kept name, and a marker that says it is finished.
  if (!kept.empty() && CopyFileW(W(path), W(kept), FALSE)) {
    FILE_LOG(logINFO) << "Sandbox file copied to " << LogText(kept);
  }
  const std::u16string marker = DoneSnapshotPath(path);
  UniqueFileHandle file(
      CreateFileW(W(marker), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file && FlushFileBuffers(file.get())) {
    FILE_LOG(logINFO) << "Sandbox file marked finished: " << LogText(marker);
  } else {
    FILE_LOG(logERROR) << "Sandbox file still looks pending, no marker: " << LogText(marker);
  }
  return false;
}

void FinishMarkedSnapshotFiles(const std::u16string& folder) {
  for (const auto& file : FilesMarkedDone(SandboxFileNames(folder))) {
    const std::u16string path = folder + u"\\" + file;
    if (DeleteFileW(W(path)) || GetLastError() == ERROR_FILE_NOT_FOUND) DeleteFileW(W(DoneSnapshotPath(path)));
  }
}

namespace {

// Restores both files of a snapshot. Half a pair is never replayed: it is
// kept as failed. Each file replayed whole is followed by the clean-up; then
// each is deleted (or kept as a _debug_ copy), or, not replayed whole, kept
// under _failed_. True when both came back whole and are finished with.
bool RestoreSnapshotPair(HWND owner, const std::u16string& folder, const std::u16string& name, int32_t debugSandbox,
                         bool showMessages, std::array<std::u16string, 2>& sandboxFiles) {
  bool present[2];
  for (int index = 0; index < 2; ++index) {
    sandboxFiles[index] = SnapshotFilePath(folder, name, index);
    // A file a "_done_" marker names is finished with, though still there.
    present[index] = FileExists(sandboxFiles[index]) && !FileExists(DoneSnapshotPath(sandboxFiles[index]));
  }
  if (!present[0] || !present[1]) {
    OpenFailureLog();
    for (int index = 0; index < 2; ++index) {
      const std::u16string& path = sandboxFiles[index];
      if (!present[index]) {
        FILE_LOG(logINFO) << "Sandbox restore failed: : " << LogText(path);
        continue;
      }
      FILE_LOG(logERROR) << "Sandbox restore failed: half a snapshot, not replayed: " << LogText(path) << ", kept as "
                         << LogText(FailedSnapshotPath(path));
      FinishSnapshotFile(path, SnapshotFileEnd::KeepFailed);
    }
    return false;
  }
  RestoreOutcome outcome[2];
  for (int index = 0; index < 2; ++index) {
    const std::u16string& path = sandboxFiles[index];
    SnapshotContents contents;
    outcome[index] = RestoreRegistryFile(owner, path, showMessages, &contents);
    if (outcome[index] == RestoreOutcome::Done) {
      CleanRestoredPlaces(contents);
      FILE_LOG(logINFO) << "Sandbox restore done: " << LogText(path);
    } else {
      OpenFailureLog();
      FILE_LOG(logERROR) << "Sandbox restore failed: " << LogText(RestoreFailureText(outcome[index])) << ": "
                         << LogText(path) << ", kept as " << LogText(FailedSnapshotPath(path));
    }
  }
  bool whole = true;
  for (int index = 0; index < 2; ++index) {
    const bool done = outcome[index] == RestoreOutcome::Done;
    const SnapshotFileEnd end = !done                ? SnapshotFileEnd::KeepFailed
                                : debugSandbox != 0 ? SnapshotFileEnd::KeepDebug
                                                    : SnapshotFileEnd::Delete;
    if (!FinishSnapshotFile(sandboxFiles[index], end) || !done) whole = false;
  }
  return whole;
}

// Puts aside every half pair nobody holds (other than `own`): never replayed.
void KeepHalvesAsFailed(const std::u16string& folder, const std::vector<PendingSnapshot>& pending,
                        const std::u16string& own) {
  for (const auto& snapshot : pending) {
    if (snapshot.whole || (snapshot.held && !EqualsIgnoreCaseAscii(snapshot.name, own))) continue;
    std::array<std::u16string, 2> files;
    RestoreSnapshotPair(nullptr, folder, snapshot.name, 0, false, files);
  }
}

// The logon entry exists exactly while a snapshot is pending. False (logged)
// when it could not be brought into that state.
bool UpdateRecoverEntry(const std::u16string& folder) {
  const bool needed = !ListPendingSnapshots(folder).empty();
  UniqueRegKey key;
  LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, W(std::u16string(kRecoverRunKey)), 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, key.put(), nullptr);
  const std::u16string value(kRecoverRunValue);
  if (rc == ERROR_SUCCESS && !needed) {
    rc = RegDeleteValueW(key.get(), W(value));
    if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
  } else if (rc == ERROR_SUCCESS) {
    wchar_t agent[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameW(nullptr, agent, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2) {
      rc = length == 0 ? static_cast<LONG>(GetLastError()) : ERROR_INSUFFICIENT_BUFFER;
    } else {
      const std::u16string command = RecoverRunCommand(U16(agent, length));
      rc = RegSetValueExW(key.get(), W(value), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                          static_cast<DWORD>((command.size() + 1) * sizeof(char16_t)));
    }
  }
  if (rc == ERROR_SUCCESS) return true;
  OpenFailureLog();
  FILE_LOG(logERROR) << "Sandbox logon entry not " << (needed ? "written" : "removed") << " (error " << rc << ")";
  return false;
}

// Restores `order`, newest saved first; `own` (may be empty) with message
// boxes owned by `owner` and its files in `ownFiles`, the others without.
bool RestoreInOrder(HWND owner, const std::u16string& folder, const std::vector<std::u16string>& order,
                    const std::u16string& own, int32_t debugSandbox, std::array<std::u16string, 2>& ownFiles) {
  bool whole = true;
  for (const auto& name : order) {
    const bool isOwn = !own.empty() && EqualsIgnoreCaseAscii(name, own);
    if (!isOwn) {
      FILE_LOG(logINFO) << "Sandbox recover: " << LogText(name);
    }
    std::array<std::u16string, 2> files;
    if (!RestoreSnapshotPair(isOwn ? owner : nullptr, folder, name, debugSandbox, isOwn, isOwn ? ownFiles : files))
      whole = false;
  }
  return whole;
}

}  // namespace

int RegistrySaveCommand(const TraySettings& settings, std::array<std::u16string, 2>& sandboxFiles) {
  const std::u16string folder = DocumentsSubfolderW(kSandboxFolderW);
  if (folder.empty()) {
    // Never a snapshot at the root of the current drive.
    OpenFailureLog();
    FILE_LOG(logERROR) << "Sandbox backup failed: no Documents folder";
    return 1;
  }
  // One more than every pending snapshot: the newest saved.
  uint64_t sequence = 1;
  for (const auto& snapshot : PendingSnapshots(folder)) sequence = std::max(sequence, snapshot.sequence + 1);
  std::array<std::u16string, 2> temporary;
  bool whole = true;
  for (int index = 0; index < 2; ++index) {
    sandboxFiles[index] = SnapshotFilePath(folder, settings.m_strRegistrySave, index);
    temporary[index] = sandboxFiles[index] + u".tmp";
    if (!SaveRegistryKey(std::u16string(kSnapshotKeys[index]), temporary[index], sequence)) {
      OpenFailureLog();
      FILE_LOG(logERROR) << "Sandbox backup failed: snapshot not whole: " << LogText(sandboxFiles[index]);
      whole = false;
    }
  }
  // A "_done_" marker left under one of these names would hide the new file
  // (and have a later restore delete it).
  for (int index = 0; whole && index < 2; ++index) {
    const std::u16string marker = DoneSnapshotPath(sandboxFiles[index]);
    if (!DeleteFileW(W(marker)) && GetLastError() != ERROR_FILE_NOT_FOUND) {
      OpenFailureLog();
      FILE_LOG(logERROR) << "Sandbox backup failed: cannot remove " << LogText(marker);
      whole = false;
    }
  }
  // Both files whole on the disk, then moved into place; a pair that cannot
  // be moved whole is taken back (a pair missing a file is never replayed).
  for (int index = 0; whole && index < 2; ++index) {
    if (MoveFileExW(W(temporary[index]), W(sandboxFiles[index]), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      continue;
    OpenFailureLog();
    FILE_LOG(logERROR) << "Sandbox backup failed: cannot move into place (error " << GetLastError()
                       << "): " << LogText(sandboxFiles[index]);
    whole = false;
    if (index == 1 && !DeleteFileW(W(sandboxFiles[0]))) {
      FILE_LOG(logERROR) << "Sandbox backup: half a pair left behind (error " << GetLastError()
                         << "), never replayed: " << LogText(sandboxFiles[0]);
    }
  }
  for (const auto& path : temporary) DeleteFileW(W(path));
  if (!whole) return 1;
  for (const auto& path : sandboxFiles) FILE_LOG(logINFO) << "Sandbox backup done: " << LogText(path);
  // Without the logon entry the snapshot is still whole and restored by its
  // page or recovered by the next one: the failure is logged, not returned.
  UpdateRecoverEntry(folder);
  return 0;
}

int RegistryRestoreCommand(HWND owner, const TraySettings& settings, std::array<std::u16string, 2>& sandboxFiles) {
  const std::u16string folder = DocumentsSubfolderW(kSandboxFolderW);
  if (folder.empty()) {
    OpenFailureLog();
    FILE_LOG(logERROR) << "Sandbox restore failed: no Documents folder";
    return 1;
  }
  const std::u16string& own = settings.m_strRegistryRestore;
  FinishMarkedSnapshotFiles(folder);
  const std::vector<PendingSnapshot> pending = PendingSnapshots(folder);
  KeepHalvesAsFailed(folder, pending, own);
  const auto ownSnapshot = std::find_if(pending.begin(), pending.end(), [&](const PendingSnapshot& snapshot) {
    return EqualsIgnoreCaseAscii(snapshot.name, own);
  });
  const std::vector<std::u16string> order = RecoveryOrder(pending, own);
  int code = 0;
  if (ownSnapshot == pending.end()) {
    // Nothing to replay: its missing files are logged.
    RestoreSnapshotPair(owner, folder, own, settings.m_nDebugSandbox, true, sandboxFiles);
    code = 1;
  } else if (!ownSnapshot->whole) {
    // Half a pair, put aside above.
    for (int index = 0; index < 2; ++index) sandboxFiles[index] = SnapshotFilePath(folder, own, index);
    code = 1;
  } else if (order.empty()) {
    // A newer snapshot is held by a live page: restoring this one now would
    // be undone by that page's restore. It stays pending; that page restores
    // it after its own.
    for (int index = 0; index < 2; ++index) sandboxFiles[index] = SnapshotFilePath(folder, own, index);
    FILE_LOG(logINFO) << "Sandbox restore left pending, a newer snapshot is in use: " << LogText(own);
    code = 2;
  } else if (!RestoreInOrder(owner, folder, order, own, settings.m_nDebugSandbox, sandboxFiles)) {
    code = 1;
  }
  if (!UpdateRecoverEntry(folder)) code = 1;
  return code;
}

int RegistryRecoverCommand(const TraySettings& settings) {
  const std::u16string folder = DocumentsSubfolderW(kSandboxFolderW);
  if (folder.empty()) {
    OpenFailureLog();
    FILE_LOG(logERROR) << "Sandbox recover failed: no Documents folder";
    return 1;
  }
  FinishMarkedSnapshotFiles(folder);
  const std::vector<PendingSnapshot> pending = PendingSnapshots(folder);
  KeepHalvesAsFailed(folder, pending, u"");
  bool whole = std::all_of(pending.begin(), pending.end(), [](const PendingSnapshot& p) { return p.whole || p.held; });
  std::array<std::u16string, 2> unused;
  if (!RestoreInOrder(nullptr, folder, RecoveryOrder(pending), u"", settings.m_nDebugSandbox, unused)) whole = false;
  if (!UpdateRecoverEntry(folder)) whole = false;
  return whole ? 0 : 1;
}

void ApplySessionBrowserSettings(std::vector<std::u16string>& extSettingKeys) {
  const std::u16string folder = DocumentsSubfolderW(kSandboxFolderW);
  if (folder.empty() || !WholeSnapshotInUse(folder)) {
    FILE_LOG(logINFO) << "ChangeRegistryIE skipped: no snapshot of a live page to undo it";
    return;
  }
  ApplyBrowserSecuritySettings(extSettingKeys);
}

}  // namespace zv
