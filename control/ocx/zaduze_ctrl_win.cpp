// The COM side of the control: reference counting, dispatch, the event
// connection point, persistence and the OLE embedding a browser uses to
// activate the control in place.
#include "control/ocx/zaduze_ctrl.h"

#include <olectl.h>

#include "control/agentlink/notice_popup_win.h"
#include "control/ocx/com_boundary_win.h"
#include "control/ocx/com_module_win.h"
#include "control/ocx/zaduze_guids.h"
#include "platform/wide.h"

namespace zv {

namespace {

template <typename T>
void SafeRelease(T*& p) {
  if (p != nullptr) {
    T* q = p;
    p = nullptr;
    q->Release();
  }
}

constexpr wchar_t kWindowClass[] = L"ZaduzeCtrlWindow";

// The largest stream record the control reads or writes: its properties are
// a few short lists, far below this.
constexpr size_t kMaxPersistedBytes = 64 * 1024;

// Property-bag names of the extent and the window text, stored before the
// control's own properties like the framework stores its stock ones.
constexpr wchar_t kBagVersion[] = L"_Version";
constexpr wchar_t kBagExtentX[] = L"_ExtentX";
constexpr wchar_t kBagExtentY[] = L"_ExtentY";
constexpr wchar_t kBagText[] = L"Text";

// HIMETRIC to pixels on the screen.
LONG HimetricToPixels(LONG hm, int dpi) { return MulDiv(hm, dpi, 2540); }
int ScreenDpi(bool horizontal) {
  HDC dc = GetDC(nullptr);
  const int dpi = GetDeviceCaps(dc, horizontal ? LOGPIXELSX : LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

// Reads one value of a property bag converted to `type`; false when absent
// or not convertible.
bool ReadBag(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, VARTYPE type, VARIANT& out) {
  VariantInit(&out);
  VARIANT raw;
  VariantInit(&raw);
  raw.vt = type;
  HRESULT hr = bag->Read(name, &raw, log);
  if (FAILED(hr)) {
    // Some bags only hand out their own type: ask again without one.
    VariantClear(&raw);
    raw.vt = VT_EMPTY;
    hr = bag->Read(name, &raw, log);
    if (FAILED(hr)) return false;
  }
  hr = VariantChangeType(&out, &raw, 0, type);
  VariantClear(&raw);
  return SUCCEEDED(hr);
}

HRESULT WriteBag(IPropertyBag* bag, const wchar_t* name, VARIANT& value) {
  const HRESULT hr = bag->Write(name, &value);
  VariantClear(&value);
  return hr;
}

}  // namespace

void UnregisterControlWindowClass(HINSTANCE module) { UnregisterClassW(kWindowClass, module); }

// ---------------------------------------------------------------------------
// Life

CZaduzeCtrl::CZaduzeCtrl() : m_pAlert(std::make_unique<NoticePopup>()) { LockModule(); }

CZaduzeCtrl::~CZaduzeCtrl() {
  m_wnd.Destroy();
  m_pAlert.reset();
  SafeRelease(m_pViewAdvise);
  SafeRelease(m_pOleAdviseHolder);
  SafeRelease(m_pInPlaceSite);
  SafeRelease(m_pClientSite);
  UnlockModule();
}

HRESULT CZaduzeCtrl::Create(IUnknown*, REFIID riid, void** object) {
  auto* ctrl = new (std::nothrow) CZaduzeCtrl();
  if (ctrl == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = ctrl->QueryInterface(riid, object);
  ctrl->Release();
  return hr;
}

STDMETHODIMP CZaduzeCtrl::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  IUnknown* found = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID_DZaduze))
    found = static_cast<IDispatch*>(this);
  else if (IsEqualIID(riid, IID_IProvideClassInfo) || IsEqualIID(riid, IID_IProvideClassInfo2))
    found = static_cast<IProvideClassInfo2*>(this);
  else if (IsEqualIID(riid, IID_IConnectionPointContainer))
    found = static_cast<IConnectionPointContainer*>(this);
  else if (IsEqualIID(riid, IID_IPersistPropertyBag))
    found = static_cast<IPersistPropertyBag*>(this);
  else if (IsEqualIID(riid, IID_IPersistStreamInit) || IsEqualIID(riid, IID_IPersist))
    found = static_cast<IPersistStreamInit*>(this);
  else if (IsEqualIID(riid, IID_IOleObject))
    found = static_cast<IOleObject*>(this);
  else if (IsEqualIID(riid, IID_IOleInPlaceObject) || IsEqualIID(riid, IID_IOleWindow))
    found = static_cast<IOleInPlaceObject*>(this);
  else if (IsEqualIID(riid, IID_IOleInPlaceActiveObject))
    found = static_cast<IOleInPlaceActiveObject*>(this);
  else if (IsEqualIID(riid, IID_IOleControl))
    found = static_cast<IOleControl*>(this);
  else if (IsEqualIID(riid, IID_IViewObject) || IsEqualIID(riid, IID_IViewObject2))
    found = static_cast<IViewObject2*>(this);
  else if (IsEqualIID(riid, IID_ISpecifyPropertyPages))
    found = static_cast<ISpecifyPropertyPages*>(this);
  if (found == nullptr) return E_NOINTERFACE;
  found->AddRef();
  *object = found;
  return S_OK;
}

STDMETHODIMP_(ULONG) CZaduzeCtrl::AddRef() { return m_refs.Increment(); }

STDMETHODIMP_(ULONG) CZaduzeCtrl::Release() { return m_refs.Decrement(this); }

// ---------------------------------------------------------------------------
// Dispatch

STDMETHODIMP CZaduzeCtrl::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = ModuleTypeLib() != nullptr ? 1 : 0;
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return ComBoundary([&]() -> HRESULT {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return ModuleTypeInfo(DIID_DZaduze, info);
  });
}

