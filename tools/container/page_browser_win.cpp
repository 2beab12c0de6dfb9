#include "tools/container/page_browser_win.h"

namespace zv {

STDMETHODIMP PageBrowser::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IWebBrowser) ||
      IsEqualIID(riid, IID_IWebBrowserApp) || IsEqualIID(riid, IID_IWebBrowser2)) {
    *object = static_cast<IWebBrowser2*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP PageBrowser::get_LocationURL(BSTR* url) {
  if (url == nullptr) return E_POINTER;
  *url = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(url_.data()), static_cast<UINT>(url_.size()));
  return *url != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace zv
