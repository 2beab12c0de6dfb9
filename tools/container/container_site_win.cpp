#include "tools/container/container_site_win.h"

#include "common/text/text_util.h"
#include "platform/com_ptr.h"
#include "platform/wide.h"
#include "tools/container/page_browser_win.h"

#include <shlguid.h>

namespace zv {

STDMETHODIMP ContainerSite::QueryInterface(REFIID riid, void** object) {
  // The service provider is offered once there is a page address.
  IServiceProvider* services = has_url_ ? this : nullptr;
  return QueryInterfaceFrom(riid, object,
                            {{static_cast<IOleClientSite*>(this), {&IID_IUnknown, &IID_IOleClientSite}},
                             {static_cast<IOleInPlaceSite*>(this), {&IID_IOleInPlaceSite, &IID_IOleWindow}},
                             {services, {&IID_IServiceProvider}}});
}
STDMETHODIMP_(ULONG) ContainerSite::AddRef() { return refs_.Increment(); }
STDMETHODIMP_(ULONG) ContainerSite::Release() { return refs_.Decrement(this); }

STDMETHODIMP ContainerSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP ContainerSite::GetContainer(IOleContainer** container) {
  if (container != nullptr) *container = nullptr;
  return E_NOINTERFACE;
}
STDMETHODIMP ContainerSite::QueryService(REFGUID service, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!has_url_ || !IsEqualGUID(service, SID_SWebBrowserApp)) return E_NOINTERFACE;
  const auto browser = ComPtr<PageBrowser>::Adopt(new (std::nothrow) PageBrowser(url_));
  if (!browser) return E_OUTOFMEMORY;
  return browser->QueryInterface(riid, object);
}

STDMETHODIMP ContainerSite::GetWindow(HWND* hwnd) {
  if (hwnd == nullptr) return E_POINTER;
  *hwnd = host_;
  return S_OK;
}
STDMETHODIMP ContainerSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                             LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
  if (frame != nullptr) *frame = nullptr;
  if (doc != nullptr) *doc = nullptr;
  if (pos != nullptr) *pos = ControlRect();
  if (clip != nullptr) GetClientRect(host_, clip);
  if (info != nullptr) {
    info->fMDIApp = FALSE;
    info->hwndFrame = host_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
  }
  return S_OK;
}

STDMETHODIMP ParamBag::QueryInterface(REFIID riid, void** object) {
  return QueryInterfaceFrom(riid, object, {{this, {&IID_IUnknown, &IID_IPropertyBag}}});
}
STDMETHODIMP_(ULONG) ParamBag::AddRef() { return refs_.Increment(); }
STDMETHODIMP_(ULONG) ParamBag::Release() { return refs_.Decrement(this); }

STDMETHODIMP ParamBag::Read(LPCOLESTR name, VARIANT* value, IErrorLog*) {
  if (name == nullptr || value == nullptr) return E_POINTER;
  const std::u16string* text = FindParam(params_, U16(name));
  if (text == nullptr) return E_INVALIDARG;
  const VARTYPE wanted = value->vt;
  VARIANT raw;
  VariantInit(&raw);
  raw.vt = VT_BSTR;
  raw.bstrVal = AllocBstr(*text);
  if (wanted == VT_EMPTY || wanted == VT_BSTR) {
    *value = raw;
    return S_OK;
  }
  VariantInit(value);
  const HRESULT hr = VariantChangeType(value, &raw, 0, wanted);
  VariantClear(&raw);
  return hr;
}

STDMETHODIMP ParamBag::Write(LPCOLESTR name, VARIANT* value) {
  if (name == nullptr || value == nullptr) return E_POINTER;
  VARIANT text;
  VariantInit(&text);
  std::u16string shown;
  if (SUCCEEDED(VariantChangeType(&text, value, 0, VT_BSTR))) shown = FromBstr(text.bstrVal);
  VariantClear(&text);
  writes_.push_back({U16(name), value->vt, shown});
  return S_OK;
}

STDMETHODIMP EventSink::QueryInterface(REFIID riid, void** object) {
  return QueryInterfaceFrom(riid, object, {{this, {&IID_IUnknown, &IID_IDispatch, &events_}}});
}
STDMETHODIMP_(ULONG) EventSink::AddRef() { return refs_.Increment(); }
STDMETHODIMP_(ULONG) EventSink::Release() { return refs_.Decrement(this); }
STDMETHODIMP EventSink::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}
STDMETHODIMP EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info != nullptr) *info = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
  if (result != nullptr) VariantInit(result);
  if (on_event_) on_event_(id);
  return S_OK;
}

}  // namespace zv
