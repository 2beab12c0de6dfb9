#include "tests/win/guard/fake_shell_windows.h"

#include <exdisp.h>

#include <cstdio>
#include <cwchar>

#include "platform/handles.h"

namespace zvtest {

namespace {

FakeShell g_shell;
std::vector<int> g_reads;
std::wstring g_traceFile;

const wchar_t kConfigKey[] = L"Software\\ZvTest\\ShellWindows";

void Trace(const char* what, int index) {
  g_reads.push_back(index);
  if (g_traceFile.empty()) return;
  if (FILE* f = _wfopen(g_traceFile.c_str(), L"a")) {
    std::fprintf(f, "%s %d\n", what, index);
    std::fclose(f);
  }
}

BSTR Bstr(const std::wstring& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

// Reference counting and IUnknown for a single interface chain.
template <typename Interface>
class Unknown : public Interface {
 public:
  virtual ~Unknown() = default;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ULONG refs_ = 1;
};

#define ZV_NOTIMPL(signature) \
  HRESULT STDMETHODCALLTYPE signature override { return E_NOTIMPL; }

// IDispatch without a type library: the guard calls through the vtable.
#define ZV_NO_DISPATCH                                                                   \
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {                     \
    *count = 0;                                                                          \
    return S_OK;                                                                         \
  }                                                                                      \
  ZV_NOTIMPL(GetTypeInfo(UINT, LCID, ITypeInfo**))                                       \
  ZV_NOTIMPL(GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*))                      \
  ZV_NOTIMPL(Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*))

// An item that is a dispatch object but not a browser.
class OtherItem : public Unknown<IDispatch> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ZV_NO_DISPATCH
};