STDMETHODIMP CZaduzeCtrl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return ComBoundary([&]() -> HRESULT {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (names == nullptr || ids == nullptr) return E_POINTER;
    if (count == 0) return S_OK;
    if (names[0] == nullptr) {
      for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
      return DISP_E_UNKNOWNNAME;
    }
    HRESULT hr = S_OK;
    const auto id = FindDispatchId(U16(names[0]));
    ids[0] = id ? *id : DISPID_UNKNOWN;
    if (!id) hr = DISP_E_UNKNOWNNAME;
    // Parameters are passed by position only.
    for (UINT i = 1; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  });
}

STDMETHODIMP CZaduzeCtrl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO*, UINT* argErr) {
  return ComBoundary([&]() -> HRESULT {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    const DispatchMember* member = FindDispatchMember(id);
    if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (params == nullptr) params = &none;
    // A caller's counts must come with their arrays.
    if ((params->cArgs != 0 && params->rgvarg == nullptr) ||
        (params->cNamedArgs != 0 && params->rgdispidNamedArgs == nullptr) || params->cNamedArgs > params->cArgs)
      return E_INVALIDARG;
    if (result != nullptr) VariantInit(result);
    if (member->kind == MemberKind::Property) return InvokeProperty(*member, flags, params, result, argErr);
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    return InvokeMethod(*member, params, result, argErr);
  });
}

namespace {

// Converts argument `index` (0 = first) of the call to `type`.
HRESULT Argument(DISPPARAMS* params, UINT index, VARTYPE type, VARIANT& out, UINT* argErr) {
  const UINT position = params->cArgs - 1 - index;  // arguments arrive last first
  VariantInit(&out);
  const HRESULT hr = VariantChangeType(&out, &params->rgvarg[position], 0, type);
  if (FAILED(hr) && argErr != nullptr) *argErr = position;
  return hr;
}

void SetResult(VARIANT* result, short value) {
  if (result == nullptr) return;
  result->vt = VT_I2;
  result->iVal = value;
}

void SetResult(VARIANT* result, const std::u16string& text) {
  if (result == nullptr) return;
  result->vt = VT_BSTR;
  result->bstrVal = AllocBstr(text);
}

}  // namespace

