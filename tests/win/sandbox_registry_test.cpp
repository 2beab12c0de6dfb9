// Snapshots and browser settings on the real registry (scratch keys below
// HKEY_CURRENT_USER\Software\ZvSandboxTest<pid>, removed afterwards). The
// message boxes of a restore are found, read and dismissed by a watcher
// thread, so a test never waits on one.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "agent/sandbox/browser_settings.h"
#include "agent/sandbox/sandbox_commands.h"
#include "agent/sandbox/snapshot_pending_win.h"
#include "agent/sandbox/snapshot_walk.h"
#include "agent/sandbox/snapshot_win.h"
#include "platform/handles.h"
#include "platform/wide.h"

namespace zv {
namespace {

std::wstring ScratchPath() { return L"Software\\ZvSandboxTest" + std::to_wstring(GetCurrentProcessId()); }

std::u16string TempFile(const wchar_t* name) {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  return U16(std::wstring(base) + L"zvsandbox" + std::to_wstring(GetCurrentProcessId()) + L"_" + name);
}

std::string ReadBytes(const std::u16string& path) {
  std::string bytes;
  LoadWholeFile(path, bytes);
  return bytes;
}

void WriteBytes(const std::u16string& path, const std::string& bytes) {
  UniqueFileHandle file(CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string Utf16(std::u16string_view text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

HKEY Create(const std::wstring& path) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << "create " << std::string(path.begin(), path.end());
  return key;
}

void Set(HKEY key, const wchar_t* name, DWORD type, const void* data, size_t size) {
  EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)), ERROR_SUCCESS);
}
void SetText(HKEY key, const wchar_t* name, DWORD type, const std::wstring& text) {
  Set(key, name, type, text.c_str(), (text.size() + 1) * 2);
}

struct Value {
  DWORD type = 0;
  std::string data;
  bool operator==(const Value&) const = default;
};

std::optional<Value> Query(const std::wstring& path, const wchar_t* name) {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::nullopt;
  BYTE data[4096];
  DWORD size = sizeof data, type = 0;
  if (RegQueryValueExW(key.get(), name, nullptr, &type, data, &size) != ERROR_SUCCESS) return std::nullopt;
  return Value{type, std::string(reinterpret_cast<char*>(data), size)};
}

bool FileExists(const std::u16string& path) { return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

bool KeyExists(HKEY root, const std::wstring& path) {
  UniqueRegKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// Finds the restore's message boxes of this process, keeps their texts and
// presses OK.
class MessageBoxWatcher {
 public:
  MessageBoxWatcher() : thread_([this] { Run(); }) {}
  ~MessageBoxWatcher() {
    stop_ = true;
    thread_.join();
  }
  std::vector<std::wstring> Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  static BOOL CALLBACK FindBox(HWND window, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t title[64] = {}, cls[16] = {};
    GetWindowTextW(window, title, 64);
    GetClassNameW(window, cls, 16);
    if (pid == GetCurrentProcessId() && std::wstring(title) == kSandboxMessageTitle && std::wstring(cls) == L"#32770" &&
        IsWindowVisible(window)) {
      *reinterpret_cast<HWND*>(param) = window;
      return FALSE;
    }
    return TRUE;
  }
  void Run() {
    HWND handled = nullptr;
    while (!stop_) {
      HWND box = nullptr;
      EnumWindows(FindBox, reinterpret_cast<LPARAM>(&box));
      if (box && box != handled) {
        wchar_t text[1024] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 1024);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          texts_.push_back(text);
        }
        handled = box;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
      if (handled && !IsWindow(handled)) handled = nullptr;
      Sleep(20);
    }
  }
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::wstring> texts_;
  std::thread thread_;
};

class SandboxRegistryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, ScratchPath().c_str());
    for (const auto& file : files_) {
      DeleteFileW(W(file));
    }
  }
  std::u16string File(const wchar_t* name) {
    files_.push_back(TempFile(name));
    return files_.back();
  }
  std::u16string KeyPath() const { return u"HKEY_CURRENT_USER\\" + U16(ScratchPath()); }
  std::vector<std::u16string> files_;
};

