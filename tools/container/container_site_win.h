// The container's side of OLE embedding: a client site that lets the control
// activate in place inside a host window, a property bag holding an object
// element's parameters, and a sink that receives the control's events.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <oleidl.h>
#include <servprov.h>

#include <functional>
#include <string>
#include <vector>

#include "tools/container/object_params.h"
#include "platform/com_ref_count.h"

namespace zv {

class ContainerSite final : public IOleClientSite, public IOleInPlaceSite, public IServiceProvider {
 public:
  explicit ContainerSite(HWND host) : host_(host) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return S_OK; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
  STDMETHODIMP GetContainer(IOleContainer** container) override;
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow, IOleInPlaceSite
  STDMETHODIMP GetWindow(HWND* hwnd) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                LPOLEINPLACEFRAMEINFO info) override;
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

  // IServiceProvider: the browser object (SID_SWebBrowserApp) that tells the
  // page's address; offered only once the container has a page address.
  STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** object) override;
  void SetPageUrl(std::u16string url) {
    url_ = std::move(url);
    has_url_ = true;
  }

  RECT ControlRect() const { return {10, 10, 210, 60}; }

 private:
  ComRefCount refs_;
  HWND host_;
  bool has_url_ = false;
  std::u16string url_;
};

// An object element's parameters as the browser hands them to the control:
// names compared ignoring case, values as text converted on request. Writes
// are recorded in order (for printing what the control saves).
class ParamBag final : public IPropertyBag {
 public:
  explicit ParamBag(std::vector<ObjectParam> params) : params_(std::move(params)) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog* log) override;
  STDMETHODIMP Write(LPCOLESTR name, VARIANT* value) override;

  struct Written {
    std::u16string name;
    VARTYPE type;
    std::u16string text;
  };
  const std::vector<Written>& Writes() const { return writes_; }

 private:
  ComRefCount refs_;
  std::vector<ObjectParam> params_;
  std::vector<Written> writes_;
};

// A dispatch sink for the control's event interface.
class EventSink final : public IDispatch {
 public:
  EventSink(IID events, std::function<void(DISPID)> onEvent) : events_(events), on_event_(std::move(onEvent)) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override;

 private:
  ComRefCount refs_;
  IID events_;
  std::function<void(DISPID)> on_event_;
};

}  // namespace zv
