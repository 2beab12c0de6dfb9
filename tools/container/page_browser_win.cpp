#include "tools/container/page_browser_win.h"

#include "platform/com_ptr.h"

namespace zv {

STDMETHODIMP PageBrowser::QueryInterface(REFIID riid, void** object) {
  return QueryInterfaceFrom(riid, object,
                            {{&IID_IUnknown, this},
                             {&IID_IDispatch, this},
                             {&IID_IWebBrowser, this},
                             {&IID_IWebBrowserApp, this},
                             {&IID_IWebBrowser2, this}});
}

STDMETHODIMP PageBrowser::get_LocationURL(BSTR* url) {
  if (url == nullptr) return E_POINTER;
  *url = AllocBstr(url_);
  return *url != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace zv
