// The site lock: the administrator's list of allowed sites (HKLM, then HKCU,
// SOFTWARE\Zaduze, value AllowedSites, in the 64-bit view of the registry)
// against every address the container reports for the page that hosts the
// control. Without the value every page may use the control.
//
// The verdict is made when the container hands the control its client site
// (before the page's parameters are loaded and before the control's window
// exists) and is forgotten with that site.
#include <windows.h>

#include <docobj.h>
#include <exdisp.h>
#include <mshtml.h>
#include <servprov.h>
#include <shlguid.h>

#include "common/log/log.h"
#include "common/text/text_util.h"
#include "control/ocx/site_policy.h"
#include "control/ocx/zaduze_ctrl.h"
#include "control/ocx/zaduze_key_win.h"
#include "platform/com_ptr.h"
#include "platform/handles.h"
#include "platform/wide.h"

namespace zv {

namespace {

constexpr wchar_t kPolicyValue[] = L"AllowedSites";
// A list of sites is short; a larger value is taken as unreadable.
constexpr DWORD kMaxPolicyBytes = 64 * 1024;

// The policy under one root: false when that root has none (no key, or no
// value); true otherwise, with `list` the value's list of entries, or nothing
// when the value allows nothing (unreadable, too large, of another type, or
// not what the registry tools show of it).
bool ReadPolicy(HKEY root, std::optional<std::u16string>& list) {
  list.reset();
  UniqueRegKey key;
  const LONG opened = OpenZaduzeKey(root, KEY_QUERY_VALUE, key);
  if (opened == ERROR_FILE_NOT_FOUND || opened == ERROR_PATH_NOT_FOUND) return false;
  if (opened != ERROR_SUCCESS) return true;
  DWORD type = 0, size = 0;
  const LONG asked = RegQueryValueExW(key.get(), kPolicyValue, nullptr, &type, nullptr, &size);
  if (asked == ERROR_FILE_NOT_FOUND) return false;
  if (asked != ERROR_SUCCESS || size > kMaxPolicyBytes || size % 2 != 0) return true;
  std::u16string data(size / 2, u'\0');
  DWORD got = size;
  if (RegQueryValueExW(key.get(), kPolicyValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) !=
          ERROR_SUCCESS ||
      got != size)
    return true;
  list = PolicyListFromValue(type, data);
  return true;
}

// An address a call told: its text, the empty address for a null one.
void Told(std::vector<std::u16string>& into, HRESULT hr, const UniqueBstr& text) {
  if (SUCCEEDED(hr)) into.push_back(text.get() != nullptr ? FromBstr(text.get()) : std::u16string());
}

// The URL of a document (the container, or its dispatch interface).
void DocumentAddress(IUnknown* object, std::vector<std::u16string>& into) {
  ComPtr<IHTMLDocument2> document;
  if (object == nullptr || FAILED(object->QueryInterface(IID_IHTMLDocument2, document.put_void())) || !document)
    return;
  UniqueBstr url;
  Told(into, document->get_URL(url.put()), url);
}

// The location of the browser object a service provider offers.
void BrowserAddress(IServiceProvider* provider, std::vector<std::u16string>& into) {
  ComPtr<IWebBrowser2> browser;
  if (FAILED(provider->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, browser.put_void())) || !browser) return;
  UniqueBstr location;
  Told(into, browser->get_LocationURL(location.put()), location);
}

// Everything the container tells about the page, the way a browser answers
// a control: its own document through the container (IOleContainer, the
// document), the container's dispatch service and the container's moniker;
// the top page through the browser object and the top-level browser's.
PageReport ReportOf(IOleClientSite* site) {
  PageReport report;
  if (site == nullptr) return report;
  ComPtr<IOleContainer> container;
  if (SUCCEEDED(site->GetContainer(container.put()))) DocumentAddress(container.get(), report.ownDocument);
  ComPtr<IServiceProvider> provider;
  if (FAILED(site->QueryInterface(IID_IServiceProvider, provider.put_void()))) provider.reset();
  if (provider) {
    ComPtr<IDispatch> dispatch;
    if (SUCCEEDED(provider->QueryService(SID_SContainerDispatch, IID_IDispatch, dispatch.put_void())))
      DocumentAddress(dispatch.get(), report.ownDocument);
  }
  ComPtr<IMoniker> moniker;
  ComPtr<IBindCtx> bind;
  if (SUCCEEDED(site->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, moniker.put())) && moniker &&
      SUCCEEDED(CreateBindCtx(0, bind.put()))) {
    LPOLESTR name = nullptr;
    if (SUCCEEDED(moniker->GetDisplayName(bind.get(), nullptr, &name)))
      report.ownDocument.push_back(name != nullptr ? U16(name) : std::u16string());
    CoTaskMemFree(name);
  }
  if (provider) {
    BrowserAddress(provider.get(), report.topPage);
    ComPtr<IServiceProvider> top;
    if (SUCCEEDED(provider->QueryService(SID_STopLevelBrowser, IID_IServiceProvider, top.put_void())) && top)
      BrowserAddress(top.get(), report.topPage);
  }
  return report;
}

}  // namespace

void CZaduzeCtrl::DecideSite() {
  ForgetSiteVerdict();
  std::optional<std::u16string> list;
  if (!ReadPolicy(HKEY_LOCAL_MACHINE, list) && !ReadPolicy(HKEY_CURRENT_USER, list)) {
    m_siteDecided = m_siteAllowed = true;  // no policy: any page, as always
    return;
  }
  std::vector<SiteRule> rules;
  if (list) rules = ParseAllowedSites(*list);
  // The container is asked with the site held: it may set another site (or
  // none) while it answers, and then that call's verdict stands.
  const auto site = ComPtr<IOleClientSite>::Share(m_pClientSite.get());
  const SiteDecision decision = JudgePage(ReportOf(site.get()), rules);
  if (m_pClientSite.get() != site.get()) return;
  std::u16string reason;
  switch (decision.verdict) {
    case SiteVerdict::Allowed: reason = u"site lock : page allowed : " + decision.address; break;
    case SiteVerdict::Refused:
      reason = u"site lock : page not allowed, the control does nothing : " + decision.address;
      break;
    case SiteVerdict::Unknown:
      reason = u"site lock : the page's address is unknown, the control does nothing";
      break;
  }
  m_siteDecided = true;
  m_siteAllowed = decision.verdict == SiteVerdict::Allowed;
  m_sitePolicy = true;
  m_siteRules = std::move(rules);
  m_siteReason = std::move(reason);
  // Written where the process's log already goes; a refused page opens none.
  FILE_LOG(logINFO) << ToUtf8(m_siteReason);
}

bool CZaduzeCtrl::PageAllowed() {
  // A control without a site has no page to judge: the policy alone decides.
  // (A verdict left undecided by a re-entrant site change is made now.)
  if (!m_siteDecided) DecideSite();
  return m_siteAllowed;
}

bool CZaduzeCtrl::TrustedSitesAllowed(const std::u16string& list) {
  if (!PageAllowed()) return false;
  return !m_sitePolicy || IsTrustedSiteListAllowed(list, m_siteRules);
}

void CZaduzeCtrl::ForgetSiteVerdict() {
  m_siteDecided = false;
  m_siteAllowed = false;
  m_sitePolicy = false;
  m_siteRules.clear();
  m_siteReason.clear();
}

}  // namespace zv
