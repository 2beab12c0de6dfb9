// The OLE embedding a browser uses to show the control: IOleObject, in-place
// activation as a windowed control (whose window runs the creation and
// destruction steps), IOleControl and the view object.
#include "control/ocx/zaduze_ctrl.h"

#include <olectl.h>

#include "control/ocx/com_boundary_win.h"
#include "control/ocx/com_module_win.h"
#include "control/ocx/zaduze_guids.h"
#include "platform/wide.h"

namespace zv {

namespace {

constexpr wchar_t kWindowClass[] = L"ZaduzeCtrlWindow";

// HIMETRIC to pixels on the screen.
LONG HimetricToPixels(LONG hm, int dpi) { return MulDiv(hm, dpi, 2540); }
int ScreenDpi(bool horizontal) {
  HDC dc = GetDC(nullptr);
  const int dpi = GetDeviceCaps(dc, horizontal ? LOGPIXELSX : LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

}  // namespace

void UnregisterControlWindowClass(HINSTANCE module) { UnregisterClassW(kWindowClass, module); }

// ---------------------------------------------------------------------------
// OLE embedding

STDMETHODIMP CZaduzeCtrl::SetClientSite(IOleClientSite* site) {
  return ComBoundary([&]() -> HRESULT {
    m_pClientSite.share(site);
    // The verdict belongs to the site it was made for: another site may be
    // another page, and it is judged now, before the page's parameters load.
    ForgetSiteVerdict();
    if (site != nullptr) DecideSite();
    return S_OK;
  });
}

STDMETHODIMP CZaduzeCtrl::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  *site = m_pClientSite.copy();
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP CZaduzeCtrl::Close(DWORD) {
  return ComBoundary([&]() -> HRESULT {
    const auto hold = ComPtr<CZaduzeCtrl>::Share(this);
    m_bClosed = true;
    InPlaceDeactivate();
    if (m_pOleAdviseHolder) m_pOleAdviseHolder->SendOnClose();
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
    if (site != nullptr && !m_pClientSite) SetClientSite(site);
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
  if (!m_pClientSite) return E_UNEXPECTED;
  if (!m_bInPlaceActive) {
    ComPtr<IOleInPlaceSite> site;
    if (FAILED(m_pClientSite->QueryInterface(IID_IOleInPlaceSite, site.put_void()))) return E_NOINTERFACE;
    if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
    m_pInPlaceSite = std::move(site);
    m_pInPlaceSite->OnInPlaceActivate();
    m_bInPlaceActive = true;

    HWND siteWindow = nullptr;
    m_pInPlaceSite->GetWindow(&siteWindow);
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> doc;
    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof frameInfo;
    if (SUCCEEDED(m_pInPlaceSite->GetWindowContext(frame.put(), doc.put(), &pos, &clip, &frameInfo))) {
      if (posRect == nullptr) posRect = &pos;
    }
    frame.reset();
    doc.reset();
    if (siteWindow == nullptr) siteWindow = parent;
    const RECT rect = posRect != nullptr ? *posRect : RECT{0, 0, HimetricToPixels(m_extent.cx, ScreenDpi(true)),
                                                           HimetricToPixels(m_extent.cy, ScreenDpi(false))};
    // The creation step may take long and call out to the page.
    const auto hold = ComPtr<CZaduzeCtrl>::Share(this);
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
      return S_OK;
    }
    if (!created) {
      m_bInPlaceActive = false;
      m_pInPlaceSite->OnInPlaceDeactivate();
      m_pInPlaceSite.reset();
      return E_FAIL;
    }
  }
  if (m_wnd.hwnd() != nullptr) ShowWindow(m_wnd.hwnd(), SW_SHOWNA);
  if (verb == OLEIVERB_UIACTIVATE && !m_bUIActive && m_pInPlaceSite) {
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
  return m_wnd.Create(cls, 0, W(m_text), style, rect, parent, nullptr);
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
  if (!m_pOleAdviseHolder && FAILED(CreateOleAdviseHolder(m_pOleAdviseHolder.put()))) return E_OUTOFMEMORY;
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
    const auto hold = ComPtr<CZaduzeCtrl>::Share(this);
    UIDeactivate();
    m_bInPlaceActive = false;
    DestroyControlWindow();  // the destruction step runs here
    if (m_pInPlaceSite) m_pInPlaceSite->OnInPlaceDeactivate();
    m_pInPlaceSite.reset();
    return S_OK;
  });
}

STDMETHODIMP CZaduzeCtrl::UIDeactivate() {
  if (!m_bUIActive) return S_OK;
  m_bUIActive = false;
  if (m_pInPlaceSite) m_pInPlaceSite->OnUIDeactivate(FALSE);
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
  m_pViewAdvise.share(sink);
  m_viewAdviseAspects = aspects;
  m_viewAdviseFlags = flags;
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = m_viewAdviseAspects;
  if (flags != nullptr) *flags = m_viewAdviseFlags;
  if (sink != nullptr) {
    *sink = m_pViewAdvise.copy();
  }
  return S_OK;
}

STDMETHODIMP CZaduzeCtrl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  return GetExtent(aspect, size);
}

}  // namespace zv
