// zaduze_container: a stand-in for the exam page's browser. It creates the
// control by its ProgID, loads the <param> elements of a page's <object>
// through a property bag, activates the control in place in a host window
// (which runs its creation step), runs script-like calls against it, prints
// the events it receives, and destroys it again (the destruction step).
//
//   zaduze_container [options] PAGE.html [CALL ...]
//
//   CALL is one script statement, as a page would write it:
//     Name                 read a property            KeepAliveMillisec
//     Name = value         write one                  DebugLog = 1,  ProtectKeyList = "ALT+TAB,CTRL"
//     Name(args)           call a method              SaveTextAsFile("a.txt", "x\ny")
//     sleep MS             let the page idle (timers run)
//     waitfile PATH        let the page idle until the file PATH exists (at
//                          most 120 s): a test holds the page at a point
//     echo TEXT            print TEXT
//     activate / deactivate / close
//                          the container activates the control in place,
//                          deactivates it, or closes it (as leaving the page)
//     unsite               the container takes its client site away
//     resite URL           the container sets its client site again, now
//                          telling URL as the page's address (as --url does)
//   Strings are written in double quotes with \" \\ \n \r \t escapes; a bare
//   integer is a number; anything else is taken as text.
//
//   --script FILE     read further CALLs from FILE, one per line (# comments)
//   --no-activate     load the parameters but never activate the control
//   --save-bag        print what the control saves to a property bag at the end
//   --stream-check    save the control to a stream, load it into a second
//                     control and print that one's properties
//   --describe        print the type library's view of the control (ITypeInfo)
//   --pages           print the control's property pages (title and size)
//   --progid ID       another ProgID (default ZADUZE.ZaduzeCtrl.1)
//   --on-created CALL run CALL (a statement as above, "close" included) from
//                     the handler of the control's AfterCreated event
//   --url URL         the page's address, told to the control as a browser
//                     tells it for a control in the top page: as the top
//                     page's (the browser object's location) and as the
//                     control's own document's (below)
//   --top-url URL     the top page's address alone (a control in a frame)
//   --doc-url URL     the address of the control's own document alone: the
//                     client site's container document, the container's
//                     dispatch service and the container's moniker tell it
//   --doc-source NAME=URL  one of those (container, dispatch, moniker) tells
//                     URL instead; NAME=none: that one tells nothing
//                     Without any of these the container tells no address.
//   --parent HANDLE   create the page window as a child of another program's
//                     top-level window, as Edge's IE mode does (TakeParentOption)
//
// Every result goes to standard output as UTF-8, one line each; the exit code
// is 0 when the control could be created, 1 otherwise (2: usage).
#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/text/text_util.h"
#include "tools/container/object_params.h"
#include "platform/com_ptr.h"
#include "platform/wide.h"
#include "platform/window.h"
#include "tools/container/container_site_win.h"
#include "tools/container/page_view_win.h"

namespace zv {
namespace {

void Print(const std::u16string& line) {
  const std::string bytes = ToUtf8(line) + "\n";
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
  PageViewStatus(line);
}

std::u16string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return FromUtf8(text);
}

std::u16string Number(long long v) { return FromUtf8(std::to_string(v)); }

std::u16string ReadTextFile(const std::wstring& path, bool& ok) {
  std::ifstream in(path.c_str(), std::ios::binary);
  ok = static_cast<bool>(in);
  std::ostringstream s;
  s << in.rdbuf();
  std::string bytes = s.str();
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8));
    return text;
  }
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  return FromUtf8(bytes);
}

// VARIANT as the calls print it: numbers plain, texts in double quotes.
std::u16string Show(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY: return u"(nothing)";
    case VT_BSTR: return u"\"" + FromBstr(v.bstrVal) + u"\"";
    case VT_I2: return Number(v.iVal);
    case VT_I4: return Number(v.lVal);
    case VT_BOOL: return v.boolVal ? u"true" : u"false";
    default: {
      VARIANT t;
      VariantInit(&t);
      std::u16string out = u"(vt " + Number(v.vt) + u")";
      if (SUCCEEDED(VariantChangeType(&t, const_cast<VARIANT*>(&v), 0, VT_BSTR))) out = FromBstr(t.bstrVal);
      VariantClear(&t);
      return out;
    }
  }
}

// --- statements ---------------------------------------------------------

