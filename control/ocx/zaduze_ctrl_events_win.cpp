// The control's class information and its one connection point, through
// which it fires AfterCreated to the page's event sinks.
#include "control/ocx/zaduze_ctrl.h"

#include <olectl.h>

#include "control/ocx/com_boundary_win.h"
#include "control/ocx/com_module_win.h"
#include "control/ocx/zaduze_guids.h"

namespace zv {

// ---------------------------------------------------------------------------
// Class information and events

STDMETHODIMP CZaduzeCtrl::GetClassInfo(ITypeInfo** info) { return ModuleTypeInfo(CLSID_Zaduze, info); }

STDMETHODIMP CZaduzeCtrl::GetGUID(DWORD kind, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = DIID_DZaduzeEvents;
  return S_OK;
}

namespace {

// The enumerator over the control's one connection point.
class PointEnumerator final
    : public ModuleObject<PointEnumerator, IEnumConnectionPoints, IID_IEnumConnectionPoints> {
 public:
  explicit PointEnumerator(IConnectionPoint* point, ULONG position = 0) : position_(position) {
    point_.share(point);
  }
  STDMETHODIMP Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override {
    if (points == nullptr) return E_POINTER;
    ULONG n = 0;
    if (count > 0 && position_ == 0) {
      points[0] = point_.copy();
      n = 1;
      position_ = 1;
    }
    if (fetched != nullptr) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    position_ += count;
    return position_ <= 1 ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumConnectionPoints** clone) override {
    if (clone == nullptr) return E_POINTER;
    *clone = new (std::nothrow) PointEnumerator(point_.get(), position_);
    return *clone ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ComPtr<IConnectionPoint> point_;
  ULONG position_;
};

}  // namespace

STDMETHODIMP CZaduzeCtrl::EnumConnectionPoints(IEnumConnectionPoints** points) {
  return ComBoundary([&]() -> HRESULT {
    if (points == nullptr) return E_POINTER;
    *points = new (std::nothrow) PointEnumerator(&m_events);
    return *points ? S_OK : E_OUTOFMEMORY;
  });
}

STDMETHODIMP CZaduzeCtrl::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  if (!IsEqualIID(riid, DIID_DZaduzeEvents)) return CONNECT_E_NOCONNECTION;
  *point = &m_events;
  m_events.AddRef();
  return S_OK;
}

void CZaduzeCtrl::FireAfterCreated() {
  if (!m_bEventsFrozen) m_events.Fire(kDispidAfterCreated);
}

STDMETHODIMP CZaduzeCtrl::EventPoint::QueryInterface(REFIID riid, void** object) {
  return QueryInterfaceFrom(riid, object, {{this, {&IID_IUnknown, &IID_IConnectionPoint}}});
}

// The connection point lives inside the control and keeps it alive.
STDMETHODIMP_(ULONG) CZaduzeCtrl::EventPoint::AddRef() { return owner_.AddRef(); }
STDMETHODIMP_(ULONG) CZaduzeCtrl::EventPoint::Release() { return owner_.Release(); }

STDMETHODIMP CZaduzeCtrl::EventPoint::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = DIID_DZaduzeEvents;
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::EventPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (container == nullptr) return E_POINTER;
  *container = &owner_;
  owner_.AddRef();
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::EventPoint::Advise(IUnknown* sink, DWORD* cookie) {
  return ComBoundary([&]() -> HRESULT {
    if (cookie == nullptr) return E_POINTER;
    *cookie = 0;
    if (sink == nullptr) return E_POINTER;
    ComPtr<IDispatch> dispatch;
    if (FAILED(sink->QueryInterface(DIID_DZaduzeEvents, dispatch.put_void())) &&
        FAILED(sink->QueryInterface(IID_IDispatch, dispatch.put_void())))
      return CONNECT_E_CANNOTCONNECT;
    sinks_.push_back({next_cookie_, std::move(dispatch)});
    *cookie = next_cookie_++;
    return S_OK;
  });
}

STDMETHODIMP CZaduzeCtrl::EventPoint::Unadvise(DWORD cookie) {
  for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
    if (it->cookie == cookie) {
      // Released once it is out of the list (the sink may call back).
      const ComPtr<IDispatch> gone = std::move(it->dispatch);
      sinks_.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP CZaduzeCtrl::EventPoint::EnumConnections(IEnumConnections** connections) {
  if (connections != nullptr) *connections = nullptr;
  return E_NOTIMPL;
}

void CZaduzeCtrl::EventPoint::Fire(DISPID id) {
  // A sink may disconnect itself while it handles the event: fire over a copy.
  std::vector<ComPtr<IDispatch>> targets(sinks_.size());
  for (size_t i = 0; i < sinks_.size(); ++i) targets[i].share(sinks_[i].dispatch.get());
  for (auto& target : targets) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
    target.reset();
  }
}

}  // namespace zv
