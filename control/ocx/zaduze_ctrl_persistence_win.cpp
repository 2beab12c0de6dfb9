// The control's persistence: its properties, extent and window text through
// property bags (a page's <param> elements) and streams.
#include "control/ocx/zaduze_ctrl.h"

#include <algorithm>

#include "control/ocx/com_boundary_win.h"
#include "control/ocx/com_module_win.h"
#include "control/ocx/zaduze_guids.h"
#include "platform/wide.h"

namespace zv {

namespace {

// The largest stream record the control reads or writes: its properties are
// a few short lists, far below this.
constexpr size_t kMaxPersistedBytes = 64 * 1024;

// Property-bag names of the extent and the window text, stored before the
// control's own properties like the framework stores its stock ones.
constexpr wchar_t kBagVersion[] = L"_Version";
constexpr wchar_t kBagExtentX[] = L"_ExtentX";
constexpr wchar_t kBagExtentY[] = L"_ExtentY";
constexpr wchar_t kBagText[] = L"Text";

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
        if (ReadBag(bag, log, Wide(p.persistedName).c_str(), VT_I2, v)) m_props.*p.shortField = v.iVal;
      } else {
        // Absent: the default, the empty text.
        std::u16string text;
        if (ReadBag(bag, log, Wide(p.persistedName).c_str(), VT_BSTR, v)) {
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
      const std::wstring nameText = Wide(p.persistedName);
      const wchar_t* name = nameText.c_str();
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

}  // namespace zv
