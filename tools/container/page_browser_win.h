// The container's stand-in for the browser object a page's control finds
// through its client site (service SID_SWebBrowserApp): it tells the page's
// address (get_LocationURL) and nothing else.
#pragma once

#include <windows.h>

#include <exdisp.h>

#include <string>

#include "platform/com_ref_count.h"

namespace zv {

// A property the browser object does not have: its get_ and put_ methods.
#define ZV_ABSENT_PROPERTY(Name, Type)                            \
  STDMETHODIMP get_##Name(Type*) override { return E_NOTIMPL; } \
  STDMETHODIMP put_##Name(Type) override { return E_NOTIMPL; }

class PageBrowser final : public IWebBrowser2 {
 public:
  explicit PageBrowser(std::u16string url) : url_(std::move(url)) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return refs_.Increment(); }
  STDMETHODIMP_(ULONG) Release() override { return refs_.Decrement(this); }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  STDMETHODIMP get_LocationURL(BSTR* url) override;

  // Everything else a browser object offers is not there.
  STDMETHODIMP GoBack() override { return E_NOTIMPL; }
  STDMETHODIMP GoForward() override { return E_NOTIMPL; }
  STDMETHODIMP GoHome() override { return E_NOTIMPL; }
  STDMETHODIMP GoSearch() override { return E_NOTIMPL; }
  STDMETHODIMP Navigate(BSTR, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP Refresh() override { return E_NOTIMPL; }
  STDMETHODIMP Refresh2(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP Stop() override { return E_NOTIMPL; }
  STDMETHODIMP get_Application(IDispatch**) override { return E_NOTIMPL; }
  STDMETHODIMP get_Parent(IDispatch**) override { return E_NOTIMPL; }
  STDMETHODIMP get_Container(IDispatch**) override { return E_NOTIMPL; }
  STDMETHODIMP get_Document(IDispatch**) override { return E_NOTIMPL; }
  STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP get_Type(BSTR*) override { return E_NOTIMPL; }
  ZV_ABSENT_PROPERTY(Left, LONG)
  ZV_ABSENT_PROPERTY(Top, LONG)
  ZV_ABSENT_PROPERTY(Width, LONG)
  ZV_ABSENT_PROPERTY(Height, LONG)
  STDMETHODIMP get_LocationName(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_Busy(VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP Quit() override { return E_NOTIMPL; }
  STDMETHODIMP ClientToWindow(int*, int*) override { return E_NOTIMPL; }
  STDMETHODIMP PutProperty(BSTR, VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP GetProperty(BSTR, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP get_Name(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_HWND(SHANDLE_PTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_FullName(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_Path(BSTR*) override { return E_NOTIMPL; }
  ZV_ABSENT_PROPERTY(Visible, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(StatusBar, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(StatusText, BSTR)
  ZV_ABSENT_PROPERTY(ToolBar, int)
  ZV_ABSENT_PROPERTY(MenuBar, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(FullScreen, VARIANT_BOOL)
  STDMETHODIMP Navigate2(VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryStatusWB(OLECMDID, OLECMDF*) override { return E_NOTIMPL; }
  STDMETHODIMP ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP get_ReadyState(READYSTATE*) override { return E_NOTIMPL; }
  ZV_ABSENT_PROPERTY(Offline, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(Silent, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(RegisterAsBrowser, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(RegisterAsDropTarget, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(TheaterMode, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(AddressBar, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(Resizable, VARIANT_BOOL)

 private:
  ComRefCount refs_;
  std::u16string url_;
};

#undef ZV_ABSENT_PROPERTY

}  // namespace zv