HRESULT CZaduzeCtrl::InvokeProperty(const DispatchMember& member, WORD flags, DISPPARAMS* params, VARIANT* result,
                                    UINT* argErr) {
  const StoredProperty* stored = FindStoredProperty(member.dispid);
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) return DISP_E_PARAMNOTOPTIONAL;
    VARIANT value;
    const HRESULT hr = Argument(params, 0, member.result == ValueType::Short ? VT_I2 : VT_BSTR, value, argErr);
    if (FAILED(hr)) return hr;
    if (member.dispid == kDispidText) {
      SetText(FromBstr(value.bstrVal));
    } else if (stored->shortField) {
      m_props.*stored->shortField = value.iVal;
    } else {
      m_props.*stored->textField = FromBstr(value.bstrVal);
    }
    VariantClear(&value);
    SetModifiedFlag();
    return S_OK;
  }
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
  if (member.dispid == kDispidText)
    SetResult(result, GetText());
  else if (stored->shortField)
    SetResult(result, m_props.*stored->shortField);
  else
    SetResult(result, m_props.*stored->textField);
  return S_OK;
}

HRESULT CZaduzeCtrl::InvokeMethod(const DispatchMember& member, DISPPARAMS* params, VARIANT* result, UINT* argErr) {
  if (params->cArgs != member.params.size()) return DISP_E_BADPARAMCOUNT;
  std::u16string args[2];
  for (UINT i = 0; i < params->cArgs; ++i) {
    VARIANT value;
    const HRESULT hr = Argument(params, i, VT_BSTR, value, argErr);
    if (FAILED(hr)) return hr;
    args[i] = FromBstr(value.bstrVal);
    VariantClear(&value);
  }
  // A page the site lock refuses gets every method's failure value.
  if (!PageAllowed()) {
    if (member.result == ValueType::Short) SetResult(result, static_cast<short>(-1));
    if (member.result == ValueType::String) SetResult(result, std::u16string());
    return S_OK;
  }
  // A method may pump messages (the About box) or block on the agent: keep
  // the object alive whatever the container does meanwhile.
  struct Hold {
    CZaduzeCtrl* self;
    ~Hold() { self->Release(); }
  } hold{this};
  AddRef();
  switch (member.dispid) {
    case kDispidAboutBox: AboutBox(); break;
    case kDispidGetVersion: SetResult(result, GetVersion()); break;
    case kDispidGetOSVersion: SetResult(result, GetOSVersion()); break;
    case kDispidStartZaduzeApp: SetResult(result, StartZaduzeApp()); break;
    case kDispidStopZaduzeApp: SetResult(result, StopZaduzeApp()); break;
    case kDispidGetVersion2: SetResult(result, GetVersion2()); break;
    case kDispidSaveTextAsFile: SetResult(result, SaveTextAsFile(args[0], args[1])); break;
    case kDispidLoadTextFromFile: SetResult(result, LoadTextFromFile(args[0])); break;
    case kDispidGetMonitorCount: SetResult(result, GetMonitorCount()); break;
    case kDispidGetCheatAppCount: SetResult(result, GetCheatAppCount()); break;
    case kDispidTrustzoneAddIP: SetResult(result, TrustzoneAddIP(args[0])); break;
    case kDispidTrustzoneAddDomain: SetResult(result, TrustzoneAddDomain(args[0])); break;
    case kDispidTrustzoneQueryIP: SetResult(result, TrustzoneQueryIP(args[0])); break;
    case kDispidTrustzoneQueryDomain: SetResult(result, TrustzoneQueryDomain(args[0])); break;
    default: break;
  }
  return S_OK;
}

std::u16string CZaduzeCtrl::GetText() const {
  if (m_wnd.hwnd() == nullptr) return m_text;
  const int length = GetWindowTextLengthW(m_wnd.hwnd());
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  const int got = GetWindowTextW(m_wnd.hwnd(), W(text), length + 1);
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return text;
}

