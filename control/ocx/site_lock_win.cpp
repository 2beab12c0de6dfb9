// The site lock: the administrator's list of allowed sites (HKLM, then HKCU,
// SOFTWARE\Zaduze, value AllowedSites) against the address of the page that
// hosts the control, learned from the container the way a browser offers it.
// Without the value every page may use the control.
#include <windows.h>

#include <exdisp.h>
#include <mshtml.h>
#include <servprov.h>
#include <shlguid.h>

#include "common/log/log.h"
#include "common/text/text_util.h"
#include "control/ocx/site_policy.h"
#include "control/ocx/zaduze_ctrl.h"
#include "platform/com_ptr.h"
#include "platform/handles.h"
#include "platform/shell_folders.h"

namespace zv {

namespace {

constexpr wchar_t kPolicyKey[] = L"SOFTWARE\\Zaduze";
constexpr wchar_t kPolicyValue[] = L"AllowedSites";
// A list of sites is short; a larger value is taken as unreadable.
constexpr DWORD kMaxPolicyBytes = 64 * 1024;

// The policy under one root: false when that root has none (no key, or no
// value); true otherwise, with `text` the value's text, left empty when the
// value cannot be read or is not a text (which allows nothing).
bool ReadPolicy(HKEY root, std::u16string& text) {
  text.clear();
  UniqueRegKey key;
  const LONG opened = RegOpenKeyExW(root, kPolicyKey, 0, KEY_QUERY_VALUE, key.put());
  if (opened == ERROR_FILE_NOT_FOUND || opened == ERROR_PATH_NOT_FOUND) return false;
  if (opened != ERROR_SUCCESS) return true;
  DWORD type = 0, size = 0;
  const LONG asked = RegQueryValueExW(key.get(), kPolicyValue, nullptr, &type, nullptr, &size);
  if (asked == ERROR_FILE_NOT_FOUND) return false;
  if (asked != ERROR_SUCCESS || size > kMaxPolicyBytes) return true;
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return true;
  std::u16string buffer((size + 1) / 2, u'\0');
  DWORD got = size;
  if (RegQueryValueExW(key.get(), kPolicyValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got) !=
      ERROR_SUCCESS)
    return true;
  buffer.resize(got / 2);
  text = std::move(buffer);  // NULs between the strings of a multi-string separate entries
  return true;
}

// The hosting page's address: the browser's location through the client
// site's service provider, else the URL of the container's document. False
// when neither answers.
bool PageAddress(IOleClientSite* site, std::u16string& url) {
  if (site == nullptr) return false;
  {
    ComPtr<IServiceProvider> provider;
    ComPtr<IWebBrowser2> browser;
    UniqueBstr location;
    if (SUCCEEDED(site->QueryInterface(IID_IServiceProvider, provider.put_void())) && provider &&
        SUCCEEDED(provider->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, browser.put_void())) && browser &&
        SUCCEEDED(browser->get_LocationURL(location.put())) && location.get() != nullptr) {
      url = FromBstr(location.get());
      return true;
    }
  }
  ComPtr<IOleContainer> container;
  ComPtr<IHTMLDocument2> document;
  UniqueBstr address;
  if (SUCCEEDED(site->GetContainer(container.put())) && container &&
      SUCCEEDED(container->QueryInterface(IID_IHTMLDocument2, document.put_void())) && document &&
      SUCCEEDED(document->get_URL(address.put())) && address.get() != nullptr) {
    url = FromBstr(address.get());
    return true;
  }
  return false;
}

}  // namespace

bool CZaduzeCtrl::PageAllowed() {
  if (m_siteDecided) return m_siteAllowed;
  std::u16string policy;
  const bool machine = ReadPolicy(HKEY_LOCAL_MACHINE, policy);
  if (!machine && !ReadPolicy(HKEY_CURRENT_USER, policy)) {
    // No policy: any page, as always. Decided for good.
    m_siteDecided = m_siteAllowed = true;
    return true;
  }
  std::u16string url;
  m_siteDecided = true;
  if (!PageAddress(m_pClientSite.get(), url)) {
    m_siteAllowed = false;
    m_siteReason = u"site lock : the page's address is unknown, the control does nothing";
  } else {
    m_siteAllowed = IsPageAllowed(url, ParseAllowedSites(policy));
    m_siteReason = (m_siteAllowed ? u"site lock : page allowed : " : u"site lock : page not allowed, the control does nothing : ") + url;
  }
  FILE_LOG(logINFO) << ToUtf8(m_siteReason);
  return m_siteAllowed;
}

void CZaduzeCtrl::ForgetSiteVerdict() {
  m_siteDecided = false;
  m_siteAllowed = false;
}

}  // namespace zv
