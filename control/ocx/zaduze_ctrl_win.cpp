// The COM side of the control: its life, reference counting, the interfaces
// it answers to and its property page. The other COM parts are in
// zaduze_ctrl_dispatch_win.cpp (dispatch), zaduze_ctrl_events_win.cpp (class
// information, the event connection point), zaduze_ctrl_persistence_win.cpp
// (property bags, streams) and zaduze_ctrl_embedding_win.cpp (the OLE
// embedding a browser uses to activate the control in place, its window).
#include "control/ocx/zaduze_ctrl.h"

#include <olectl.h>

#include "control/agentlink/notice_popup_win.h"
#include "control/ocx/com_module_win.h"
#include "control/ocx/zaduze_guids.h"

namespace zv {

// ---------------------------------------------------------------------------
// Life

CZaduzeCtrl::CZaduzeCtrl() : m_pAlert(std::make_unique<NoticePopup>()) { LockModule(); }

CZaduzeCtrl::~CZaduzeCtrl() {
  m_wnd.Destroy();
  m_pAlert.reset();
  // Released here, before the module's lock goes.
  m_pViewAdvise.reset();
  m_pOleAdviseHolder.reset();
  m_pInPlaceSite.reset();
  m_pClientSite.reset();
  UnlockModule();
}

HRESULT CZaduzeCtrl::Create(IUnknown*, REFIID riid, void** object) {
  const auto ctrl = ComPtr<CZaduzeCtrl>::Adopt(new (std::nothrow) CZaduzeCtrl());
  if (!ctrl) return E_OUTOFMEMORY;
  return ctrl->QueryInterface(riid, object);
}

STDMETHODIMP CZaduzeCtrl::QueryInterface(REFIID riid, void** object) {
  return QueryInterfaceFrom(
      riid, object,
      {{static_cast<IDispatch*>(this), {&IID_IUnknown, &IID_IDispatch, &DIID_DZaduze}},
       {static_cast<IProvideClassInfo2*>(this), {&IID_IProvideClassInfo, &IID_IProvideClassInfo2}},
       {static_cast<IConnectionPointContainer*>(this), {&IID_IConnectionPointContainer}},
       {static_cast<IPersistPropertyBag*>(this), {&IID_IPersistPropertyBag}},
       {static_cast<IPersistStreamInit*>(this), {&IID_IPersistStreamInit, &IID_IPersist}},
       {static_cast<IOleObject*>(this), {&IID_IOleObject}},
       {static_cast<IOleInPlaceObject*>(this), {&IID_IOleInPlaceObject, &IID_IOleWindow}},
       {static_cast<IOleInPlaceActiveObject*>(this), {&IID_IOleInPlaceActiveObject}},
       {static_cast<IOleControl*>(this), {&IID_IOleControl}},
       {static_cast<IViewObject2*>(this), {&IID_IViewObject, &IID_IViewObject2}},
       {static_cast<ISpecifyPropertyPages*>(this), {&IID_ISpecifyPropertyPages}}});
}

STDMETHODIMP_(ULONG) CZaduzeCtrl::AddRef() { return m_refs.Increment(); }

STDMETHODIMP_(ULONG) CZaduzeCtrl::Release() { return m_refs.Decrement(this); }

// ---------------------------------------------------------------------------
// Property pages

STDMETHODIMP CZaduzeCtrl::GetPages(CAUUID* pages) {
  if (pages == nullptr) return E_POINTER;
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (pages->pElems == nullptr) {
    pages->cElems = 0;
    return E_OUTOFMEMORY;
  }
  pages->cElems = 1;
  pages->pElems[0] = CLSID_ZaduzePropPage;
  return S_OK;
}

}  // namespace zv
