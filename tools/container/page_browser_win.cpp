#include "tools/container/page_browser_win.h"

#include <cstring>

#include "platform/com_ptr.h"

namespace zv {

STDMETHODIMP PageBrowser::QueryInterface(REFIID riid, void** object) {
  return QueryInterfaceFrom(
      riid, object,
      {{this, {&IID_IUnknown, &IID_IDispatch, &IID_IWebBrowser, &IID_IWebBrowserApp, &IID_IWebBrowser2}}});
}

STDMETHODIMP PageBrowser::get_LocationURL(BSTR* url) {
  if (url == nullptr) return E_POINTER;
  *url = AllocBstr(url_);
  return *url != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP PageDocument::QueryInterface(REFIID riid, void** object) {
  return QueryInterfaceFrom(riid, object,
                            {{static_cast<IOleContainer*>(this), {&IID_IUnknown, &IID_IParseDisplayName, &IID_IOleContainer}},
                             {static_cast<IHTMLDocument2*>(this), {&IID_IDispatch, &IID_IHTMLDocument, &IID_IHTMLDocument2}}});
}

STDMETHODIMP PageDocument::get_URL(BSTR* url) {
  if (url == nullptr) return E_POINTER;
  *url = AllocBstr(url_);
  return *url != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP PageMoniker::QueryInterface(REFIID riid, void** object) {
  return QueryInterfaceFrom(riid, object, {{this, {&IID_IUnknown, &IID_IPersist, &IID_IPersistStream, &IID_IMoniker}}});
}

STDMETHODIMP PageMoniker::GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* name) {
  if (name == nullptr) return E_POINTER;
  const size_t bytes = (url_.size() + 1) * sizeof(wchar_t);
  *name = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (*name == nullptr) return E_OUTOFMEMORY;
  std::memcpy(*name, url_.c_str(), bytes);
  return S_OK;
}

}  // namespace zv