class Browser : public Unknown<IWebBrowser2> {
 public:
  Browser(const FakeBrowser& layout, int index) : layout_(layout), index_(index) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (layout_.fail == FakeCall::Query && iid == IID_IWebBrowser2) return layout_.failHr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IWebBrowser || iid == IID_IWebBrowserApp ||
        iid == IID_IWebBrowser2) {
      *out = static_cast<IWebBrowser2*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ZV_NO_DISPATCH

  HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* url) override {
    *url = nullptr;
    Trace("url", index_);
    if (layout_.fail == FakeCall::Url) return layout_.failHr;
    *url = Bstr(layout_.url);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_LocationName(BSTR* name) override {
    *name = nullptr;
    if (layout_.fail == FakeCall::Title) return layout_.failHr;
    *name = Bstr(layout_.title);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_HWND(SHANDLE_PTR* window) override {
    *window = 0;
    if (layout_.fail == FakeCall::Hwnd) return layout_.failHr;
    HWND w = layout_.windowTitle.empty() ? layout_.window : FindWindowW(nullptr, layout_.windowTitle.c_str());
    *window = reinterpret_cast<SHANDLE_PTR>(w);
    return S_OK;
  }

  // IWebBrowser
  ZV_NOTIMPL(GoBack())
  ZV_NOTIMPL(GoForward())
  ZV_NOTIMPL(GoHome())
  ZV_NOTIMPL(GoSearch())
  ZV_NOTIMPL(Navigate(BSTR, VARIANT*, VARIANT*, VARIANT*, VARIANT*))
  ZV_NOTIMPL(Refresh())
  ZV_NOTIMPL(Refresh2(VARIANT*))
  ZV_NOTIMPL(Stop())
  ZV_NOTIMPL(get_Application(IDispatch**))
  ZV_NOTIMPL(get_Parent(IDispatch**))
  ZV_NOTIMPL(get_Container(IDispatch**))
  ZV_NOTIMPL(get_Document(IDispatch**))
  ZV_NOTIMPL(get_TopLevelContainer(VARIANT_BOOL*))
  ZV_NOTIMPL(get_Type(BSTR*))
  ZV_NOTIMPL(get_Left(LONG*))
  ZV_NOTIMPL(put_Left(LONG))
  ZV_NOTIMPL(get_Top(LONG*))
  ZV_NOTIMPL(put_Top(LONG))
  ZV_NOTIMPL(get_Width(LONG*))
  ZV_NOTIMPL(put_Width(LONG))
  ZV_NOTIMPL(get_Height(LONG*))
  ZV_NOTIMPL(put_Height(LONG))
  ZV_NOTIMPL(get_Busy(VARIANT_BOOL*))
  // IWebBrowserApp
  ZV_NOTIMPL(Quit())
  ZV_NOTIMPL(ClientToWindow(int*, int*))
  ZV_NOTIMPL(PutProperty(BSTR, VARIANT))
  ZV_NOTIMPL(GetProperty(BSTR, VARIANT*))
  ZV_NOTIMPL(get_Name(BSTR*))
  ZV_NOTIMPL(get_FullName(BSTR*))
  ZV_NOTIMPL(get_Path(BSTR*))
  ZV_NOTIMPL(get_Visible(VARIANT_BOOL*))
  ZV_NOTIMPL(put_Visible(VARIANT_BOOL))
  ZV_NOTIMPL(get_StatusBar(VARIANT_BOOL*))
  ZV_NOTIMPL(put_StatusBar(VARIANT_BOOL))
  ZV_NOTIMPL(get_StatusText(BSTR*))
  ZV_NOTIMPL(put_StatusText(BSTR))
  ZV_NOTIMPL(get_ToolBar(int*))
  ZV_NOTIMPL(put_ToolBar(int))
  ZV_NOTIMPL(get_MenuBar(VARIANT_BOOL*))
  ZV_NOTIMPL(put_MenuBar(VARIANT_BOOL))
  ZV_NOTIMPL(get_FullScreen(VARIANT_BOOL*))
  ZV_NOTIMPL(put_FullScreen(VARIANT_BOOL))
  // IWebBrowser2
  ZV_NOTIMPL(Navigate2(VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*))
  ZV_NOTIMPL(QueryStatusWB(OLECMDID, OLECMDF*))
  ZV_NOTIMPL(ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*))
  ZV_NOTIMPL(ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*))
  ZV_NOTIMPL(get_ReadyState(READYSTATE*))
  ZV_NOTIMPL(get_Offline(VARIANT_BOOL*))
  ZV_NOTIMPL(put_Offline(VARIANT_BOOL))
  ZV_NOTIMPL(get_Silent(VARIANT_BOOL*))
  ZV_NOTIMPL(put_Silent(VARIANT_BOOL))
  ZV_NOTIMPL(get_RegisterAsBrowser(VARIANT_BOOL*))
  ZV_NOTIMPL(put_RegisterAsBrowser(VARIANT_BOOL))
  ZV_NOTIMPL(get_RegisterAsDropTarget(VARIANT_BOOL*))
  ZV_NOTIMPL(put_RegisterAsDropTarget(VARIANT_BOOL))
  ZV_NOTIMPL(get_TheaterMode(VARIANT_BOOL*))
  ZV_NOTIMPL(put_TheaterMode(VARIANT_BOOL))
  ZV_NOTIMPL(get_AddressBar(VARIANT_BOOL*))
  ZV_NOTIMPL(put_AddressBar(VARIANT_BOOL))
  ZV_NOTIMPL(get_Resizable(VARIANT_BOOL*))
  ZV_NOTIMPL(put_Resizable(VARIANT_BOOL))

 private:
  FakeBrowser layout_;
  int index_;
};