void CZaduzeCtrl::SetText(const std::u16string& text) {
  m_text = text;
  if (m_wnd.hwnd() != nullptr) SetWindowTextW(m_wnd.hwnd(), W(m_text));
  if (m_pViewAdvise != nullptr) m_pViewAdvise->OnViewChange(DVASPECT_CONTENT, -1);
}

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
class PointEnumerator final : public IEnumConnectionPoints {
 public:
  explicit PointEnumerator(IConnectionPoint* point, ULONG position = 0) : point_(point), position_(position) {
    point_->AddRef();
    LockModule();
  }
  ~PointEnumerator() {
    point_->Release();
    UnlockModule();
  }
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumConnectionPoints)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return refs_.Increment(); }
  STDMETHODIMP_(ULONG) Release() override { return refs_.Decrement(this); }
  STDMETHODIMP Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override {
    if (points == nullptr) return E_POINTER;
    ULONG n = 0;
    if (count > 0 && position_ == 0) {
      points[0] = point_;
      point_->AddRef();
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
    *clone = new (std::nothrow) PointEnumerator(point_, position_);
    return *clone ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ComRefCount refs_;
  IConnectionPoint* point_;
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

CZaduzeCtrl::EventPoint::~EventPoint() {
  for (auto& sink : sinks_) sink.dispatch->Release();
}

STDMETHODIMP CZaduzeCtrl::EventPoint::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
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
    IDispatch* dispatch = nullptr;
    if (FAILED(sink->QueryInterface(DIID_DZaduzeEvents, reinterpret_cast<void**>(&dispatch))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
      return CONNECT_E_CANNOTCONNECT;
    sinks_.push_back({next_cookie_, dispatch});
    *cookie = next_cookie_++;
    return S_OK;
  });
}

STDMETHODIMP CZaduzeCtrl::EventPoint::Unadvise(DWORD cookie) {
  for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
    if (it->cookie == cookie) {
      IDispatch* dispatch = it->dispatch;
      sinks_.erase(it);
      dispatch->Release();
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
  std::vector<IDispatch*> targets;
  for (auto& sink : sinks_) {
    sink.dispatch->AddRef();
    targets.push_back(sink.dispatch);
  }
  for (IDispatch* target : targets) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
    target->Release();
  }
}

// ---------------------------------------------------------------------------
// Persistence

STDMETHODIMP CZaduzeCtrl::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_Zaduze;
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::InitNew() {
  return ComBoundary([&]() -> HRESULT {
    m_props.Reset();
    return S_OK;
  });
}

STDMETHODIMP CZaduzeCtrl::Load(IPropertyBag* bag, IErrorLog* log) {
  return ComBoundary([&]() -> HRESULT {
    if (bag == nullptr) return E_POINTER;
    VARIANT v;
    if (ReadBag(bag, log, kBagExtentX, VT_I4, v)) m_extent.cx = v.lVal;
    if (ReadBag(bag, log, kBagExtentY, VT_I4, v)) m_extent.cy = v.lVal;
    if (ReadBag(bag, log, kBagText, VT_BSTR, v)) {
      SetText(FromBstr(v.bstrVal));
      VariantClear(&v);
    }
    for (const auto& p : StoredPropertiesInExchangeOrder()) {
      if (p.shortField) {
        // Absent or not convertible: the value stays as it is.
        if (ReadBag(bag, log, reinterpret_cast<const wchar_t*>(p.persistedName), VT_I2, v)) m_props.*p.shortField = v.iVal;
      } else {
        // Absent: the default, the empty text.
        std::u16string text;
        if (ReadBag(bag, log, reinterpret_cast<const wchar_t*>(p.persistedName), VT_BSTR, v)) {
          text = FromBstr(v.bstrVal);
          VariantClear(&v);
        }
        m_props.*p.textField = std::move(text);
      }
    }
    m_bModified = false;
    return S_OK;
  });
}

STDMETHODIMP CZaduzeCtrl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL) {
  return ComBoundary([&]() -> HRESULT {
    if (bag == nullptr) return E_POINTER;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = static_cast<LONG>(kPersistVersion);
    HRESULT hr = WriteBag(bag, kBagVersion, v);
    v.vt = VT_I4;
    v.lVal = m_extent.cx;
    if (SUCCEEDED(hr)) hr = WriteBag(bag, kBagExtentX, v);
    v.vt = VT_I4;
    v.lVal = m_extent.cy;
    if (SUCCEEDED(hr)) hr = WriteBag(bag, kBagExtentY, v);
    const std::u16string text = GetText();
    if (SUCCEEDED(hr) && !text.empty()) {
      v.vt = VT_BSTR;
      v.bstrVal = AllocBstr(text);
      hr = WriteBag(bag, kBagText, v);
    }
    for (const auto& p : StoredPropertiesInExchangeOrder()) {
      if (FAILED(hr)) break;
      const auto* name = reinterpret_cast<const wchar_t*>(p.persistedName);
      if (p.shortField) {
        v.vt = VT_I2;
        v.iVal = m_props.*p.shortField;
        hr = WriteBag(bag, name, v);
      } else if (!(m_props.*p.textField).empty()) {  // the default is not written
        v.vt = VT_BSTR;
        v.bstrVal = AllocBstr(m_props.*p.textField);
        hr = WriteBag(bag, name, v);
      }
    }
    if (SUCCEEDED(hr) && clearDirty) m_bModified = false;
    return hr;
  });
}

