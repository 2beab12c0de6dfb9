// The control's services: the agent-command wrappers, the page's text files
// in zaduze\doc, the control's own version and the Windows version.
#include <windows.h>

#include <shlobj.h>

#include <string>

#include "agent/core/command_line.h"
#include "control/agentlink/launcher_win.h"
#include "control/agentlink/services.h"
#include "control/ocx/zaduze_ctrl.h"
#include "platform/handles.h"
#include "platform/wide.h"

namespace zv {

// The count spares what the session's guard spares: the exam's frame too.
short CZaduzeCtrl::GetCheatAppCount() {
  return ExitCodeToShort(static_cast<uint32_t>(RunAgentCommand(WithExamPageWindow(
      BuildQueryCheatAppCommandLine(UpToNul(m_props.protectAppExceptionList), UpToNul(m_props.protectAppBlackList),
                                    UpToNul(m_props.protectExplorerExceptionList)),
      ExamPageWindowOf(m_wnd.hwnd())))));
}

// A value that would give the agent no command at all (empty, taken for an
// option name, cut by a NUL) is refused: an agent without a command starts a
// protection session. Under a site policy only the hosts it allows are added.
short CZaduzeCtrl::TrustzoneAddIP(const std::u16string& ip) {
  if (!IsOneShotValue(ip) || !TrustedSitesAllowed(ip)) return -1;
  return ExitCodeToShort(static_cast<uint32_t>(RunAgentCommand(BuildTrustzoneAddIPCommandLine(ip, m_props.debugLog))));
}
short CZaduzeCtrl::TrustzoneAddDomain(const std::u16string& ip) {
  if (!IsOneShotValue(ip) || !TrustedSitesAllowed(ip)) return -1;
  return ExitCodeToShort(
      static_cast<uint32_t>(RunAgentCommand(BuildTrustzoneAddDomainCommandLine(ip, m_props.debugLog))));
}
short CZaduzeCtrl::TrustzoneQueryIP(const std::u16string& ip) {
  if (!IsOneShotValue(ip)) return -1;
  return ExitCodeToShort(
      static_cast<uint32_t>(RunAgentCommand(BuildTrustzoneQueryIPCommandLine(ip, m_props.debugLog))));
}
short CZaduzeCtrl::TrustzoneQueryDomain(const std::u16string& domain) {
  if (!IsOneShotValue(domain)) return -1;
  return ExitCodeToShort(
      static_cast<uint32_t>(RunAgentCommand(BuildTrustzoneQueryDomainCommandLine(domain, m_props.debugLog))));
}

namespace {

// The full path of a page's file, or empty when the name leaves zaduze\doc or
// the path does not fit.
std::u16string PageFilePath(HWND owner, const std::u16string& name) {
  if (!IsConfinedDocPath(name)) return {};
  wchar_t documents[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(owner, documents, CSIDL_PERSONAL, FALSE)) return {};
  return DocFilePath(U16(documents), name);
}

}  // namespace

short CZaduzeCtrl::SaveTextAsFile(const std::u16string& filepath, const std::u16string& text) {
  const std::u16string path = PageFilePath(m_wnd.hwnd(), filepath);
  if (path.empty()) return -1;
  UniqueFileHandle file(CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return -1;
  const std::string bytes = EncodeTextForFile(text);
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) return -1;
    done += written;
  }
  return 0;
}

std::u16string CZaduzeCtrl::LoadTextFromFile(const std::u16string& filepath) {
  const std::u16string path = PageFilePath(m_wnd.hwnd(), filepath);
  if (path.empty()) return {};
  UniqueFileHandle file(
      CreateFileW(W(path), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return {};
  std::string bytes;
  char chunk[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) return {};
    if (got == 0) break;
    bytes.append(chunk, got);
  }
  return DecodeTextFromFile(bytes);
}

bool CZaduzeCtrl::ReadModuleVersion() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(ThisModule(), path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  m_version.modulePath.assign(path, n);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &handle);
  if (size == 0) return false;
  std::string block(size, '\0');
  if (!GetFileVersionInfoW(path, 0, size, block.data())) return false;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", &value, &length) || value == nullptr) return false;
  m_version.fixed = *static_cast<VS_FIXEDFILEINFO*>(value);
  if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) && length >= 4) {
    const WORD* pair = static_cast<const WORD*>(value);
    m_version.language = pair[0];
    m_version.codePage = pair[1];
  }
  const struct {
    const char16_t* key;
    std::wstring ModuleVersion::*field;
  } keys[] = {
      {u"CompanyName", &ModuleVersion::companyName},     {u"LegalCopyright", &ModuleVersion::legalCopyright},
      {u"ProductName", &ModuleVersion::productName},     {u"ProductVersion", &ModuleVersion::productVersion},
      {u"OriginalFilename", &ModuleVersion::originalFilename},
      {u"FileDescription", &ModuleVersion::fileDescription},
      {u"FileVersion", &ModuleVersion::fileVersion},     {u"InternalName", &ModuleVersion::internalName},
  };
  for (const auto& k : keys) {
    const std::u16string query = VersionStringPath(m_version.language, m_version.codePage, k.key);
    if (VerQueryValueW(block.data(), W(query), &value, &length) && value != nullptr && length > 0)
      m_version.*k.field = static_cast<const wchar_t*>(value);
    else
      (m_version.*k.field).clear();
  }
  return true;
}

std::u16string CZaduzeCtrl::GetVersion() const { return U16(m_version.fileVersion); }

std::u16string CZaduzeCtrl::GetVersion2() const {
  static const char date[] = __DATE__;
  static const char time[] = __TIME__;
  return FormatVersion2(U16(m_version.fileVersion), std::u16string(date, date + sizeof date - 1),
                        std::u16string(time, time + sizeof time - 1));
}

std::u16string CZaduzeCtrl::GetOSVersion() const {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(&info)) return OsVersionName(0, 0);
#pragma GCC diagnostic pop
  return OsVersionName(info.dwMajorVersion, info.dwMinorVersion);
}

}  // namespace zv
