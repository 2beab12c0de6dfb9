// The container's side of OLE embedding: a client site that lets the control
// activate in place inside a host window, a property bag holding an object
// element's parameters, and a sink that receives the control's events.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <oleidl.h>
#include <servprov.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tools/container/object_params.h"
#include "platform/com_ref_count.h"

namespace zv {

// What the container tells the control about the page it sits in, as a
// browser does for a control in a page or in one of its frames: the top
// page's address (the browser objects' location) and the control's own
// document's (the site's container document, the container's dispatch
// service, the container's moniker). Each is told only when it is set.
struct PageAddresses {
  std::optional<std::u16string> top, container, dispatch, moniker;
};

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

  // IServiceProvider: the browser object (SID_SWebBrowserApp, also behind
  // SID_STopLevelBrowser) that tells the top page's address and the
  // document's dispatch interface (SID_SContainerDispatch); offered only when
  // the container tells one of them.
  STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** object) override;
  void SetAddresses(PageAddresses addresses) { addresses_ = std::move(addresses); }

  RECT ControlRect() const { return {10, 10, 210, 60}; }

 private:
  ComRefCount refs_;
  HWND host_;
  PageAddresses addresses_;
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