// Every value type, a default value set and not set, an empty key and deep
// nesting, saved into the exact expected bytes.
TEST_F(SandboxRegistryTest, SaveWritesTheExpectedFile) {
  const std::wstring root = ScratchPath();
  UniqueRegKey top(Create(root));
  SetText(top.get(), L"sz", REG_SZ, L"a&b\"<>'x");
  SetText(top.get(), L"Exp", REG_EXPAND_SZ, L"%TEMP%\\x");
  const BYTE bin[] = {0x01, 0xAB, 0xFF};
  Set(top.get(), L"bin", REG_BINARY, bin, 3);
  Set(top.get(), L"bin0", REG_BINARY, nullptr, 0);
  const DWORD dw = 65536;
  Set(top.get(), L"dw", REG_DWORD, &dw, 4);
  const BYTE be[] = {0x00, 0x00, 0x01, 0x02};
  Set(top.get(), L"dwbe", REG_DWORD_BIG_ENDIAN, be, 4);
  const ULONGLONG qw = 1;
  Set(top.get(), L"qw", REG_QWORD, &qw, 8);
  const wchar_t multi[] = L"a\0b\0";
  Set(top.get(), L"multi", REG_MULTI_SZ, multi, sizeof multi);
  SetText(top.get(), L"none", REG_NONE, L"n");
  const BYTE res[] = {0x10};
  Set(top.get(), L"res", REG_RESOURCE_LIST, res, 1);
  SetText(top.get(), L"t12", 12, L"twelve");
  SetText(top.get(), L"\xD55C\xAE00", REG_SZ, L"\xAC12");
  UniqueRegKey withDefault(Create(root + L"\\Default set"));
  SetText(withDefault.get(), nullptr, REG_SZ, L"dflt");
  UniqueRegKey(Create(root + L"\\Empty"));
  UniqueRegKey deep(Create(root + L"\\A1\\A2\\A3\\A4\\A5"));
  SetText(deep.get(), L"deep", REG_SZ, L"5");

  const std::u16string file = File(L"save.xml");
  EXPECT_TRUE(SaveRegistryKey(KeyPath(), file));
  const std::u16string scratch = U16(ScratchPath().substr(9));  // without "Software\"
  const std::u16string expected =
      u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
      u" <registry>\r\n"
      u"  <k name=\"HKEY_CURRENT_USER\">\r\n"
      u"   <k name=\"Software\">\r\n"
      u"    <k name=\"" + scratch + u"\">\r\n"
      u"     <v name=\"bin\" value=\"01 ab ff\" type=\"REG_BINARY\"/>\r\n"
      u"     <v name=\"bin0\" value=\"\" type=\"REG_BINARY\"/>\r\n"
      u"     <v name=\"dw\" value=\"0x00010000 (65536)\" type=\"REG_DWORD\"/>\r\n"
      u"     <v name=\"dwbe\" value=\"0x00000102 (258)\" type=\"REG_DWORD\"/>\r\n"
      u"     <v name=\"Exp\" value=\"%TEMP%\\x\" type=\"REG_EXPAND_SZ\"/>\r\n"
      u"     <v name=\"multi\" value=\"a\r\nb\" type=\"REG_MULTI_SZ\"/>\r\n"
      u"     <v name=\"none\" value=\"n\"/>\r\n"
      u"     <v name=\"qw\" value=\"0x0000000000000001\" type=\"REG_QWORD\"/>\r\n"
      u"     <v name=\"res\" value=\"10\" type=\"REG_RESOURCE_LIST\"/>\r\n"
      u"     <v name=\"sz\" value=\"a&amp;b&quot;&lt;>'x\"/>\r\n"
      u"     <v name=\"t12\" value=\"twelve\" type=\"\"/>\r\n"
      u"     <v name=\"\xD55C\xAE00\" value=\"\xAC12\"/>\r\n"
      u"     <k name=\"A1\">\r\n"
      u"      <k name=\"A2\">\r\n"
      u"       <k name=\"A3\">\r\n"
      u"        <k name=\"A4\">\r\n"
      u"         <k name=\"A5\">\r\n"
      u"          <v name=\"deep\" value=\"5\"/>\r\n"
      u"         </k>\r\n"
      u"        </k>\r\n"
      u"       </k>\r\n"
      u"      </k>\r\n"
      u"     </k>\r\n"
      u"     <k name=\"Default set\">\r\n"
      u"      <v name=\"(Default)\" value=\"dflt\"/>\r\n"
      u"     </k>\r\n"
      u"     <k name=\"Empty\"/>\r\n"
      u"    </k>\r\n"
      u"   </k>\r\n"
      u"  </k>\r\n"
      u" </registry>\r\n";
  const std::string bytes = ReadBytes(file);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), std::string("\x3C\x00", 2));
  EXPECT_EQ(bytes, Utf16(expected));
}