struct Literal {
  bool isText = true;
  std::u16string text;
  long number = 0;
};

void SkipBlanks(const std::u16string& s, size_t& i) {
  while (i < s.size() && (s[i] == u' ' || s[i] == u'\t')) ++i;
}

// A literal up to `stop` (',' or ')' inside calls, the end for writes).
Literal ParseLiteral(const std::u16string& s, size_t& i, const std::u16string& stops) {
  SkipBlanks(s, i);
  Literal lit;
  if (i < s.size() && s[i] == u'"') {
    ++i;
    while (i < s.size() && s[i] != u'"') {
      char16_t c = s[i++];
      if (c == u'\\' && i < s.size()) {
        const char16_t e = s[i++];
        c = e == u'n' ? u'\n' : e == u'r' ? u'\r' : e == u't' ? u'\t' : e == u'0' ? u'\0' : e;
      }
      lit.text += c;
    }
    if (i < s.size()) ++i;
    SkipBlanks(s, i);
    return lit;
  }
  const size_t start = i;
  while (i < s.size() && stops.find(s[i]) == std::u16string::npos) ++i;
  std::u16string raw = s.substr(start, i - start);
  while (!raw.empty() && (raw.back() == u' ' || raw.back() == u'\t')) raw.pop_back();
  lit.text = raw;
  bool digits = !raw.empty();
  for (size_t k = (raw.size() > 1 && raw[0] == u'-') ? 1 : 0; k < raw.size(); ++k)
    if (raw[k] < u'0' || raw[k] > u'9') digits = false;
  if (digits && raw != u"-") {
    lit.isText = false;
    lit.number = std::wcstol(W(raw), nullptr, 10);
  }
  return lit;
}

VARIANT ToVariant(const Literal& lit) {
  VARIANT v;
  VariantInit(&v);
  if (lit.isText) {
    v.vt = VT_BSTR;
    v.bstrVal = AllocBstr(lit.text);
  } else {
    v.vt = VT_I4;
    v.lVal = lit.number;
  }
  return v;
}

void PumpFor(DWORD ms) { PumpMessagesFor(ms); }

// The DISPID of one name as a script engine asks for it.
HRESULT DispatchIdOf(IDispatch* control, std::u16string name, DISPID& id) {
  OLECHAR* names[] = {W(name)};
  return control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
}

void RunStatement(IDispatch* control, std::u16string line) {
  size_t i = 0;
  SkipBlanks(line, i);
  line.erase(0, i);
  while (!line.empty() && (line.back() == u' ' || line.back() == u'\r' || line.back() == u'\t')) line.pop_back();
  if (line.empty() || line[0] == u'#') return;
  if (line.rfind(u"echo", 0) == 0 && (line.size() == 4 || line[4] == u' ')) {
    Print(line.size() > 5 ? line.substr(5) : u"");
    return;
  }
  if (line.rfind(u"sleep ", 0) == 0) {
    PumpFor(static_cast<DWORD>(std::wcstoul(W(line) + 6, nullptr, 10)));
    return;
  }
  if (line.rfind(u"waitfile ", 0) == 0) {
    const std::u16string path = line.substr(9);
    for (int i = 0; i < 2400 && GetFileAttributesW(W(path)) == INVALID_FILE_ATTRIBUTES; ++i) PumpFor(50);
    return;
  }
  size_t end = 0;
  while (end < line.size() && (std::iswalnum(line[end]) || line[end] == u'_')) ++end;
  const std::u16string name = line.substr(0, end);
  if (name.empty()) {
    Print(line + u" -> syntax error");
    return;
  }
  if (control == nullptr) {
    Print(name + u" -> no dispatch interface");
    return;
  }
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = DispatchIdOf(control, name, id);
  if (FAILED(hr)) {
    Print(name + u" -> unknown name " + Hex(hr));
    return;
  }
  size_t k = end;
  SkipBlanks(line, k);
  std::vector<VARIANT> args;  // in call order
  WORD flags = DISPATCH_PROPERTYGET;
  std::u16string shown = name;
  if (k < line.size() && line[k] == u'=') {
    ++k;
    args.push_back(ToVariant(ParseLiteral(line, k, u"")));
    flags = DISPATCH_PROPERTYPUT;
    shown = name + u" = " + Show(args.back());
  } else if (k < line.size() && line[k] == u'(') {
    ++k;
    flags = DISPATCH_METHOD;
    SkipBlanks(line, k);
    while (k < line.size() && line[k] != u')') {
      args.push_back(ToVariant(ParseLiteral(line, k, u",)")));
      if (k < line.size() && line[k] == u',') ++k;
    }
    shown = name + u"(";
    for (size_t a = 0; a < args.size(); ++a) shown += (a ? u", " : u"") + Show(args[a]);
    shown += u")";
  }
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  VARIANT result;
  VariantInit(&result);
  UINT argErr = 0;
  hr = control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, flags == DISPATCH_PROPERTYPUT ? nullptr : &result,
                       nullptr, &argErr);
  if (FAILED(hr))
    Print(shown + u" -> error " + Hex(hr));
  else if (flags == DISPATCH_PROPERTYPUT)
    Print(shown + u" -> ok");
  else
    Print(shown + u" -> " + Show(result));
  VariantClear(&result);
  for (auto& v : args) VariantClear(&v);
}