class ShellWindows : public Unknown<IShellWindows> {
 public:
  explicit ShellWindows(FakeShell shell) : shell_(std::move(shell)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IShellWindows) {
      *out = static_cast<IShellWindows*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ZV_NO_DISPATCH

  HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
    *count = 0;
    if (FAILED(shell_.countHr)) return shell_.countHr;
    *count = static_cast<LONG>(shell_.browsers.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Item(VARIANT index, IDispatch** folder) override {
    *folder = nullptr;
    if (index.vt != VT_I4) return E_INVALIDARG;
    if (index.lVal < 0 || static_cast<size_t>(index.lVal) >= shell_.browsers.size()) return S_FALSE;
    const FakeBrowser& layout = shell_.browsers[static_cast<size_t>(index.lVal)];
    if (layout.fail == FakeCall::Item) return layout.failHr;
    if (layout.missing) return S_FALSE;
    if (layout.notBrowser)
      *folder = new OtherItem;
    else
      *folder = new Browser(layout, static_cast<int>(index.lVal));
    return S_OK;
  }
  ZV_NOTIMPL(_NewEnum(IUnknown**))
  ZV_NOTIMPL(Register(IDispatch*, LONG, int, LONG*))
  ZV_NOTIMPL(RegisterPending(LONG, VARIANT*, VARIANT*, int, LONG*))
  ZV_NOTIMPL(Revoke(LONG))
  ZV_NOTIMPL(OnNavigate(LONG, VARIANT*))
  ZV_NOTIMPL(OnActivated(LONG, VARIANT_BOOL))
  ZV_NOTIMPL(FindWindowSW(VARIANT*, VARIANT*, int, LONG*, int, IDispatch**))
  ZV_NOTIMPL(OnCreated(LONG, IUnknown*))
  ZV_NOTIMPL(ProcessAttachDetach(VARIANT_BOOL))

 private:
  FakeShell shell_;
};

class Factory : public Unknown<IClassFactory> {
 public:
  explicit Factory(bool fromRegistry) : fromRegistry_(fromRegistry) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    FakeShell shell = fromRegistry_ ? LoadFakeShellFromRegistry() : g_shell;
    if (FAILED(shell.createHr)) return shell.createHr;
    auto* windows = new ShellWindows(std::move(shell));
    const HRESULT hr = windows->QueryInterface(iid, out);
    windows->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  bool fromRegistry_;
};

std::wstring ReadString(HKEY key, const wchar_t* name) {
  wchar_t buffer[1024] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return {};
  return buffer;
}

bool ReadDword(HKEY key, const wchar_t* name, DWORD& value) {
  DWORD size = sizeof value;
  DWORD type = 0;
  return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
         type == REG_DWORD;
}

FakeCall CallNamed(const std::wstring& name) {
  if (name == L"item") return FakeCall::Item;
  if (name == L"query") return FakeCall::Query;
  if (name == L"url") return FakeCall::Url;
  if (name == L"title") return FakeCall::Title;
  if (name == L"hwnd") return FakeCall::Hwnd;
  return FakeCall::None;
}

}  // namespace

void SetFakeShell(const FakeShell& shell) {
  g_shell = shell;
  g_reads.clear();
}

std::vector<int> FakeShellAddressReads() { return g_reads; }

IClassFactory* NewFakeShellFactory(bool fromRegistry) { return new Factory(fromRegistry); }

FakeShell LoadFakeShellFromRegistry() {
  FakeShell shell;
  zv::UniqueRegKey rootKey;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kConfigKey, 0, KEY_READ, rootKey.put()) != ERROR_SUCCESS) return shell;
  const HKEY root = rootKey.get();
  DWORD value = 0;
  if (ReadDword(root, L"CountFail", value)) shell.countHr = static_cast<HRESULT>(value);
  g_traceFile = ReadString(root, L"Trace");
  for (int i = 0;; ++i) {
    zv::UniqueRegKey subKey;
    if (RegOpenKeyExW(root, std::to_wstring(i).c_str(), 0, KEY_READ, subKey.put()) != ERROR_SUCCESS) break;
    const HKEY sub = subKey.get();
    FakeBrowser b;
    b.url = ReadString(sub, L"Url");
    b.title = ReadString(sub, L"Title");
    b.windowTitle = ReadString(sub, L"Window");
    const std::wstring kind = ReadString(sub, L"Kind");
    b.missing = kind == L"missing";
    b.notBrowser = kind == L"other";
    b.fail = CallNamed(ReadString(sub, L"Fail"));
    if (ReadDword(sub, L"FailHr", value)) b.failHr = static_cast<HRESULT>(value);
    shell.browsers.push_back(std::move(b));
  }
  return shell;
}

}  // namespace zvtest
