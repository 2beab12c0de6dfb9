// CZaduzePropPage: the control's one property page (dialog 200, caption
// "General"). It binds no property; it exists because the control names one
// page, and shows the dialog where the container asks.
#include "control/ocx/prop_page_win.h"

#include <vector>

#include "control/ocx/com_module_win.h"
#include "platform/com_ptr.h"
#include "control/res/control_resource.h"
#include "platform/window.h"

namespace zv {

namespace {

class PageDialog final : public Dialog {
 protected:
  bool HandleMessage(UINT msg, WPARAM, LPARAM, INT_PTR& result) override {
    // Keyboard navigation between the page and the frame's buttons.
    if (msg == WM_GETDLGCODE) {
      result = DLGC_WANTALLKEYS;
      return false;
    }
    return false;
  }
};

class CZaduzePropPage final : public ModuleObject<CZaduzePropPage, IPropertyPage, IID_IPropertyPage> {
 public:
  ~CZaduzePropPage() {
    dialog_.Destroy();
    objects_.clear();
    site_.reset();
  }

  STDMETHODIMP SetPageSite(IPropertyPageSite* site) override {
    site_.share(site);
    return S_OK;
  }

  STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL) override {
    if (!dialog_.CreateModeless(ThisModule(), IDD_PROPPAGE_ZADUZE, parent)) return E_FAIL;
    if (rect != nullptr) Move(rect);
    return S_OK;
  }

  STDMETHODIMP Deactivate() override {
    dialog_.Destroy();
    return S_OK;
  }

  STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override {
    if (info == nullptr) return E_POINTER;
    wchar_t caption[64] = {};
    LoadStringW(ThisModule(), IDS_ZADUZE_PPG_CAPTION, caption, 64);
    const size_t bytes = (wcslen(caption) + 1) * sizeof(wchar_t);
    info->cb = sizeof *info;
    info->pszTitle = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (info->pszTitle != nullptr) memcpy(info->pszTitle, caption, bytes);
    info->size = DialogSize();
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    return S_OK;
  }

  STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override {
    objects_.clear();
    for (ULONG i = 0; i < count && objects != nullptr; ++i) {
      if (objects[i] == nullptr) continue;
      objects_.emplace_back().share(objects[i]);
    }
    return S_OK;
  }

  STDMETHODIMP Show(UINT cmdShow) override {
    if (dialog_.hwnd() != nullptr) ShowWindow(dialog_.hwnd(), static_cast<int>(cmdShow));
    return S_OK;
  }
  STDMETHODIMP Move(LPCRECT rect) override {
    if (rect == nullptr) return E_POINTER;
    if (dialog_.hwnd() != nullptr)
      MoveWindow(dialog_.hwnd(), rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
    return S_OK;
  }
  STDMETHODIMP IsPageDirty() override { return S_FALSE; }
  STDMETHODIMP Apply() override { return S_OK; }
  STDMETHODIMP Help(LPCOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(MSG* msg) override {
    return (dialog_.hwnd() != nullptr && IsDialogMessageW(dialog_.hwnd(), msg)) ? S_OK : S_FALSE;
  }

 private:
  // The page's size in pixels, from its template's dialog units.
  static SIZE DialogSize() {
    SIZE size{250, 62};
    HRSRC res = FindResourceW(ThisModule(), MAKEINTRESOURCEW(IDD_PROPPAGE_ZADUZE), MAKEINTRESOURCEW(5));
    if (res == nullptr) return size;
    HGLOBAL data = LoadResource(ThisModule(), res);
    const auto* words = static_cast<const WORD*>(LockResource(data));
    if (words == nullptr) return size;
    RECT r{0, 0, 0, 0};
    if (words[0] == 1 && words[1] == 0xFFFF) {  // DLGTEMPLATEEX
      r.right = static_cast<SHORT>(words[11]);
      r.bottom = static_cast<SHORT>(words[12]);
    } else {
      const auto* t = reinterpret_cast<const DLGTEMPLATE*>(words);
      r.right = t->cx;
      r.bottom = t->cy;
    }
    // Dialog units to pixels with the system font's base units.
    const LONG units = GetDialogBaseUnits();
    size.cx = MulDiv(r.right, LOWORD(units), 4);
    size.cy = MulDiv(r.bottom, HIWORD(units), 8);
    return size;
  }

  ComPtr<IPropertyPageSite> site_;
  std::vector<ComPtr<IUnknown>> objects_;
  PageDialog dialog_;
};

}  // namespace

HRESULT CreatePropPage(IUnknown*, REFIID riid, void** object) {
  const auto page = ComPtr<CZaduzePropPage>::Adopt(new (std::nothrow) CZaduzePropPage());
  if (!page) return E_OUTOFMEMORY;
  return page->QueryInterface(riid, object);
}

}  // namespace zv