// --- the type library's view ---------------------------------------------

void DescribeLibrary(ITypeInfo* info) {
  ComPtr<ITypeLib> lib;
  UINT index = 0;
  if (FAILED(info->GetContainingTypeLib(lib.put(), &index)) || !lib) return;
  TLIBATTR* la = nullptr;
  if (SUCCEEDED(lib->GetLibAttr(&la)) && la != nullptr) {
    UniqueBstr name, doc, help;
    lib->GetDocumentation(-1, name.put(), doc.put(), nullptr, help.put());
    Print(u"library " + FromBstr(name.get()) + u" " + Number(la->wMajorVerNum) + u"." + Number(la->wMinorVerNum) +
          u" lcid " + Number(la->lcid) + u" flags " + Number(la->wLibFlags) + u" help \"" + FromBstr(doc.get()) +
          u"\" file \"" + FromBstr(help.get()) + u"\"");
    lib->ReleaseTLibAttr(la);
  }
  for (UINT t = 0; t < lib->GetTypeInfoCount(); ++t) {
    UniqueBstr tn, td;
    lib->GetDocumentation(static_cast<INT>(t), tn.put(), td.put(), nullptr, nullptr);
    TYPEKIND kind{};
    lib->GetTypeInfoType(t, &kind);
    Print(u"type " + Number(t) + u" kind " + Number(kind) + u" " + FromBstr(tn.get()) + u" help \"" +
          FromBstr(td.get()) + u"\"");
  }
}

void DescribeMembers(ITypeInfo* info) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr)) || attr == nullptr) {
    Print(u"typeinfo: no attributes");
    return;
  }
  for (WORD f = 0; f < attr->cFuncs; ++f) {
    FUNCDESC* fd = nullptr;
    if (FAILED(info->GetFuncDesc(f, &fd))) continue;
    UniqueBstr name, doc;
    info->GetDocumentation(fd->memid, name.put(), doc.put(), nullptr, nullptr);
    const char16_t* kind = fd->invkind == INVOKE_PROPERTYGET   ? u"get"
                           : fd->invkind == INVOKE_PROPERTYPUT ? u"put"
                                                                : u"method";
    std::u16string params;
    BSTR names[8] = {};
    UINT got = 0;
    info->GetNames(fd->memid, names, 8, &got);
    for (UINT p = 1; p < got; ++p) {
      params += (p > 1 ? u"," : u"") + FromBstr(names[p]);
    }
    for (UINT p = 0; p < got; ++p) SysFreeString(names[p]);
    Print(u"member " + Number(fd->memid) + u" " + kind + u" " + FromBstr(name.get()) + u"(" + params + u") help \"" +
          FromBstr(doc.get()) + u"\"");
    info->ReleaseFuncDesc(fd);
  }
  for (WORD v = 0; v < attr->cVars; ++v) {
    VARDESC* vd = nullptr;
    if (FAILED(info->GetVarDesc(v, &vd))) continue;
    UniqueBstr name;
    info->GetDocumentation(vd->memid, name.put(), nullptr, nullptr, nullptr);
    Print(u"member " + Number(vd->memid) + u" var " + FromBstr(name.get()));
    info->ReleaseVarDesc(vd);
  }
  info->ReleaseTypeAttr(attr);
}

