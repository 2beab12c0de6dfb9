#include "tools/container/page_browser_win.h"

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

}  // namespace zv