STDMETHODIMP CZaduzeCtrl::IsDirty() { return m_bModified ? S_OK : S_FALSE; }

STDMETHODIMP CZaduzeCtrl::Load(LPSTREAM stream) {
  return ComBoundary([&]() -> HRESULT {
    if (stream == nullptr) return E_POINTER;
    // The record is read whole first, so a short stream changes nothing. At
    // most kMaxPersistedBytes are read: a record that does not fit is
    // refused, whatever the stream holds.
    std::vector<uint8_t> bytes;
    uint8_t chunk[4096];
    while (bytes.size() < kMaxPersistedBytes) {
      ULONG got = 0;
      const ULONG want = static_cast<ULONG>(std::min<size_t>(sizeof chunk, kMaxPersistedBytes - bytes.size()));
      const HRESULT hr = stream->Read(chunk, want, &got);
      if (FAILED(hr)) return hr;
      if (got > want) return E_UNEXPECTED;
      bytes.insert(bytes.end(), chunk, chunk + got);
      if (got < want) break;
    }
    PersistedState state;
    if (!DeserializeState(bytes.data(), bytes.size(), state)) return E_FAIL;
    // Give back what follows the record (a container may store more after it).
    const size_t used = SerializedSize(state);
    if (used < bytes.size()) {
      LARGE_INTEGER back;
      back.QuadPart = -static_cast<LONGLONG>(bytes.size() - used);
      stream->Seek(back, STREAM_SEEK_CUR, nullptr);
    }
    m_extent.cx = state.extentX;
    m_extent.cy = state.extentY;
    SetText(state.text);
    m_props = state.props;
    m_bModified = false;
    return S_OK;
  });
}

STDMETHODIMP CZaduzeCtrl::Save(LPSTREAM stream, BOOL clearDirty) {
  return ComBoundary([&]() -> HRESULT {
    if (stream == nullptr) return E_POINTER;
    PersistedState state{m_extent.cx, m_extent.cy, GetText(), m_props};
    // What Load would refuse is not written.
    if (SerializedSize(state) > kMaxPersistedBytes) return STG_E_CANTSAVE;
    const auto bytes = SerializeState(state);
    ULONG written = 0;
    const HRESULT hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    if (FAILED(hr)) return hr;
    if (written != bytes.size()) return STG_E_CANTSAVE;
    if (clearDirty) m_bModified = false;
    return S_OK;
  });
}

STDMETHODIMP CZaduzeCtrl::GetSizeMax(ULARGE_INTEGER* size) {
  return ComBoundary([&]() -> HRESULT {
    if (size == nullptr) return E_POINTER;
    size->QuadPart = SerializedSize(PersistedState{m_extent.cx, m_extent.cy, GetText(), m_props});
    return S_OK;
  });
}

// ---------------------------------------------------------------------------
// OLE embedding

