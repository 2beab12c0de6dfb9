// Registry snapshots on the real registry: the file sink and loader, the
// registry behind the save walk and the replay, and the two commands.
#include <windows.h>

#include <algorithm>

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

SnapshotKey Hand(HKEY key) { return reinterpret_cast<SnapshotKey>(key); }
HKEY Key(SnapshotKey key) { return reinterpret_cast<HKEY>(key); }

// RegOpenKeyW returns the parent handle itself for an empty subkey; the walk
// and the replay close every handle they get, so an empty path opens a handle
// of its own.
HKEY OpenKey(HKEY parent, const std::u16string& subkey) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, W(subkey), 0, MAXIMUM_ALLOWED, &key) != ERROR_SUCCESS) return nullptr;
  return key;
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
  void Close() override {
    if (file_) FlushFileBuffers(file_.get());
    file_.reset();
  }

 private:
  UniqueFileHandle file_;
};

class RegistrySource : public SnapshotSource {
 public:
  SnapshotKey OpenRoot(RootKey root, const std::u16string& subkey) override {
    HKEY parent = RootHandle(root);
    return parent ? Hand(OpenKey(parent, subkey)) : 0;
  }
  SnapshotKey OpenSubkey(SnapshotKey parent, const std::u16string& name) override {
    return Hand(OpenKey(Key(parent), name));
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
  bool EnumValue(SnapshotKey key, uint32_t index, const SnapshotKeyInfo& info, RawValue& value) override {
    name_.resize(info.maxValueName + 1);
    data_.resize(info.maxValueData + 1);
    DWORD nameLength = static_cast<DWORD>(name_.size());
    DWORD dataSize = static_cast<DWORD>(data_.size());
    DWORD type = 0;
    if (RegEnumValueW(Key(key), index, name_.data(), &nameLength, nullptr, &type, data_.data(), &dataSize) !=
        ERROR_SUCCESS)
      return false;
    value.name = U16(name_.data(), nameLength);
    value.type = type;
    value.data.assign(data_.begin(), data_.begin() + dataSize);
    return true;
  }
  bool EnumSubkey(SnapshotKey key, uint32_t index, std::u16string& name) override {
    wchar_t buffer[256];  // key names have at most 255 characters
    DWORD length = 256;
    if (RegEnumKeyExW(Key(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return false;
    name = U16(buffer, length);
    return true;
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
    if (showMessages_)
      ShowSandboxMessage(owner_, text);
    else
      FILE_LOG(logWARNING) << LogText(text);
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

bool SaveRegistryKey(const std::u16string& keyPath, const std::u16string& filePath) {
  FileSink sink;
  XmlWriter writer(sink);
  writer.SetPath(filePath);
  RegistrySource source;
  return SaveSnapshot(keyPath, source, writer);
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
    reader.SetErrorPresenter([](const std::u16string& text) { FILE_LOG(logWARNING) << LogText(text); });
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

void RemoveUnheld(HKEY key, const SnapshotContents& contents, const CleanPlace& place) {
  const bool values = place.kind != CleanKind::Subkeys;
  for (const auto& name : NamesToRemove(contents, place, EnumNames(key, values))) {
    if (values) {
      RegDeleteValueW(key, name.empty() ? nullptr : W(name));
    } else {
      RegDeleteTreeW(key, W(name));
      RegDeleteKeyW(key, W(name));
    }
    FILE_LOG(logINFO) << "Sandbox removed: " << LogText(place.path) << "\\" << LogText(name);
  }
}

// Removes from the places the exam writes to what the replayed snapshot
// does not hold.
void CleanRestoredPlaces(const SnapshotContents& contents) {
  for (const CleanPlace& place : kCleanPlaces) {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, W(BelowCurrentUser(place.path)), 0, KEY_ALL_ACCESS, key.put()) !=
        ERROR_SUCCESS)
      continue;
    if (place.kind != CleanKind::SubkeyValues) {
      RemoveUnheld(key.get(), contents, place);
      continue;
    }
    for (const auto& sub : EnumNames(key.get(), false)) {
      const std::u16string path = std::u16string(place.path) + u"\\" + sub;
      if (!contents.keys.count(ToUpperAscii(path))) continue;
      UniqueRegKey subkey;
      if (RegOpenKeyExW(key.get(), W(sub), 0, KEY_ALL_ACCESS, subkey.put()) != ERROR_SUCCESS) continue;
      RemoveUnheld(subkey.get(), contents, CleanPlace{place.savedKey, path, CleanKind::SubkeyValues});
    }
  }
}

// Restores both files of a snapshot: each whole replay is followed by the
// clean-up and the file's removal (or its _debug_ copy); a file that could not
// be replayed whole is kept under _failed_. True when both came back whole.
bool RestoreSnapshotPair(HWND owner, const std::u16string& folder, const std::u16string& name, int32_t debugSandbox,
                         bool showMessages, std::array<std::u16string, 2>& sandboxFiles) {
  bool whole = true;
  for (int index = 0; index < 2; ++index) {
    const std::u16string& path = sandboxFiles[index] = SnapshotFilePath(folder, name, index);
    if (!FileExists(path)) {
      FILE_LOG(logINFO) << "Sandbox restore failed: : " << LogText(path);
      whole = false;
      continue;
    }
    SnapshotContents contents;
    const RestoreOutcome outcome = RestoreRegistryFile(owner, path, showMessages, &contents);
    if (outcome == RestoreOutcome::Done) {
      CleanRestoredPlaces(contents);
      FILE_LOG(logINFO) << "Sandbox restore done: " << LogText(path);
      if (debugSandbox == 0)
        DeleteFileW(W(path));
      else
        MoveFileW(W(path), W(DebugSnapshotPath(path)));
    } else {
      whole = false;
      FILE_LOG(logERROR) << "Sandbox restore failed: " << LogText(RestoreFailureText(outcome)) << ": "
                         << LogText(path) << ", kept as " << LogText(FailedSnapshotPath(path));
      MoveFileExW(W(path), W(FailedSnapshotPath(path)), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
  }
  return whole;
}

// The logon entry exists exactly while a snapshot is pending.
void UpdateRecoverEntry(const std::u16string& folder) {
  UniqueRegKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, W(std::u16string(kRecoverRunKey)), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      key.put(), nullptr) != ERROR_SUCCESS)
    return;
  const std::u16string value(kRecoverRunValue);
  if (ListPendingSnapshots(folder).empty()) {
    RegDeleteValueW(key.get(), W(value));
    return;
  }
  wchar_t agent[MAX_PATH * 2];
  const DWORD length = GetModuleFileNameW(nullptr, agent, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return;
  const std::u16string command = RecoverRunCommand(U16(agent, length));
  RegSetValueExW(key.get(), W(value), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                 static_cast<DWORD>((command.size() + 1) * sizeof(char16_t)));
}

}  // namespace

int RegistrySaveCommand(const TraySettings& settings, std::array<std::u16string, 2>& sandboxFiles) {
  const std::u16string folder = DocumentsSubfolderW(kSandboxFolderW);
  if (folder.empty()) {
    // Never a snapshot at the root of the current drive.
    FILE_LOG(logERROR) << "Sandbox backup failed: no Documents folder";
    return 1;
  }
  std::array<std::u16string, 2> temporary;
  bool whole = true;
  for (int index = 0; index < 2; ++index) {
    sandboxFiles[index] = SnapshotFilePath(folder, settings.m_strRegistrySave, index);
    temporary[index] = sandboxFiles[index] + u".tmp";
    if (!SaveRegistryKey(std::u16string(kSnapshotKeys[index]), temporary[index])) {
      FILE_LOG(logERROR) << "Sandbox backup failed: snapshot not whole: " << LogText(sandboxFiles[index]);
      whole = false;
    }
  }
  for (int index = 0; whole && index < 2; ++index) {
    if (!MoveFileExW(W(temporary[index]), W(sandboxFiles[index]), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      FILE_LOG(logERROR) << "Sandbox backup failed: cannot move into place: " << LogText(sandboxFiles[index]);
      whole = false;
    }
  }
  for (const auto& path : temporary) DeleteFileW(W(path));
  if (!whole) return 1;
  for (const auto& path : sandboxFiles) FILE_LOG(logINFO) << "Sandbox backup done: " << LogText(path);
  UpdateRecoverEntry(folder);
  return 0;
}

int RegistryRestoreCommand(HWND owner, const TraySettings& settings, std::array<std::u16string, 2>& sandboxFiles) {
  const std::u16string folder = DocumentsSubfolderW(kSandboxFolderW);
  if (folder.empty()) {
    FILE_LOG(logERROR) << "Sandbox restore failed: no Documents folder";
    return 1;
  }
  const bool whole =
      RestoreSnapshotPair(owner, folder, settings.m_strRegistryRestore, settings.m_nDebugSandbox, true, sandboxFiles);
  UpdateRecoverEntry(folder);
  return whole ? 0 : 1;
}

int RegistryRecoverCommand(const TraySettings& settings) {
  const std::u16string folder = DocumentsSubfolderW(kSandboxFolderW);
  if (folder.empty()) {
    FILE_LOG(logERROR) << "Sandbox recover failed: no Documents folder";
    return 1;
  }
  bool whole = true;
  for (const auto& name : UnheldPendingSnapshots(folder)) {
    FILE_LOG(logINFO) << "Sandbox recover: " << LogText(name);
    std::array<std::u16string, 2> files;
    if (!RestoreSnapshotPair(nullptr, folder, name, settings.m_nDebugSandbox, false, files)) whole = false;
  }
  UpdateRecoverEntry(folder);
  return whole ? 0 : 1;
}

}  // namespace zv
