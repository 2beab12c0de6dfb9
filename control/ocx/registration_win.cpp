#include "control/ocx/registration_win.h"

#include <comcat.h>
#include <oleauto.h>

#include <string>

#include "control/ocx/com_module_win.h"
#include "control/ocx/prop_page_win.h"
#include "control/ocx/zaduze_ctrl.h"
#include "control/ocx/zaduze_guids.h"
#include "control/res/control_resource.h"
#include "platform/com_ptr.h"
#include "platform/handles.h"
#include "platform/window.h"

namespace zv {

namespace {

// {7DD95801-9882-11CF-9FA9-00AA006C42C4}, {7DD95802-...}
constexpr GUID kCatSafeForScripting = {0x7dd95801, 0x9882, 0x11cf, {0x9f, 0xa9, 0x00, 0xaa, 0x00, 0x6c, 0x42, 0xc4}};
constexpr GUID kCatSafeForInitializing = {0x7dd95802, 0x9882, 0x11cf, {0x9f, 0xa9, 0x00, 0xaa, 0x00, 0x6c, 0x42, 0xc4}};
// The component categories manager: {0002E005-...}, ICatRegister {0002E012-...}.
constexpr GUID kClsidCategoriesManager = {0x0002e005, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr GUID kIidCatRegister = {0x0002e012, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring ResourceString(UINT id) {
  wchar_t text[256] = {};
  LoadStringW(ThisModule(), id, text, 256);
  return text;
}

// Writes `value` as the default (name null) or named text value of
// HKEY_CLASSES_ROOT\<path>, creating the key.
bool SetText(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  UniqueRegKey key;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return false;
  return RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

struct ClassEntry {
  const GUID* clsid;
  const wchar_t* progId;
  UINT typeNameId;
  bool control;
};

const ClassEntry kClasses[] = {
    {&CLSID_Zaduze, kControlProgId, IDS_ZADUZE, true},
    {&CLSID_ZaduzePropPage, kPropPageProgId, IDS_ZADUZE_PPG, false},
};

bool RegisterClassEntry(const ClassEntry& c, const std::wstring& modulePath) {
  const std::wstring key = L"CLSID\\" + GuidText(*c.clsid);
  const std::wstring typeName = ResourceString(c.typeNameId);
  bool ok = SetText(key, nullptr, typeName) && SetText(key + L"\\InprocServer32", nullptr, modulePath) &&
            SetText(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
            SetText(key + L"\\ProgID", nullptr, c.progId) && SetText(c.progId, nullptr, typeName) &&
            SetText(std::wstring(c.progId) + L"\\CLSID", nullptr, GuidText(*c.clsid));
  if (ok && c.control) {
    ok = SetText(key + L"\\Control", nullptr, L"") && SetText(key + L"\\MiscStatus", nullptr, L"0") &&
         SetText(key + L"\\MiscStatus\\1", nullptr, std::to_wstring(kMiscStatus)) &&
         SetText(key + L"\\ToolboxBitmap32", nullptr, modulePath + L", " + std::to_wstring(IDB_ZADUZE)) &&
         SetText(key + L"\\TypeLib", nullptr, GuidText(LIBID_ZaduzeLib)) &&
         SetText(key + L"\\Version", nullptr,
                 std::to_wstring(kRegisteredLibMajor) + L"." + std::to_wstring(kRegisteredLibMinor));
  }
  return ok;
}

bool DeleteTree(const std::wstring& path) {
  const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return false;
  if (status == ERROR_SUCCESS) RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
  return true;
}

bool UnregisterClassEntry(const ClassEntry& c) {
  return DeleteTree(L"CLSID\\" + GuidText(*c.clsid)) && DeleteTree(c.progId);
}

// COM for the categories manager; balanced only when this call started it.
class ComScope {
 public:
  ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }

 private:
  HRESULT hr_;
};

HRESULT RegisterCategories() {
  ComPtr<ICatRegister> cats;
  if (FAILED(CoCreateInstance(kClsidCategoriesManager, nullptr, CLSCTX_INPROC_SERVER, kIidCatRegister,
                              cats.put_void())))
    return kSelfRegClassError;
  const struct {
    const GUID* catid;
    const wchar_t* description;
  } categories[] = {
      {&kCatSafeForScripting, L"Controls that are safely scriptable"},
      {&kCatSafeForInitializing, L"Controls safely initializable from persistent data"},
  };
  HRESULT hr = S_OK;
  for (const auto& c : categories) {
    CATEGORYINFO info{};
    info.catid = *c.catid;
    info.lcid = 0x0409;
    lstrcpynW(info.szDescription, c.description, 128);  // at most 127 characters
    if (FAILED(cats->RegisterCategories(1, &info))) {
      hr = kSelfRegClassError;
      break;
    }
  }
  for (const auto& c : categories) {
    if (FAILED(hr)) break;
    CATID id = *c.catid;
    if (FAILED(cats->RegisterClassImplCategories(CLSID_Zaduze, 1, &id))) hr = kSelfRegClassError;
  }
  return hr;
}

ClassFactory g_controlFactory(&CZaduzeCtrl::Create);
ClassFactory g_pageFactory(&CreatePropPage);

}  // namespace

HRESULT RegisterServer() {
  ComScope com;
  const std::wstring path = ModulePath();
  ComPtr<ITypeLib> lib;
  if (path.empty() || FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.put()))) return kSelfRegTypeLibError;
  std::wstring writable = path;
  const HRESULT hr = RegisterTypeLib(lib.get(), writable.data(), nullptr);
  lib.reset();
  if (FAILED(hr)) return kSelfRegTypeLibError;
  for (const auto& c : kClasses)
    if (!RegisterClassEntry(c, path)) return kSelfRegClassError;
  return RegisterCategories();
}

HRESULT UnregisterServer() {
  ComScope com;
  // The library is registered under its own version (1.3); asking for 1.0
  // finds it as the compatible minor version, and it is removed under the
  // version it really has.
  // The library states locale 0x0409 and is registered under it; a lookup
  // with the neutral locale 0 does not find that entry everywhere.
  ComPtr<ITypeLib> lib;
  if (FAILED(LoadRegTypeLib(LIBID_ZaduzeLib, kRegisteredLibMajor, kRegisteredLibMinor, 0, lib.put())) &&
      FAILED(LoadRegTypeLib(LIBID_ZaduzeLib, kRegisteredLibMajor, kRegisteredLibMinor, kTypeLibLcid, lib.put())))
    return kSelfRegTypeLibError;
  TLIBATTR* attr = nullptr;
  HRESULT hr = lib->GetLibAttr(&attr);
  if (SUCCEEDED(hr)) {
    hr = UnRegisterTypeLib(LIBID_ZaduzeLib, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    lib->ReleaseTLibAttr(attr);
  }
  lib.reset();
  if (FAILED(hr)) return kSelfRegTypeLibError;
  for (const auto& c : kClasses)
    if (!UnregisterClassEntry(c)) return kSelfRegClassError;
  return S_OK;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (IsEqualCLSID(clsid, CLSID_Zaduze)) return g_controlFactory.QueryInterface(riid, object);
  if (IsEqualCLSID(clsid, CLSID_ZaduzePropPage)) return g_pageFactory.QueryInterface(riid, object);
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace zv
