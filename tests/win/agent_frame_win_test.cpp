// The agent frame's tray icon description, as the shell receives it, and the
// application manifest of the built agent, as the loader reads it.
#include <windows.h>

#include <msxml2.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "agent/core/agent_messages.h"
#include "agent/core/main_frame_win.h"
#include "platform/com_ptr.h"
#include "platform/handles.h"

namespace zv {
namespace {

TEST(TrayIcon, DescriptionTheShellReceives) {
  const HWND frame = reinterpret_cast<HWND>(0x1234);
  const HICON icon = reinterpret_cast<HICON>(0x5678);
  const NOTIFYICONDATAW nid = TrayIconData(frame, icon);
  EXPECT_EQ(nid.cbSize, sizeof(NOTIFYICONDATAW));
  EXPECT_EQ(nid.hWnd, frame);
  EXPECT_EQ(nid.uID, 128u);
  EXPECT_EQ(nid.uFlags, 7u);
  EXPECT_EQ(nid.uCallbackMessage, static_cast<UINT>(WM_USER + 100));
  EXPECT_EQ(nid.hIcon, icon);
  // The whole tip, not its first letter.
  EXPECT_EQ(std::wstring(nid.szTip), L"ZedudeVeri");
  EXPECT_EQ(nid.dwState | nid.dwStateMask | nid.szInfo[0] | nid.szInfoTitle[0] | nid.dwInfoFlags, 0u);
}

// IXMLDOMDocument2, as the platform publishes it (the MinGW import
// libraries do not carry it).
constexpr IID kIidXmlDomDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// The agent built beside this test program (build/<preset>/agent/res).
std::wstring BuiltAgent() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path);
  dir.resize(dir.find_last_of(L'\\'));
  return dir + L"\\..\\agent\\res\\ZedudeVeri.exe";
}

struct ComApartment {
  ComApartment() : ok(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (ok) CoUninitialize();
  }
  bool ok;
};

// The text of the one node an XPath query selects; "(none)" when it selects none.
std::wstring SelectText(IXMLDOMDocument2* doc, const wchar_t* query) {
  ComPtr<IXMLDOMNode> node;
  UniqueBstr q;
  *q.put() = SysAllocString(query);
  if (doc->selectSingleNode(q.get(), node.put()) != S_OK || !node) return L"(none)";
  UniqueBstr text;
  node->get_text(text.put());
  return text.get() ? std::wstring(text.get(), text.length()) : L"";
}

long CountNodes(IXMLDOMDocument2* doc, const wchar_t* query) {
  ComPtr<IXMLDOMNodeList> list;
  UniqueBstr q;
  *q.put() = SysAllocString(query);
  long n = -1;
  if (SUCCEEDED(doc->selectNodes(q.get(), list.put())) && list) list->get_length(&n);
  return n;
}

