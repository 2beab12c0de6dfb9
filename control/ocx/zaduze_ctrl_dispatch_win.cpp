// The control's dispatch interface (_DZaduze): names to DISPIDs, property
// reads and writes, method calls, and the window text they share.
#include "control/ocx/zaduze_ctrl.h"

#include "control/ocx/com_boundary_win.h"
#include "control/ocx/com_module_win.h"
#include "control/ocx/zaduze_guids.h"
#include "platform/wide.h"

namespace zv {

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
  const auto hold = ComPtr<CZaduzeCtrl>::Share(this);
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
  if (m_pViewAdvise) m_pViewAdvise->OnViewChange(DVASPECT_CONTENT, -1);
}

}  // namespace zv