STDMETHODIMP CZaduzeCtrl::SetClientSite(IOleClientSite* site) {
  if (site != nullptr) site->AddRef();
  SafeRelease(m_pClientSite);
  m_pClientSite = site;
  // Another site may be another page; a window's steps keep their verdict.
  if (site != nullptr && m_wnd.hwnd() == nullptr) ForgetSiteVerdict();
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  *site = m_pClientSite;
  if (m_pClientSite != nullptr) m_pClientSite->AddRef();
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP CZaduzeCtrl::Close(DWORD) {
  return ComBoundary([&]() -> HRESULT {
    AddRef();
    m_bClosed = true;
    InPlaceDeactivate();
    if (m_pOleAdviseHolder != nullptr) m_pOleAdviseHolder->SendOnClose();
    Release();
    return S_OK;
  });
}

STDMETHODIMP CZaduzeCtrl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }
STDMETHODIMP CZaduzeCtrl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}
STDMETHODIMP CZaduzeCtrl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }
STDMETHODIMP CZaduzeCtrl::GetClipboardData(DWORD, IDataObject** data) {
  if (data != nullptr) *data = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CZaduzeCtrl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT posRect) {
  return ComBoundary([&]() -> HRESULT {
    if (site != nullptr && m_pClientSite == nullptr) SetClientSite(site);
    switch (verb) {
      case OLEIVERB_PRIMARY:
      case OLEIVERB_SHOW:
      case OLEIVERB_INPLACEACTIVATE:
      case OLEIVERB_UIACTIVATE:
        return InPlaceActivate(verb, parent, posRect);
      case OLEIVERB_HIDE:
        if (m_wnd.hwnd() != nullptr) ShowWindow(m_wnd.hwnd(), SW_HIDE);
        return S_OK;
      case OLEIVERB_PROPERTIES:
        return OLEOBJ_S_CANNOT_DOVERB_NOW;
      default:
        return verb < 0 ? E_NOTIMPL : OLEOBJ_S_INVALIDVERB;
    }
  });
}

HRESULT CZaduzeCtrl::InPlaceActivate(LONG verb, HWND parent, LPCRECT posRect) {
  if (m_pClientSite == nullptr) return E_UNEXPECTED;
  if (!m_bInPlaceActive) {
    IOleInPlaceSite* site = nullptr;
    if (FAILED(m_pClientSite->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&site))))
      return E_NOINTERFACE;
    if (site->CanInPlaceActivate() != S_OK) {
      site->Release();
      return E_FAIL;
    }
    SafeRelease(m_pInPlaceSite);
    m_pInPlaceSite = site;
    m_pInPlaceSite->OnInPlaceActivate();
    m_bInPlaceActive = true;

    HWND siteWindow = nullptr;
    m_pInPlaceSite->GetWindow(&siteWindow);
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* doc = nullptr;
    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof frameInfo;
    if (SUCCEEDED(m_pInPlaceSite->GetWindowContext(&frame, &doc, &pos, &clip, &frameInfo))) {
      if (posRect == nullptr) posRect = &pos;
    }
    SafeRelease(frame);
    SafeRelease(doc);
    if (siteWindow == nullptr) siteWindow = parent;
    const RECT rect = posRect != nullptr ? *posRect : RECT{0, 0, HimetricToPixels(m_extent.cx, ScreenDpi(true)),
                                                           HimetricToPixels(m_extent.cy, ScreenDpi(false))};
    AddRef();  // the creation step may take long and call out to the page
    m_bClosed = false;
    bool created = false;
    {
      struct CreateStep {
        bool& flag;
        ~CreateStep() { flag = false; }
      } step{m_bInCreateStep};
      m_bInCreateStep = true;
      created = m_wnd.hwnd() != nullptr || CreateControlWindow(siteWindow, rect);
    }
    if (m_bTearDownPending) {
      // The page tore the control down during the creation step: do it now.
      InPlaceDeactivate();
      m_bTearDownPending = false;
      Release();
      return S_OK;
    }
    Release();
    if (!created) {
      m_bInPlaceActive = false;
      m_pInPlaceSite->OnInPlaceDeactivate();
      SafeRelease(m_pInPlaceSite);
      return E_FAIL;
    }
  }
  if (m_wnd.hwnd() != nullptr) ShowWindow(m_wnd.hwnd(), SW_SHOWNA);
  if (verb == OLEIVERB_UIACTIVATE && !m_bUIActive && m_pInPlaceSite != nullptr) {
    m_bUIActive = true;
    m_pInPlaceSite->OnUIActivate();
    if (m_wnd.hwnd() != nullptr) SetFocus(m_wnd.hwnd());
  }
  return S_OK;
}