// The manifest resource (type 24, id 1) read back from the built program and
// parsed by an XML parser: well-formed, with the elements Windows looks for
// in their namespaces.
TEST(AgentManifest, IsEmbeddedAndWellFormed) {
  const std::wstring agent = BuiltAgent();
  const HMODULE module = LoadLibraryExW(agent.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr) << "no agent at " << std::string(agent.begin(), agent.end());
  const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(resource, nullptr);
  const DWORD size = SizeofResource(module, resource);
  const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, resource)));
  ASSERT_NE(bytes, nullptr);
  const std::string manifest(bytes, size);
  FreeLibrary(module);

  ComApartment com;
  ASSERT_TRUE(com.ok);
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(L"Msxml2.DOMDocument.6.0", &clsid), S_OK);
  ComPtr<IXMLDOMDocument2> doc;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument2, doc.put_void()), S_OK);
  doc->put_async(VARIANT_FALSE);
  // The bytes as they are, so that the parser honours their declared encoding.
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
  ULONG written = 0;
  stream->Write(manifest.data(), static_cast<ULONG>(manifest.size()), &written);
  const LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_UNKNOWN;
  source.punkVal = stream.get();
  VARIANT_BOOL loaded = VARIANT_FALSE;
  ASSERT_EQ(doc->load(source, &loaded), S_OK);
  ASSERT_EQ(loaded, VARIANT_TRUE) << manifest;

  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(
      L"xmlns:a='urn:schemas-microsoft-com:asm.v1' xmlns:v3='urn:schemas-microsoft-com:asm.v3' "
      L"xmlns:c='urn:schemas-microsoft-com:compatibility.v1' "
      L"xmlns:w5='http://schemas.microsoft.com/SMI/2005/WindowsSettings' "
      L"xmlns:w16='http://schemas.microsoft.com/SMI/2016/WindowsSettings'");
  UniqueBstr property;
  *property.put() = SysAllocString(L"SelectionNamespaces");
  ASSERT_EQ(doc->setProperty(property.get(), value), S_OK);
  VariantClear(&value);

  EXPECT_EQ(SelectText(doc.get(), L"/a:assembly/@manifestVersion"), L"1.0");
  EXPECT_EQ(SelectText(doc.get(), L"/a:assembly/v3:trustInfo/v3:security/v3:requestedPrivileges/"
                                  L"v3:requestedExecutionLevel/@level"),
            L"asInvoker");
  EXPECT_EQ(SelectText(doc.get(), L"/a:assembly/v3:trustInfo/v3:security/v3:requestedPrivileges/"
                                  L"v3:requestedExecutionLevel/@uiAccess"),
            L"false");
  EXPECT_EQ(CountNodes(doc.get(), L"/a:assembly/c:compatibility/c:application/c:supportedOS"), 4);
  for (const wchar_t* os : {L"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",    // Windows 7
                            L"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",    // Windows 8
                            L"{1f676c76-80e1-4239-95bb-83d0f6d0da78}",    // Windows 8.1
                            L"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {  // Windows 10 and 11
    const std::wstring query = L"/a:assembly/c:compatibility/c:application/c:supportedOS[@Id='" + std::wstring(os) + L"']";
    EXPECT_EQ(CountNodes(doc.get(), query.c_str()), 1) << std::string(query.begin(), query.end());
  }
  EXPECT_EQ(SelectText(doc.get(), L"/a:assembly/v3:application/v3:windowsSettings/w5:dpiAware"), L"true/pm");
  EXPECT_EQ(SelectText(doc.get(), L"/a:assembly/v3:application/v3:windowsSettings/w16:dpiAwareness"),
            L"PerMonitorV2,PerMonitor");
}

// The system's own reading of the same resource: an activation context is
// made from it, and the run level and DPI settings are the ones declared.
TEST(AgentManifest, TheSystemReadsRunLevelAndDpiAwareness) {
  const std::wstring agent = BuiltAgent();
  ACTCTXW request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = agent.c_str();
  request.lpResourceName = MAKEINTRESOURCEW(1);
  const HANDLE context = CreateActCtxW(&request);
  ASSERT_NE(context, INVALID_HANDLE_VALUE) << GetLastError();

  ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION runLevel{};
  SIZE_T got = 0;
  EXPECT_TRUE(QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &runLevel, sizeof runLevel, &got));
  EXPECT_EQ(runLevel.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
  EXPECT_EQ(runLevel.UiAccess, 0u);

  wchar_t text[64] = {};
  EXPECT_TRUE(QueryActCtxSettingsW(0, context, nullptr, L"dpiAware", text, 64, &got));
  EXPECT_EQ(std::wstring(text), L"true/pm");
  text[0] = L'\0';
  EXPECT_TRUE(QueryActCtxSettingsW(0, context, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness",
                                   text, 64, &got));
  EXPECT_EQ(std::wstring(text), L"PerMonitorV2,PerMonitor");
  ReleaseActCtx(context);
}

}  // namespace
}  // namespace zv