void Describe(IDispatch* control) {
  ComPtr<ITypeInfo> info;
  if (FAILED(control->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put())) || !info) {
    Print(u"typeinfo: none");
    return;
  }
  DescribeLibrary(info.get());
  DescribeMembers(info.get());
  for (const char16_t* n : {u"KeepAliveTime", u"KeepAliveMillisec", u"ProtectWebCheat", u"ProtectExplorerCheat",
                            u"ProtectWebExceptionList", u"ProtectExplorerExceptionList"}) {
    std::u16string name = n;
    OLECHAR* names[] = {W(name)};
    MEMBERID id = MEMBERID_NIL;
    const HRESULT hr = info->GetIDsOfNames(names, 1, &id);
    Print(u"typeinfo name " + name + u" -> " + (SUCCEEDED(hr) ? Number(id) : u"unknown"));
  }
}

void ListPages(IUnknown* control) {
  ComPtr<ISpecifyPropertyPages> specify;
  CAUUID ids{};
  if (FAILED(control->QueryInterface(IID_ISpecifyPropertyPages, specify.put_void())) ||
      FAILED(specify->GetPages(&ids))) {
    Print(u"pages: none");
    return;
  }
  for (ULONG i = 0; i < ids.cElems; ++i) {
    wchar_t text[40] = {};
    StringFromGUID2(ids.pElems[i], text, 40);
    ComPtr<IPropertyPage> page;
    PROPPAGEINFO info{};
    info.cb = sizeof info;
    if (SUCCEEDED(CoCreateInstance(ids.pElems[i], nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                   page.put_void())) &&
        SUCCEEDED(page->GetPageInfo(&info))) {
      Print(u"page " + U16(text) + u" \"" + U16(info.pszTitle) + u"\" " + Number(info.size.cx) + u"x" +
            Number(info.size.cy));
      CoTaskMemFree(info.pszTitle);
    } else {
      Print(u"page " + U16(text) + u" cannot be created");
    }
  }
  CoTaskMemFree(ids.pElems);
}

constexpr const char16_t* kStoredNames[] = {
    u"AppNotification", u"WebSandboxMode", u"ProtectKeyCheat", u"ProtectKeyList", u"ProtectMouseCheat",
    u"ProtectAppCheat", u"ProtectAppExceptionList", u"ProtectAppBlackList", u"KeepAliveMillisec",
    u"ProtectExplorerCheat", u"ProtectExplorerExceptionList", u"ProtectIEToolbarCheat", u"DebugLog",
    u"DebugSandbox", u"Text"};

// The container's own statements: activation and closing as a browser does
// them when a page is shown and left. False for anything else.
bool RunContainerStatement(IOleObject* object, ContainerSite* site, HWND host, const RECT& rect,
                           const std::u16string& line) {
  HRESULT hr = S_OK;
  if (line == u"unsite") {
    hr = object->SetClientSite(nullptr);
  } else if (line.rfind(u"resite ", 0) == 0) {
    const std::u16string url = line.substr(7);
    site->SetAddresses({url, url, url, url});
    hr = object->SetClientSite(site);
  } else if (line == u"activate") {
    hr = object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, host, &rect);
  } else if (line == u"deactivate") {
    ComPtr<IOleInPlaceObject> inPlace;
    hr = object->QueryInterface(IID_IOleInPlaceObject, inPlace.put_void());
    if (SUCCEEDED(hr)) hr = inPlace->InPlaceDeactivate();
  } else if (line == u"close") {
    hr = object->Close(OLECLOSE_NOSAVE);
  } else {
    return false;
  }
  Print((line.rfind(u"resite ", 0) == 0 ? std::u16string(u"resite") : line) + u" -> " + Hex(hr));
  return true;
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT && PageViewPaint(hwnd)) return 0;
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// --- the steps of a run ----------------------------------------------------

struct Options {
  std::wstring page, progId = L"ZADUZE.ZaduzeCtrl.1";
  std::vector<std::u16string> statements;
  std::u16string onCreated;
  PageAddresses addresses;
  bool activate = true, saveBag = false, streamCheck = false, describe = false, pages = false;
};