bool CZaduzeCtrl::CreateControlWindow(HWND parent, const RECT& rect) {
  WindowClass cls;
  cls.name = kWindowClass;
  cls.base = L"STATIC";
  const DWORD style = (parent != nullptr ? WS_CHILD : WS_POPUP) | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  return m_wnd.Create(cls, 0, reinterpret_cast<const wchar_t*>(m_text.c_str()), style, rect, parent, nullptr);
}

void CZaduzeCtrl::DestroyControlWindow() {
  if (m_wnd.hwnd() == nullptr) return;
  m_text = GetText();
  m_wnd.Destroy();
}

// No exception leaves the window procedure: a failing creation step aborts
// the window's creation, any other message is answered 0.
LRESULT CZaduzeCtrl::CtrlWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  try {
    return HandleMessageUnguarded(msg, wParam, lParam);
  } catch (...) {
    return msg == WM_CREATE ? -1 : 0;
  }
}

LRESULT CZaduzeCtrl::CtrlWindow::HandleMessageUnguarded(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      if (Default(msg, wParam, lParam) == -1) return -1;
      return owner_.OnCreateStep();
    case WM_DESTROY: {
      // Destroyed from outside while it is still being created (its parent
      // went): nothing more is started for it.
      if (owner_.m_bInCreateStep) owner_.m_bTearDownPending = true;
      const LRESULT r = Default(msg, wParam, lParam);
      owner_.OnDestroyStep();
      return r;
    }
    case WM_PAINT: {
      // The control shows nothing of its own.
      ValidateRect(hwnd(), nullptr);
      return 0;
    }
    case WM_TIMER:
      if (wParam == ID_TIMER_SUPERVISE) {
        owner_.OnSuperviseTimer();
        return Default(msg, wParam, lParam);
      }
      break;
    default:
      break;
  }
  return Default(msg, wParam, lParam);
}

STDMETHODIMP CZaduzeCtrl::EnumVerbs(IEnumOLEVERB** verbs) { return OleRegEnumVerbs(CLSID_Zaduze, verbs); }
STDMETHODIMP CZaduzeCtrl::Update() { return S_OK; }
STDMETHODIMP CZaduzeCtrl::IsUpToDate() { return S_OK; }
STDMETHODIMP CZaduzeCtrl::GetUserClassID(CLSID* clsid) { return GetClassID(clsid); }
STDMETHODIMP CZaduzeCtrl::GetUserType(DWORD form, LPOLESTR* type) { return OleRegGetUserType(CLSID_Zaduze, form, type); }

STDMETHODIMP CZaduzeCtrl::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size == nullptr) return E_POINTER;
  m_extent = *size;
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size == nullptr) return E_POINTER;
  *size = m_extent;
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::Advise(IAdviseSink* sink, DWORD* cookie) {
  if (m_pOleAdviseHolder == nullptr && FAILED(CreateOleAdviseHolder(&m_pOleAdviseHolder))) return E_OUTOFMEMORY;
  return m_pOleAdviseHolder->Advise(sink, cookie);
}
STDMETHODIMP CZaduzeCtrl::Unadvise(DWORD cookie) {
  return m_pOleAdviseHolder ? m_pOleAdviseHolder->Unadvise(cookie) : OLE_E_NOCONNECTION;
}
STDMETHODIMP CZaduzeCtrl::EnumAdvise(IEnumSTATDATA** advise) {
  if (advise == nullptr) return E_POINTER;
  *advise = nullptr;
  return m_pOleAdviseHolder ? m_pOleAdviseHolder->EnumAdvise(advise) : E_FAIL;
}