TEST_F(SandboxRegistryTest, SaveOfAMissingKeyAndAnUncreatableFile) {
  const std::u16string file = File(L"missing.xml");
  SaveRegistryKey(KeyPath() + u"\\Nothing", file);
  EXPECT_EQ(ReadBytes(file), Utf16(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n <registry>\r\n </registry>\r\n"));
  UniqueRegKey(Create(ScratchPath()));
  EXPECT_FALSE(SaveRegistryKey(KeyPath(), TempFile(L"no\\such\\folder.xml")));
}

TEST_F(SandboxRegistryTest, RestorePutsSavedValuesBackAndKeepsAddedOnes) {
  const std::wstring root = ScratchPath();
  {
    UniqueRegKey top(Create(root));
    SetText(top.get(), L"s", REG_SZ, L"saved");
    const DWORD dw = 7;
    Set(top.get(), L"d", REG_DWORD, &dw, 4);
    const BYTE be[] = {0, 0, 0, 9};
    Set(top.get(), L"be", REG_DWORD_BIG_ENDIAN, be, 4);
    const ULONGLONG qw = 0x0123456789ABCDEFull;
    Set(top.get(), L"q", REG_QWORD, &qw, 8);
    const wchar_t multi[] = L"x\0\0y\0";
    Set(top.get(), L"m", REG_MULTI_SZ, multi, sizeof multi);
    const DWORD dflt = 3;
    Set(top.get(), nullptr, REG_DWORD, &dflt, 4);  // a default value of a non-string type
    SetText(top.get(), L"lines", REG_SZ, L"1\r\n\r\n'2'\r>\n");
    UniqueRegKey(Create(root + L"\\Sub\\Empty"));
  }
  const std::u16string file = File(L"restore.xml");
  SaveRegistryKey(KeyPath(), file);

  RegDeleteTreeW(HKEY_CURRENT_USER, root.c_str());
  {
    UniqueRegKey top(Create(root));
    const BYTE other[] = {1, 2};
    Set(top.get(), L"s", REG_BINARY, other, 2);
    SetText(top.get(), L"added", REG_SZ, L"stays");
  }
  MessageBoxWatcher boxes;
  EXPECT_EQ(RestoreRegistryFile(nullptr, file), RestoreOutcome::Done);
  EXPECT_TRUE(boxes.Texts().empty());

  const auto text = [](std::wstring_view t) {
    return Value{REG_SZ, std::string(reinterpret_cast<const char*>(t.data()), t.size() * 2) + std::string(4, '\0')};
  };
  EXPECT_EQ(Query(root, L"s"), text(L"saved"));
  EXPECT_EQ(Query(root, L"added"), (Value{REG_SZ, Utf16(u"stays") + std::string(2, '\0')}));
  EXPECT_EQ(Query(root, L"d"), (Value{REG_DWORD, std::string("\x07\0\0\0", 4)}));
  EXPECT_EQ(Query(root, L"be"), (Value{REG_DWORD, std::string("\x09\0\0\0", 4)}));
  EXPECT_EQ(Query(root, L"q"), (Value{REG_QWORD, std::string("\xEF\xCD\xAB\x89\x67\x45\x23\x01", 8)}));
  EXPECT_EQ(Query(root, L"m"), (Value{REG_MULTI_SZ, Utf16(std::u16string(u"x\0\0y\0\0", 6))}));
  EXPECT_EQ(Query(root, nullptr), (Value{REG_DWORD, std::string("\x03\0\0\0", 4)}));
  EXPECT_EQ(Query(root, L"lines"), text(L"1\r\n\r\n'2'\r>\n"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, root + L"\\Sub\\Empty"));
}

TEST_F(SandboxRegistryTest, ParseErrorIsShownAndWhatCameBeforeStays) {
  const std::u16string file = File(L"broken.xml");
  const std::u16string scratch = U16(ScratchPath().substr(9));
  const std::u16string body = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                              u" <registry>\r\n"
                              u"  <k name=\"HKEY_CURRENT_USER\">\r\n"
                              u"   <k name=\"Software\">\r\n"
                              u"    <k name=\"" + scratch + u"\">\r\n"
                              u"     <v name=\"before\" value=\"1\"/>\r\n"
                              u"     <v name=\"bad\" value=\"0x1\" type=\"REG_DWORD\"/>\r\n"
                              u"     <v name=\"x\" < value=\"2\"/>\r\n"
                              u"     <v name=\"after\" value=\"3\"/>\r\n";
  // Without the end of its registry element the document is a cut-off
  // prefix: nothing of it is replayed and no message is shown.
  WriteBytes(file, Utf16(body));
  {
    MessageBoxWatcher boxes;
    EXPECT_EQ(RestoreRegistryFile(nullptr, file), RestoreOutcome::Incomplete);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_FALSE(Query(ScratchPath(), L"before").has_value());
  }
  WriteBytes(file, Utf16(body + u" </registry>\r\n"));
  MessageBoxWatcher boxes;
  EXPECT_EQ(RestoreRegistryFile(nullptr, file), RestoreOutcome::ParseError);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::wstring>{L"couldn't set value bad", L"Parse error in line 8 : (Bad '<' symbol)"}));
  EXPECT_TRUE(Query(ScratchPath(), L"before").has_value());
  EXPECT_FALSE(Query(ScratchPath(), L"bad").has_value());
  EXPECT_FALSE(Query(ScratchPath(), L"after").has_value());
}