// The page's addresses (--url, --top-url, --doc-url, --doc-source): true
// when argv[a] was one of them, with `a` at its last word.
bool ParseAddressOption(int argc, wchar_t** argv, int& a, PageAddresses& addresses) {
  const std::wstring arg = argv[a];
  if (a + 1 >= argc) return false;
  const std::u16string value = U16(argv[a + 1]);
  if (arg == L"--url") {
    addresses = {value, value, value, value};
  } else if (arg == L"--top-url") {
    addresses.top = value;
  } else if (arg == L"--doc-url") {
    addresses.container = addresses.dispatch = addresses.moniker = value;
  } else if (arg == L"--doc-source") {
    const size_t eq = value.find(u'=');
    const std::u16string name = value.substr(0, eq);
    std::optional<std::u16string> url;
    if (eq != std::u16string::npos && value.substr(eq + 1) != u"none") url = value.substr(eq + 1);
    if (name == u"container") addresses.container = url;
    else if (name == u"dispatch") addresses.dispatch = url;
    else if (name == u"moniker") addresses.moniker = url;
    else return false;
  } else {
    return false;
  }
  ++a;
  return true;
}

// Reads the command line; false (said why) when the run cannot start.
bool ParseOptions(int argc, wchar_t** argv, Options& o) {
  for (int a = 1; a < argc; ++a) {
    const std::wstring arg = argv[a];
    if (ParseAddressOption(argc, argv, a, o.addresses)) continue;
    if (arg == L"--no-activate") o.activate = false;
    else if (arg == L"--save-bag") o.saveBag = true;
    else if (arg == L"--stream-check") o.streamCheck = true;
    else if (arg == L"--describe") o.describe = true;
    else if (arg == L"--pages") o.pages = true;
    else if (arg == L"--progid" && a + 1 < argc) o.progId = argv[++a];
    else if (arg == L"--on-created" && a + 1 < argc) o.onCreated = U16(argv[++a]);
    else if (arg == L"--script" && a + 1 < argc) {
      bool ok = false;
      const std::u16string text = ReadTextFile(argv[++a], ok);
      if (!ok) {
        Print(u"cannot read script " + U16(argv[a]));
        return false;
      }
      for (auto& line : SplitLines(text)) o.statements.push_back(std::move(line));
    } else if (o.page.empty()) o.page = arg;
    else o.statements.push_back(U16(arg));
  }
  if (o.page.empty()) {
    Print(u"usage: zaduze_container [--script FILE] [--no-activate] [--save-bag] [--stream-check] [--describe] "
          u"[--url URL] [--top-url URL] [--doc-url URL] [--doc-source NAME=URL] [--on-created CALL] PAGE.html [CALL ...]");
    return false;
  }
  return true;
}

// --parent HANDLE (decimal or 0x hex): the page window is created as a child
// of that top-level window of another program, the way a page in Edge's
// Internet Explorer mode (class "Internet Explorer_Server") is a child of
// the Edge frame window of msedge.exe. Taken out of the arguments before the
// others are read; null without it.
HWND TakeParentOption(int& argc, wchar_t** argv) {
  for (int a = 1; a + 1 < argc; ++a) {
    if (std::wcscmp(argv[a], L"--parent") != 0) continue;
    const auto value = static_cast<uintptr_t>(std::wcstoull(argv[a + 1], nullptr, 0));
    for (int b = a; b + 2 < argc; ++b) argv[b] = argv[b + 2];
    argc -= 2;
    return reinterpret_cast<HWND>(value);
  }
  return nullptr;
}

// The host window's class under the name a browser gives its window.
const wchar_t* RegisterHostClass(const wchar_t* name) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = HostProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = name;
  RegisterClassW(&wc);
  return name;
}

