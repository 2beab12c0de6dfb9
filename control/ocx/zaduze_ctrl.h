// CZaduzeCtrl: the browser control. One object per object element of the
// page. It is its own dispatch interface (_DZaduze), fires AfterCreated
// through one connection point, persists its properties through property bags
// and streams, and lets a browser activate it in place as a windowed control.
//
// This file and zaduze_ctrl*_win.cpp hold the COM side; what the control does
// with the agent (start, supervise, one-shot commands), its creation and
// destruction steps, its services and its monitor count live in
// control/agentlink as members of the same class.
#pragma once

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <memory>
#include <string>
#include <vector>

#include "control/ocx/control_properties.h"
#include "control/ocx/site_policy.h"
#include "platform/com_ptr.h"
#include "platform/com_ref_count.h"
#include "platform/handles.h"
#include "platform/window.h"

namespace zv {

class NoticePopup;

// The control window's class is registered by this module; a browser that
// unloads the module and loads it again (at another address) must not find
// the old class with its stale window procedure.
void UnregisterControlWindowClass(HINSTANCE module);

// The module's version resource as ReadModuleVersion fills it.
struct ModuleVersion {
  std::wstring modulePath;
  std::wstring companyName, legalCopyright, productName, productVersion, originalFilename, fileDescription,
      fileVersion, internalName;
  VS_FIXEDFILEINFO fixed{};
  WORD language = 0;
  WORD codePage = 0;
};

class CZaduzeCtrl final : public IDispatch,
                          public IProvideClassInfo2,
                          public IConnectionPointContainer,
                          public IPersistPropertyBag,
                          public IPersistStreamInit,
                          public IOleObject,
                          public IOleInPlaceObject,
                          public IOleInPlaceActiveObject,
                          public IOleControl,
                          public IViewObject2,
                          public ISpecifyPropertyPages {
 public:
  CZaduzeCtrl();
  ~CZaduzeCtrl();
  CZaduzeCtrl(const CZaduzeCtrl&) = delete;
  CZaduzeCtrl& operator=(const CZaduzeCtrl&) = delete;

  // The class factory's creation function.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** object);

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch (_DZaduze)
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT* argErr) override;

  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  // IPersist, IPersistPropertyBag, IPersistStreamInit
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP InitNew() override;
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP Load(LPSTREAM stream) override;
  STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR obj) override;
  STDMETHODIMP Close(DWORD saveOption) override;
  STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override;
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
  STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                      LPCRECT posRect) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
  STDMETHODIMP Update() override;
  STDMETHODIMP IsUpToDate() override;
  STDMETHODIMP GetUserClassID(CLSID* clsid) override;
  STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override;

  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
  STDMETHODIMP GetWindow(HWND* hwnd) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override;
  STDMETHODIMP SetObjectRects(LPCRECT posRect, LPCRECT clipRect) override;
  STDMETHODIMP ReactivateAndUndo() override;
  STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
  STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
  STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override;
  STDMETHODIMP EnableModeless(BOOL enable) override;

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(MSG* msg) override;
  STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
  STDMETHODIMP FreezeEvents(BOOL freeze) override;

  // IViewObject2
  STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* target, HDC targetDc, HDC dc,
                    LPCRECTL bounds, LPCRECTL wBounds, BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR),
                    ULONG_PTR contArg) override;
  STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* target, HDC targetDc,
                           LOGPALETTE** colors) override;
  STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
  STDMETHODIMP Unfreeze(DWORD freeze) override;
  STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target, LPSIZEL size) override;

  // ISpecifyPropertyPages
  STDMETHODIMP GetPages(CAUUID* pages) override;

  // --- what the page and the tests see of the control itself ------------
  const ControlProperties& Properties() const { return m_props; }
  ControlProperties& MutableProperties() { return m_props; }
  HWND ControlWindow() const { return m_wnd.hwnd(); }
  std::u16string GetText() const;
  void SetText(const std::u16string& text);

  // Creates the control's window as a child of `parent` (the creation step
  // runs in it) or destroys it (the destruction step runs). In-place
  // activation and deactivation go through these.
  bool CreateControlWindow(HWND parent, const RECT& rect);
  void DestroyControlWindow();

  // Fires AfterCreated to every connected sink.
  void FireAfterCreated();

  // --- agent launcher and supervisor (agentlink/launcher_win.cpp) --------
  int LaunchAgent();
  short StartZaduzeApp();
  short StopZaduzeApp();
  void OnSuperviseTimer();
  static constexpr UINT_PTR ID_TIMER_SUPERVISE = 100;
  static constexpr UINT kSupervisePeriodMs = 500;

  // --- creation and destruction steps (agentlink/lifecycle_win.cpp) ------
  int OnCreateStep();
  void OnDestroyStep();
  const wchar_t* SnapshotName() const { return m_szSnapshotName; }
  const NoticePopup& Notices() const { return *m_pAlert; }

  // --- services (agentlink/services_win.cpp) ------------------------------
  short GetCheatAppCount();
  short TrustzoneAddIP(const std::u16string& ip);
  short TrustzoneAddDomain(const std::u16string& ip);
  short TrustzoneQueryIP(const std::u16string& ip);
  short TrustzoneQueryDomain(const std::u16string& domain);
  short SaveTextAsFile(const std::u16string& filepath, const std::u16string& text);
  std::u16string LoadTextFromFile(const std::u16string& filepath);
  std::u16string GetVersion() const;
  std::u16string GetVersion2() const;
  std::u16string GetOSVersion() const;
  bool ReadModuleVersion();
  const ModuleVersion& Version() const { return m_version; }

  // --- monitor count (agentlink/monitor_manager_win.cpp) -----------------
  short GetMonitorCount();

  // --- the About box (ocx/about_win.cpp) ---------------------------------
  void AboutBox();

  // --- the site lock (ocx/site_lock_win.cpp) ------------------------------
  // Whether the hosting page may use the control: true without a policy;
  // with one, only when the container tells the address of the control's own
  // document and of the top page and the policy allows every address it
  // tells. Decided and logged when the container sets a client site,
  // forgotten when it takes the site away or sets another one; a control
  // without a site is judged by the policy alone.
  bool PageAllowed();
  // Whether a trusted-site list may be added for this page: without a policy
  // any list; with one, only the hosts the policy allows.
  bool TrustedSitesAllowed(const std::u16string& list);

 private:
  class CtrlWindow final : public Window {
   public:
    explicit CtrlWindow(CZaduzeCtrl& owner) : owner_(owner) {}

   protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

   private:
    LRESULT HandleMessageUnguarded(UINT msg, WPARAM wParam, LPARAM lParam);
    CZaduzeCtrl& owner_;
  };

  class EventPoint final : public IConnectionPoint {
   public:
    explicit EventPoint(CZaduzeCtrl& owner) : owner_(owner) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;
    void Fire(DISPID id);

   private:
    struct Sink {
      DWORD cookie;
      ComPtr<IDispatch> dispatch;
    };
    CZaduzeCtrl& owner_;
    std::vector<Sink> sinks_;
    DWORD next_cookie_ = 1;
  };

  HRESULT InvokeProperty(const DispatchMember& member, WORD flags, DISPPARAMS* params, VARIANT* result,
                         UINT* argErr);
  HRESULT InvokeMethod(const DispatchMember& member, DISPPARAMS* params, VARIANT* result, UINT* argErr);
  void SetModifiedFlag() { m_bModified = true; }
  HRESULT InPlaceActivate(LONG verb, HWND parent, LPCRECT posRect);
  int RunAgentCommand(const std::u16string& options);

  ComRefCount m_refs;
  ControlProperties m_props;
  std::u16string m_text;  // the window text while there is no window
  SIZEL m_extent{2646, 1323};  // HIMETRIC of 100 x 50 pixels
  bool m_bModified = false;
  bool m_bInPlaceActive = false;
  bool m_bUIActive = false;
  bool m_bEventsFrozen = false;
  ComPtr<IOleClientSite> m_pClientSite;
  ComPtr<IOleInPlaceSite> m_pInPlaceSite;
  ComPtr<IOleAdviseHolder> m_pOleAdviseHolder;
  ComPtr<IAdviseSink> m_pViewAdvise;
  DWORD m_viewAdviseAspects = 0;
  DWORD m_viewAdviseFlags = 0;
  CtrlWindow m_wnd{*this};
  EventPoint m_events{*this};

  ModuleVersion m_version;
  UniqueKernelHandle m_hAgentProcess;
  HWND m_hAgentWnd = nullptr;
  std::unique_ptr<NoticePopup> m_pAlert;  // owns the popup and its style
  wchar_t m_szSnapshotName[80] = {};
  UniqueKernelHandle m_hSnapshotMarker;  // held while this control's snapshot is in use

  // Re-entrancy: a page may tear the control down from its AfterCreated
  // handler, inside the creation step. The teardown is held back until the
  // creation step has returned, and no agent command runs from the moment it
  // was asked for until it has run: the creation stops there and the
  // destruction has nothing to restore.
  bool m_bInCreateStep = false;
  bool m_bTearDownPending = false;
  // Closed by the container: a session could no longer be kept alive.
  bool m_bClosed = false;

  void DecideSite();
  void ForgetSiteVerdict();
  bool m_siteDecided = false;
  bool m_siteAllowed = false;
  bool m_sitePolicy = false;           // a policy was found when deciding
  std::vector<SiteRule> m_siteRules;   // its entries
  std::u16string m_siteReason;
  // The last creation step ran for an allowed page: the destruction step
  // undoes what it did, whatever the verdict is by then; while it does, its
  // agent commands pass the site lock.
  bool m_bCreateAllowed = false;
  bool m_bRestoring = false;

};

}  // namespace zv