TEST_F(SandboxRegistryTest, KeyThatCannotBeCreated) {
  const std::u16string file = File(L"nokey.xml");
  // A key name longer than 255 characters cannot be created.
  const std::u16string longName(300, u'x');
  WriteBytes(file, Utf16(u"<k name=\"HKEY_CURRENT_USER\">\r\n<k name=\"" + U16(ScratchPath()) + u"\">\r\n<k name=\"" +
                         longName + u"\">\r\n<v name=\"a\" value=\"1\"/>\r\n</registry>\r\n"));
  MessageBoxWatcher boxes;
  EXPECT_EQ(RestoreRegistryFile(nullptr, file), RestoreOutcome::KeyFailed);
  const auto texts = boxes.Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], L"couldn't create key HKEY_CURRENT_USER\\" + ScratchPath() + L"\\" + Wide(longName));
}

// A restore that cannot delete or move the file it is finished with (another
// program holds it open without sharing its deletion) reports it, and the
// file does not look pending any more; a _debug_ copy that holds the name
// already is kept, the file goes under the next free name.
TEST_F(SandboxRegistryTest, FinishingAFileAnotherProgramHolds) {
  const std::u16string folder = File(L"finish");
  ASSERT_TRUE(CreateDirectoryW(W(folder), nullptr));
  const std::u16string file = folder + u"\\n_0.xml";
  const std::u16string other = folder + u"\\n_1.xml";
  const auto pending = [&] {
    std::vector<std::u16string> out;
    for (const auto& pair : PendingSnapshotPairs(SandboxFileNames(folder))) out.push_back(pair.name);
    return out;
  };
  const struct {
    const char* what;
    SnapshotFileEnd end;
    bool held;
    bool debugThere;
    bool finished;
    const char16_t* kept;  // the copy under the kept name ("" none)
  } rows[] = {
      {"delete", SnapshotFileEnd::Delete, false, false, true, u""},
      {"delete, held", SnapshotFileEnd::Delete, true, false, false, u""},
      {"keep as failed, held", SnapshotFileEnd::KeepFailed, true, false, false, u"_failed_n_0.xml"},
      {"keep for debugging, the name taken", SnapshotFileEnd::KeepDebug, false, true, true, u"_debug_2_n_0.xml"},
      {"keep for debugging, held", SnapshotFileEnd::KeepDebug, true, false, false, u"_debug_n_0.xml"},
  };
  for (const auto& row : rows) {
    WriteBytes(file, Utf16(u"body"));
    WriteBytes(other, Utf16(u"other"));
    if (row.debugThere) WriteBytes(folder + u"\\_debug_n_0.xml", "older");
    {
      UniqueFileHandle holder(row.held ? CreateFileW(W(file), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                     OPEN_EXISTING, 0, nullptr)
                                       : INVALID_HANDLE_VALUE);
      EXPECT_EQ(FinishSnapshotFile(file, row.end), row.finished) << row.what;
      EXPECT_EQ(FileExists(file), row.held) << row.what;
      EXPECT_EQ(FileExists(DoneSnapshotPath(file)), !row.finished) << row.what;
      if (*row.kept) {
        EXPECT_EQ(ReadBytes(folder + u"\\" + row.kept), Utf16(u"body")) << row.what;
      }
      if (row.debugThere) {
        EXPECT_EQ(ReadBytes(folder + u"\\_debug_n_0.xml"), "older") << row.what;
      }
      // Only the other file of the pair is left pending.
      EXPECT_EQ(pending(), (std::vector<std::u16string>{u"n"})) << row.what;
      DeleteFileW(W(other));
      EXPECT_TRUE(pending().empty()) << row.what;
    }
    // Once nobody holds it, the next restore finishes what was marked.
    FinishMarkedSnapshotFiles(folder);
    EXPECT_FALSE(FileExists(file)) << row.what;
    EXPECT_FALSE(FileExists(DoneSnapshotPath(file))) << row.what;
    WIN32_FIND_DATAW data;
    UniqueFind find(FindFirstFileW(W(folder + u"\\*.xml"), &data));
    while (find) {
      DeleteFileW(W(folder + u"\\" + U16(data.cFileName)));
      if (!FindNextFileW(find.get(), &data)) break;
    }
  }
  RemoveDirectoryW(W(folder));
}

