// The container's stand-ins for what a browser offers a control through its
// client site: the browser object (service SID_SWebBrowserApp), which tells
// the top page's address (get_LocationURL), and the document the control sits
// in (the site's container, the container's dispatch service, the container's
// moniker), which tells the document's own address. Nothing else is there.
#pragma once

#include <windows.h>

#include <exdisp.h>
#include <mshtml.h>
#include <oleidl.h>

#include <string>

#include "platform/com_ref_count.h"

namespace zv {

// A dispatch interface that no script reaches: no type information, no
// names, no calls. The stand-ins below are called through their vtables.
template <typename Interface>
class WithoutDispatch : public Interface {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
};

// A property the browser object does not have: its get_ and put_ methods.
#define ZV_ABSENT_PROPERTY(Name, Type)                            \
  STDMETHODIMP get_##Name(Type*) override { return E_NOTIMPL; } \
  STDMETHODIMP put_##Name(Type) override { return E_NOTIMPL; }

class PageBrowser final : public WithoutDispatch<IWebBrowser2> {
 public:
  explicit PageBrowser(std::u16string url) : url_(std::move(url)) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return refs_.Increment(); }
  STDMETHODIMP_(ULONG) Release() override { return refs_.Decrement(this); }

  STDMETHODIMP get_LocationURL(BSTR* url) override;

