// Registry snapshots on the real registry: the file sink and loader, the
// registry behind the save walk and the replay, and the two commands.
#include <windows.h>

#include "agent/sandbox/sandbox_commands.h"
#include "agent/sandbox/snapshot_walk.h"
#include "agent/sandbox/snapshot_win.h"
#include "common/log/log.h"
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
  void Close() override { file_.reset(); }

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
  explicit RegistryTarget(HWND owner) : owner_(owner) {}
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
  void ShowMessage(const std::u16string& text) override { ShowSandboxMessage(owner_, text); }

 private:
  HWND owner_;
};

bool FileExists(const std::u16string& path) { return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

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
  SaveSnapshot(keyPath, source, writer);
  return true;
}

bool RestoreRegistryFile(HWND owner, const std::u16string& filePath) {
  XmlReader reader;
  reader.SetLoader(LoadWholeFile);
  reader.SetErrorPresenter([owner](const std::u16string& text) { ShowSandboxMessage(owner, text); });
  reader.SetPath(filePath);
  RegistryTarget target(owner);
  RestoreSnapshot(reader, target);
  return true;
}

void RegistrySaveCommand(const TraySettings& settings, std::array<std::u16string, 2>& sandboxFiles) {
  const std::u16string folder = DocumentsSubfolderW(kSandboxFolderW);
  for (int index = 0; index < 2; ++index) {
    sandboxFiles[index] = SnapshotFilePath(folder, settings.m_strRegistrySave, index);
    SaveRegistryKey(std::u16string(kSnapshotKeys[index]), sandboxFiles[index]);
    FILE_LOG(logINFO) << "Sandbox backup done: " << LogText(sandboxFiles[index]);
  }
}

void RegistryRestoreCommand(HWND owner, const TraySettings& settings, std::array<std::u16string, 2>& sandboxFiles) {
  const std::u16string folder = DocumentsSubfolderW(kSandboxFolderW);
  for (int index = 0; index < 2; ++index) {
    sandboxFiles[index] = SnapshotFilePath(folder, settings.m_strRegistryRestore, index);
    if (FileExists(sandboxFiles[index])) {
      RestoreRegistryFile(owner, sandboxFiles[index]);
      FILE_LOG(logINFO) << "Sandbox restore done: " << LogText(sandboxFiles[index]);
    } else {
      FILE_LOG(logINFO) << "Sandbox restore failed: : " << LogText(sandboxFiles[index]);
    }
  }
  for (const auto& path : sandboxFiles) {
    if (settings.m_nDebugSandbox == 0)
      DeleteFileW(W(path));
    else
      MoveFileW(W(path), W(DebugSnapshotPath(path)));
  }
}

}  // namespace zv