// The extension settings: a fresh toolbar list under HKEY_LOCAL_MACHINE and
// existing subkeys under the per-user target.
class BrowserSettingsTest : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kToolbars[] = {L"{11111111-AAAA-0000-0000-000000000001}",
                                                 L"{22222222-BBBB-0000-0000-000000000002}",
                                                 L"{33333333-CCCC-0000-0000-000000000003}"};
  void SetUp() override {
    toolbarKeyExisted_ = KeyExists(HKEY_LOCAL_MACHINE, Wide(kToolbarKey));
    targetExisted_ = KeyExists(HKEY_CURRENT_USER, Wide(kExtSettingsKey));
    UniqueRegKey list;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(kToolbarKey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              list.put(), nullptr),
              ERROR_SUCCESS);
    for (const wchar_t* toolbar : kToolbars) SetText(list.get(), toolbar, REG_SZ, L"");
    // The second toolbar already has its settings; the third one too, but
    // under an identifier in other letter case.
    UniqueRegKey(Create(Wide(kExtSettingsKey) + L"\\" + kToolbars[1]));
    UniqueRegKey(Create(Wide(kExtSettingsKey) + L"\\{33333333-cccc-0000-0000-000000000003}"));
    zoneBefore_ = Values(Wide(kTrustedZoneKey));
  }
  void TearDown() override {
    UniqueRegKey list;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(kToolbarKey).c_str(), 0, KEY_ALL_ACCESS, list.put()) == ERROR_SUCCESS)
      for (const wchar_t* toolbar : kToolbars) RegDeleteValueW(list.get(), toolbar);
    list.reset();
    if (!toolbarKeyExisted_) RegDeleteKeyW(HKEY_LOCAL_MACHINE, Wide(kToolbarKey).c_str());
    for (const wchar_t* toolbar : kToolbars) RegDeleteTreeW(HKEY_CURRENT_USER, (Wide(kExtSettingsKey) + L"\\" + toolbar).c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, (Wide(kExtSettingsKey) + L"\\{33333333-cccc-0000-0000-000000000003}").c_str());
    if (!targetExisted_) RegDeleteKeyW(HKEY_CURRENT_USER, Wide(kExtSettingsKey).c_str());
    // Zone 2 as it was.
    UniqueRegKey zone;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(kTrustedZoneKey).c_str(), 0, KEY_ALL_ACCESS, zone.put()) == ERROR_SUCCESS) {
      for (const auto& [name, value] : Values(Wide(kTrustedZoneKey))) RegDeleteValueW(zone.get(), name.c_str());
      for (const auto& [name, value] : zoneBefore_) Set(zone.get(), name.c_str(), value.type, value.data.data(), value.data.size());
    }
  }
  static std::vector<std::pair<std::wstring, Value>> Values(const std::wstring& path) {
    std::vector<std::pair<std::wstring, Value>> out;
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return out;
    for (DWORD i = 0;; ++i) {
      wchar_t name[300];
      BYTE data[1024];
      DWORD nameLength = 300, size = sizeof data, type = 0;
      if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
      out.push_back({std::wstring(name, nameLength), Value{type, std::string(reinterpret_cast<char*>(data), size)}});
    }
    return out;
  }
  static std::wstring Wide(const char16_t* text) { return zv::Wide(text); }
  bool toolbarKeyExisted_ = false;
  bool targetExisted_ = false;
  std::vector<std::pair<std::wstring, Value>> zoneBefore_;
};