  // Everything else a browser object offers is not there.
  STDMETHODIMP GoBack() override { return E_NOTIMPL; }
  STDMETHODIMP GoForward() override { return E_NOTIMPL; }
  STDMETHODIMP GoHome() override { return E_NOTIMPL; }
  STDMETHODIMP GoSearch() override { return E_NOTIMPL; }
  STDMETHODIMP Navigate(BSTR, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP Refresh() override { return E_NOTIMPL; }
  STDMETHODIMP Refresh2(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP Stop() override { return E_NOTIMPL; }
  STDMETHODIMP get_Application(IDispatch**) override { return E_NOTIMPL; }
  STDMETHODIMP get_Parent(IDispatch**) override { return E_NOTIMPL; }
  STDMETHODIMP get_Container(IDispatch**) override { return E_NOTIMPL; }
  STDMETHODIMP get_Document(IDispatch**) override { return E_NOTIMPL; }
  STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP get_Type(BSTR*) override { return E_NOTIMPL; }
  ZV_ABSENT_PROPERTY(Left, LONG)
  ZV_ABSENT_PROPERTY(Top, LONG)
  ZV_ABSENT_PROPERTY(Width, LONG)
  ZV_ABSENT_PROPERTY(Height, LONG)
  STDMETHODIMP get_LocationName(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_Busy(VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP Quit() override { return E_NOTIMPL; }
  STDMETHODIMP ClientToWindow(int*, int*) override { return E_NOTIMPL; }
  STDMETHODIMP PutProperty(BSTR, VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP GetProperty(BSTR, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP get_Name(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_HWND(SHANDLE_PTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_FullName(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_Path(BSTR*) override { return E_NOTIMPL; }
  ZV_ABSENT_PROPERTY(Visible, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(StatusBar, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(StatusText, BSTR)
  ZV_ABSENT_PROPERTY(ToolBar, int)
  ZV_ABSENT_PROPERTY(MenuBar, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(FullScreen, VARIANT_BOOL)
  STDMETHODIMP Navigate2(VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryStatusWB(OLECMDID, OLECMDF*) override { return E_NOTIMPL; }
  STDMETHODIMP ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP get_ReadyState(READYSTATE*) override { return E_NOTIMPL; }
  ZV_ABSENT_PROPERTY(Offline, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(Silent, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(RegisterAsBrowser, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(RegisterAsDropTarget, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(TheaterMode, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(AddressBar, VARIANT_BOOL)
  ZV_ABSENT_PROPERTY(Resizable, VARIANT_BOOL)

 private:
  ComRefCount refs_;
  std::u16string url_;
};

#undef ZV_ABSENT_PROPERTY

// The document the control sits in (a page, or a frame of one): an
// IOleContainer that is also the HTML document and tells its URL.
class PageDocument final : public IOleContainer, public WithoutDispatch<IHTMLDocument2> {
 public:
  explicit PageDocument(std::u16string url) : url_(std::move(url)) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return refs_.Increment(); }
  STDMETHODIMP_(ULONG) Release() override { return refs_.Decrement(this); }

  // IOleContainer
  STDMETHODIMP ParseDisplayName(IBindCtx*, LPOLESTR, ULONG*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP EnumObjects(DWORD, IEnumUnknown**) override { return E_NOTIMPL; }
  STDMETHODIMP LockContainer(BOOL) override { return S_OK; }

  // IHTMLDocument2: the URL; everything else a document offers is not there.
  STDMETHODIMP get_URL(BSTR* url) override;
  STDMETHODIMP put_URL(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP get_Script(IDispatch**) override { return E_NOTIMPL; }
  STDMETHODIMP get_all(IHTMLElementCollection**) override { return E_NOTIMPL; }
  STDMETHODIMP get_body(IHTMLElement**) override { return E_NOTIMPL; }
  STDMETHODIMP get_activeElement(IHTMLElement**) override { return E_NOTIMPL; }
  STDMETHODIMP get_images(IHTMLElementCollection**) override { return E_NOTIMPL; }
  STDMETHODIMP get_applets(IHTMLElementCollection**) override { return E_NOTIMPL; }
  STDMETHODIMP get_links(IHTMLElementCollection**) override { return E_NOTIMPL; }
  STDMETHODIMP get_forms(IHTMLElementCollection**) override { return E_NOTIMPL; }
  STDMETHODIMP get_anchors(IHTMLElementCollection**) override { return E_NOTIMPL; }
  STDMETHODIMP put_title(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP get_title(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_scripts(IHTMLElementCollection**) override { return E_NOTIMPL; }
  STDMETHODIMP put_designMode(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP get_designMode(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_selection(IHTMLSelectionObject**) override { return E_NOTIMPL; }
  STDMETHODIMP get_readyState(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_frames(IHTMLFramesCollection2**) override { return E_NOTIMPL; }
  STDMETHODIMP get_embeds(IHTMLElementCollection**) override { return E_NOTIMPL; }
  STDMETHODIMP get_plugins(IHTMLElementCollection**) override { return E_NOTIMPL; }
  STDMETHODIMP put_alinkColor(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_alinkColor(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_bgColor(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_bgColor(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_fgColor(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_fgColor(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_linkColor(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_linkColor(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_vlinkColor(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_vlinkColor(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP get_referrer(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_location(IHTMLLocation**) override { return E_NOTIMPL; }
  STDMETHODIMP get_lastModified(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP put_domain(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP get_domain(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP put_cookie(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP get_cookie(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP put_expando(VARIANT_BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP get_expando(VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP put_charset(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP get_charset(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP put_defaultCharset(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP get_defaultCharset(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_mimeType(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_fileSize(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_fileCreatedDate(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_fileModifiedDate(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_fileUpdatedDate(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_security(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_protocol(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP get_nameProp(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP write(SAFEARRAY*) override { return E_NOTIMPL; }
  STDMETHODIMP writeln(SAFEARRAY*) override { return E_NOTIMPL; }
  STDMETHODIMP open(BSTR, VARIANT, VARIANT, VARIANT, IDispatch**) override { return E_NOTIMPL; }
  STDMETHODIMP close() override { return E_NOTIMPL; }
  STDMETHODIMP clear() override { return E_NOTIMPL; }
  STDMETHODIMP queryCommandSupported(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP queryCommandEnabled(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP queryCommandState(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP queryCommandIndeterm(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP queryCommandText(BSTR, BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP queryCommandValue(BSTR, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP execCommand(BSTR, VARIANT_BOOL, VARIANT, VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP execCommandShowHelp(BSTR, VARIANT_BOOL*) override { return E_NOTIMPL; }
  STDMETHODIMP createElement(BSTR, IHTMLElement**) override { return E_NOTIMPL; }
  STDMETHODIMP put_onhelp(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onhelp(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_onclick(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onclick(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_ondblclick(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_ondblclick(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_onkeyup(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onkeyup(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_onkeydown(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onkeydown(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_onkeypress(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onkeypress(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_onmouseup(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onmouseup(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_onmousedown(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onmousedown(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_onmousemove(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onmousemove(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_onmouseout(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onmouseout(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_onmouseover(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onmouseover(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_onreadystatechange(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onreadystatechange(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_onafterupdate(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onafterupdate(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_onrowexit(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onrowexit(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_onrowenter(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onrowenter(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_ondragstart(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_ondragstart(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_onselectstart(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onselectstart(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP elementFromPoint(LONG, LONG, IHTMLElement**) override { return E_NOTIMPL; }
  STDMETHODIMP get_parentWindow(IHTMLWindow2**) override { return E_NOTIMPL; }
  STDMETHODIMP get_styleSheets(IHTMLStyleSheetsCollection**) override { return E_NOTIMPL; }
  STDMETHODIMP put_onbeforeupdate(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onbeforeupdate(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP put_onerrorupdate(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_onerrorupdate(VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP toString(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP createStyleSheet(BSTR, LONG, IHTMLStyleSheet**) override { return E_NOTIMPL; }
 private:
  ComRefCount refs_;
  std::u16string url_;
};

// The document's moniker, as a browser names a page: its display name is the
// document's URL.
class PageMoniker final : public IMoniker {
 public:
  explicit PageMoniker(std::u16string url) : url_(std::move(url)) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return refs_.Increment(); }
  STDMETHODIMP_(ULONG) Release() override { return refs_.Decrement(this); }

  STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(IStream*) override { return E_NOTIMPL; }
  STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHODIMP BindToObject(IBindCtx*, IMoniker*, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHODIMP BindToStorage(IBindCtx*, IMoniker*, REFIID, void**) override { return E_NOTIMPL; }
  STDMETHODIMP Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP ComposeWith(IMoniker*, BOOL, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP Enum(BOOL, IEnumMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP IsEqual(IMoniker*) override { return S_FALSE; }
  STDMETHODIMP Hash(DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return S_FALSE; }
  STDMETHODIMP GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override { return E_NOTIMPL; }
  STDMETHODIMP Inverse(IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP CommonPrefixWith(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP RelativePathTo(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* name) override;
  STDMETHODIMP ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP IsSystemMoniker(DWORD* kind) override {
    if (kind != nullptr) *kind = MKSYS_NONE;
    return S_FALSE;
  }

 private:
  ComRefCount refs_;
  std::u16string url_;
};

}  // namespace zv
