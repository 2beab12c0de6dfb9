#include "tools/container/container_site_win.h"

#include "common/text/text_util.h"
#include "platform/com_ptr.h"
#include "platform/wide.h"
#include "tools/container/page_browser_win.h"

#include <docobj.h>
#include <shlguid.h>

namespace zv {

STDMETHODIMP ContainerSite::QueryInterface(REFIID riid, void** object) {
  IServiceProvider* services = addresses_.top || addresses_.dispatch ? this : nullptr;
  return QueryInterfaceFrom(riid, object,
                            {{static_cast<IOleClientSite*>(this), {&IID_IUnknown, &IID_IOleClientSite}},
                             {static_cast<IOleInPlaceSite*>(this), {&IID_IOleInPlaceSite, &IID_IOleWindow}},
                             {services, {&IID_IServiceProvider}}});
}
STDMETHODIMP_(ULONG) ContainerSite::AddRef() { return refs_.Increment(); }
STDMETHODIMP_(ULONG) ContainerSite::Release() { return refs_.Decrement(this); }

namespace {

// A new stand-in object asked for `riid`.
template <typename T>
HRESULT Offer(const std::u16string& url, REFIID riid, void** object) {
  const auto created = ComPtr<T>::Adopt(new (std::nothrow) T(url));
  if (!created) return E_OUTOFMEMORY;
  return created->QueryInterface(riid, object);
}

}  // namespace

STDMETHODIMP ContainerSite::GetMoniker(DWORD, DWORD which, IMoniker** moniker) {
  if (moniker == nullptr) return E_POINTER;
  *moniker = nullptr;
  if (which != OLEWHICHMK_CONTAINER || !addresses_.moniker) return E_FAIL;
  return Offer<PageMoniker>(*addresses_.moniker, IID_IMoniker, reinterpret_cast<void**>(moniker));
}
STDMETHODIMP ContainerSite::GetContainer(IOleContainer** container) {
  if (container == nullptr) return E_POINTER;
  *container = nullptr;
  if (!addresses_.container) return E_NOINTERFACE;
  return Offer<PageDocument>(*addresses_.container, IID_IOleContainer, reinterpret_cast<void**>(container));
}
STDMETHODIMP ContainerSite::QueryService(REFGUID service, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (addresses_.top && IsEqualGUID(service, SID_SWebBrowserApp))
    return Offer<PageBrowser>(*addresses_.top, riid, object);
  // The top-level browser's services: the same browser object.
  if (addresses_.top && IsEqualGUID(service, SID_STopLevelBrowser)) return QueryInterface(riid, object);
  if (addresses_.dispatch && IsEqualGUID(service, SID_SContainerDispatch))
    return Offer<PageDocument>(*addresses_.dispatch, riid, object);
  return E_NOINTERFACE;
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