TEST_F(BrowserSettingsTest, ZoneValuesToolbarKeysAndTheirDeletion) {
  {
    UniqueRegKey zone(Create(Wide(kTrustedZoneKey)));
    const DWORD other = 3;
    Set(zone.get(), L"1A10", REG_DWORD, &other, 4);  // outside the table: left alone
  }
  std::vector<std::u16string> created = {u"stale entry"};
  ApplyBrowserSecuritySettings(created);

  for (const auto& policy : TrustedZonePolicy())
    EXPECT_EQ(Query(Wide(kTrustedZoneKey), W(policy.name)),
              (Value{REG_DWORD, std::string(reinterpret_cast<const char*>(&policy.data), 4)}));
  EXPECT_EQ(Query(Wide(kTrustedZoneKey), L"1A10"), (Value{REG_DWORD, std::string("\x03\0\0\0", 4)}));

  EXPECT_EQ(created, (std::vector<std::u16string>{U16(kToolbars[0]), U16(kToolbars[2])}));
  for (const wchar_t* toolbar : kToolbars) {
    const std::wstring path = Wide(kExtSettingsKey) + L"\\" + toolbar;
    EXPECT_EQ(Query(path, L"Flags"), (Value{REG_DWORD, std::string("\x01\0\0\0", 4)}));
    EXPECT_EQ(Query(path, L"Version"), (Value{REG_SZ, std::string("*\0\0\0\0\0\0\0\0\0\0", 11)}));
  }

  DeleteExtSettingKeys(created);
  EXPECT_TRUE(created.empty());
  // Only the keys this run created are gone (the key in other letter case is
  // the same registry key as the third toolbar's, so it went with it).
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Wide(kExtSettingsKey) + L"\\" + kToolbars[0]));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Wide(kExtSettingsKey) + L"\\" + kToolbars[1]));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Wide(kExtSettingsKey) + L"\\" + kToolbars[2]));
}

}  // namespace
}  // namespace zv