HWND CreatePageWindowIn(HWND parent, const std::wstring& page) {
  RECT client{};
  GetClientRect(parent, &client);
  HWND host = CreateWindowExW(0, RegisterHostClass(L"Internet Explorer_Server"), L"",
                              WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, client.right, client.bottom, parent,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  if (host == nullptr) return nullptr;
  PageViewInit(host, page);
  SetWindowPos(host, nullptr, 0, 0, client.right, client.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
  return host;
}

HWND CreateHostWindow(const std::wstring& page, HWND parent) {
  if (parent != nullptr) return CreatePageWindowIn(parent, page);
  // The browser's frame class: the agent's application guard spares browser
  // frames, so a session leaves this stand-in open as it leaves the browser.
  HWND host = CreateWindowExW(0, RegisterHostClass(L"IEFrame"), L"Zaduze test container",
                              WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 420, 200, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  PageViewInit(host, page);
  return host;
}

// The control as the container holds it.
struct Control {
  CLSID clsid{};
  ComPtr<IOleObject> object;
  ComPtr<IDispatch> dispatch;  // empty when the object has no dispatch interface
};

bool CreateControl(const std::wstring& progId, Control& control) {
  HRESULT hr = CLSIDFromProgID(progId.c_str(), &control.clsid);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(control.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, control.object.put_void());
  if (FAILED(hr)) {
    Print(u"create " + U16(progId.c_str()) + u" failed " + Hex(hr));
    return false;
  }
  Print(u"created " + U16(progId.c_str()));
  control.object->QueryInterface(IID_IDispatch, control.dispatch.put_void());
  return true;
}

// Hands the client site over (before or after the parameters, as the control
// asks) and loads the parameters, or initialises a new object when there are
// none.
void LoadParameters(IOleObject* object, ContainerSite* site, const ObjectElement& element) {
  DWORD misc = 0;
  object->GetMiscStatus(DVASPECT_CONTENT, &misc);
  if (misc & OLEMISC_SETCLIENTSITEFIRST) object->SetClientSite(site);
  if (!element.params.empty()) {
    ComPtr<IPersistPropertyBag> persist;
    if (SUCCEEDED(object->QueryInterface(IID_IPersistPropertyBag, persist.put_void()))) {
      const auto bag = ComPtr<ParamBag>::Adopt(new ParamBag(element.params));
      Print(u"load parameters -> " + Hex(persist->Load(bag.get(), nullptr)));
    }
  } else {
    ComPtr<IPersistStreamInit> persist;
    if (SUCCEEDED(object->QueryInterface(IID_IPersistStreamInit, persist.put_void()))) persist->InitNew();
  }
  if (!(misc & OLEMISC_SETCLIENTSITEFIRST)) object->SetClientSite(site);
}

// The container's connection to the control's default event interface; the
// event names come from the type library, as a script engine finds them.
struct EventConnection {
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
  ComPtr<ITypeInfo> sourceInfo;

  void Disconnect() {
    if (point) point->Unadvise(cookie);
    point.reset();
  }
};

void ConnectEvents(const Control& control, ContainerSite* site, HWND host, const std::u16string& onCreated,
                   EventConnection& connection) {
  ComPtr<IProvideClassInfo2> classInfo;
  ComPtr<IConnectionPointContainer> points;
  IID events{};
  if (FAILED(control.object->QueryInterface(IID_IProvideClassInfo2, classInfo.put_void())) ||
      FAILED(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events)) ||
      FAILED(control.object->QueryInterface(IID_IConnectionPointContainer, points.put_void())) ||
      FAILED(points->FindConnectionPoint(events, connection.point.put())) || !connection.point)
    return;
  ComPtr<ITypeInfo> info;
  ComPtr<ITypeLib> lib;
  UINT idx = 0;
  if (SUCCEEDED(classInfo->GetClassInfo(info.put())) && info && SUCCEEDED(info->GetContainingTypeLib(lib.put(), &idx)))
    lib->GetTypeInfoOfGuid(events, connection.sourceInfo.put());
  ITypeInfo* sourceInfo = connection.sourceInfo.get();  // held by the connection while the sink is connected
  IOleObject* object = control.object.get();
  IDispatch* dispatch = control.dispatch.get();
  auto onEvent = [sourceInfo, &onCreated, object, dispatch, site, host](DISPID id) {
    UniqueBstr name;
    if (sourceInfo != nullptr) sourceInfo->GetDocumentation(id, name.put(), nullptr, nullptr, nullptr);
    Print(u"event " + (name.get() ? FromBstr(name.get()) : u"#" + Number(id)));
    if (id == 1 && !onCreated.empty() && !RunContainerStatement(object, site, host, site->ControlRect(), onCreated))
      RunStatement(dispatch, onCreated);
  };
  const auto sink = ComPtr<EventSink>::Adopt(new EventSink(events, onEvent));
  connection.point->Advise(sink.get(), &connection.cookie);
}

void SaveToBag(IOleObject* object) {
  ComPtr<IPersistPropertyBag> persist;
  if (FAILED(object->QueryInterface(IID_IPersistPropertyBag, persist.put_void()))) return;
  const auto bag = ComPtr<ParamBag>::Adopt(new ParamBag({}));
  Print(u"save bag -> " + Hex(persist->Save(bag.get(), TRUE, TRUE)));
  for (const auto& w : bag->Writes()) Print(u"bag " + w.name + u" vt " + Number(w.type) + u" = " + w.text);
}

// Saves the control to a stream, loads that into a second control and prints
// the second one's properties.
void CheckStream(const Control& control) {
  ComPtr<IPersistStreamInit> persist;
  ComPtr<IStream> stream;
  if (FAILED(control.object->QueryInterface(IID_IPersistStreamInit, persist.put_void())) ||
      FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put())))
    return;
  Print(u"dirty before save -> " + Hex(persist->IsDirty()));
  const HRESULT hr = persist->Save(stream.get(), TRUE);
  Print(u"save stream -> " + Hex(hr) + u", dirty after -> " + Hex(persist->IsDirty()));
  const LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  ComPtr<IPersistStreamInit> second;
  if (FAILED(CoCreateInstance(control.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistStreamInit,
                              second.put_void())))
    return;
  Print(u"load stream -> " + Hex(second->Load(stream.get())));
  ComPtr<IDispatch> d;
  if (FAILED(second->QueryInterface(IID_IDispatch, d.put_void())) || !d) {
    Print(u"stream: no dispatch interface");
    return;
  }
  for (const char16_t* n : kStoredNames) {
    DISPID id = 0;
    VARIANT v;
    VariantInit(&v);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (SUCCEEDED(DispatchIdOf(d.get(), n, id)) &&
        SUCCEEDED(d->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr)))
      Print(u"stream " + std::u16string(n) + u" = " + Show(v));
    VariantClear(&v);
  }
}