STDMETHODIMP CZaduzeCtrl::GetMiscStatus(DWORD, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = kMiscStatus;
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

STDMETHODIMP CZaduzeCtrl::GetWindow(HWND* hwnd) {
  if (hwnd == nullptr) return E_POINTER;
  *hwnd = m_wnd.hwnd();
  return *hwnd ? S_OK : E_FAIL;
}

STDMETHODIMP CZaduzeCtrl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP CZaduzeCtrl::InPlaceDeactivate() {
  return ComBoundary([&]() -> HRESULT {
    if (m_bInCreateStep) {
      m_bTearDownPending = true;  // carried out when the creation step returns
      return S_OK;
    }
    if (!m_bInPlaceActive) return S_OK;
    AddRef();
    UIDeactivate();
    m_bInPlaceActive = false;
    DestroyControlWindow();  // the destruction step runs here
    if (m_pInPlaceSite != nullptr) m_pInPlaceSite->OnInPlaceDeactivate();
    SafeRelease(m_pInPlaceSite);
    Release();
    return S_OK;
  });
}

STDMETHODIMP CZaduzeCtrl::UIDeactivate() {
  if (!m_bUIActive) return S_OK;
  m_bUIActive = false;
  if (m_pInPlaceSite != nullptr) m_pInPlaceSite->OnUIDeactivate(FALSE);
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::SetObjectRects(LPCRECT posRect, LPCRECT) {
  if (posRect == nullptr) return E_POINTER;
  if (m_wnd.hwnd() != nullptr)
    MoveWindow(m_wnd.hwnd(), posRect->left, posRect->top, posRect->right - posRect->left,
               posRect->bottom - posRect->top, TRUE);
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::ReactivateAndUndo() { return E_NOTIMPL; }
STDMETHODIMP CZaduzeCtrl::TranslateAccelerator(LPMSG) { return S_FALSE; }
STDMETHODIMP CZaduzeCtrl::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP CZaduzeCtrl::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP CZaduzeCtrl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP CZaduzeCtrl::EnableModeless(BOOL) { return S_OK; }

STDMETHODIMP CZaduzeCtrl::GetControlInfo(CONTROLINFO* info) {
  if (info == nullptr) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}
STDMETHODIMP CZaduzeCtrl::OnMnemonic(MSG*) { return S_OK; }
STDMETHODIMP CZaduzeCtrl::OnAmbientPropertyChange(DISPID) { return S_OK; }
STDMETHODIMP CZaduzeCtrl::FreezeEvents(BOOL freeze) {
  m_bEventsFrozen = freeze != FALSE;
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                               BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  return ComBoundary([&]() -> HRESULT {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (dc == nullptr) return E_INVALIDARG;
    // A rendering outside the window: the window text, as a static control
    // paints it.
    RECT rect{0, 0, 0, 0};
    if (bounds != nullptr) rect = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    std::u16string text = GetText();
    const int saved = SaveDC(dc);
    SetBkMode(dc, TRANSPARENT);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    DrawTextW(dc, W(text), static_cast<int>(text.size()), &rect, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    RestoreDC(dc, saved);
    return S_OK;
  });
}

STDMETHODIMP CZaduzeCtrl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (colors != nullptr) *colors = nullptr;
  return S_FALSE;
}
STDMETHODIMP CZaduzeCtrl::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
STDMETHODIMP CZaduzeCtrl::Unfreeze(DWORD) { return E_NOTIMPL; }

STDMETHODIMP CZaduzeCtrl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  if (sink != nullptr) sink->AddRef();
  SafeRelease(m_pViewAdvise);
  m_pViewAdvise = sink;
  m_viewAdviseAspects = aspects;
  m_viewAdviseFlags = flags;
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = m_viewAdviseAspects;
  if (flags != nullptr) *flags = m_viewAdviseFlags;
  if (sink != nullptr) {
    *sink = m_pViewAdvise;
    if (m_pViewAdvise != nullptr) m_pViewAdvise->AddRef();
  }
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  return GetExtent(aspect, size);
}

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