// Leaves the page: deactivate (the destruction step), disconnect, release.
void LeavePage(Control& control, EventConnection& events, ComPtr<ContainerSite>& site) {
  Print(u"close -> " + Hex(control.object->Close(OLECLOSE_NOSAVE)));
  events.Disconnect();
  control.object->SetClientSite(nullptr);
  control.dispatch.reset();
  const ULONG left = control.object.detach()->Release();
  site.reset();
  Print(u"released, references left " + Number(left));
}

int Run(int argc, wchar_t** argv) {
  const HWND parent = TakeParentOption(argc, argv);
  Options options;
  if (!ParseOptions(argc, argv, options)) return 2;
  bool ok = false;
  const ObjectElement element = ParseObjectElement(ReadTextFile(options.page, ok));
  if (!ok) {
    Print(u"cannot read page " + U16(options.page.c_str()));
    return 2;
  }
  Print(u"page: " + Number(static_cast<long long>(element.params.size())) + u" parameters" +
        (element.found ? u"" : u" (no object element)"));

  HWND host = CreateHostWindow(options.page, parent);
  if (host == nullptr) {
    Print(u"no page window in the parent window");
    return 2;
  }
  Control control;
  if (!CreateControl(options.progId, control)) {
    DestroyWindow(host);
    return 1;
  }
  auto site = ComPtr<ContainerSite>::Adopt(new ContainerSite(host));
  site->SetAddresses(options.addresses);
  LoadParameters(control.object.get(), site.get(), element);
  EventConnection events;
  ConnectEvents(control, site.get(), host, options.onCreated, events);

  if (options.activate) {
    const RECT rect = site->ControlRect();
    Print(u"activate -> " + Hex(control.object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.get(), 0, host, &rect)));
    PumpFor(50);
  }
  if (options.describe && control.dispatch) Describe(control.dispatch.get());
  if (options.pages) ListPages(control.object.get());
  for (const auto& s : options.statements)
    if (!RunContainerStatement(control.object.get(), site.get(), host, site->ControlRect(), s))
      RunStatement(control.dispatch.get(), s);
  if (options.saveBag) SaveToBag(control.object.get());
  if (options.streamCheck) CheckStream(control);

  LeavePage(control, events, site);
  DestroyWindow(host);
  return 0;
}

}  // namespace
}  // namespace zv

int wmain(int argc, wchar_t** argv) {
  if (FAILED(OleInitialize(nullptr))) return 1;
  const int rc = zv::Run(argc, argv);
  CoFreeUnusedLibraries();
  OleUninitialize();
  return rc;
}
