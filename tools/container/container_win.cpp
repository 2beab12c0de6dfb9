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
//     echo TEXT            print TEXT
//     activate / deactivate / close
//                          the container activates the control in place,
//                          deactivates it, or closes it (as leaving the page)
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
//                     tells it (the client site's browser object); without
//                     it the container tells no address
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
#include "platform/wide.h"
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
    case VT_BSTR: return u"\"" + U16(v.bstrVal, SysStringLen(v.bstrVal)) + u"\"";
    case VT_I2: return Number(v.iVal);
    case VT_I4: return Number(v.lVal);
    case VT_BOOL: return v.boolVal ? u"true" : u"false";
    default: {
      VARIANT t;
      VariantInit(&t);
      std::u16string out = u"(vt " + Number(v.vt) + u")";
      if (SUCCEEDED(VariantChangeType(&t, const_cast<VARIANT*>(&v), 0, VT_BSTR))) out = U16(t.bstrVal, SysStringLen(t.bstrVal));
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
    lit.number = std::wcstol(reinterpret_cast<const wchar_t*>(raw.c_str()), nullptr, 10);
  }
  return lit;
}

VARIANT ToVariant(const Literal& lit) {
  VARIANT v;
  VariantInit(&v);
  if (lit.isText) {
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(lit.text.data()), static_cast<UINT>(lit.text.size()));
  } else {
    v.vt = VT_I4;
    v.lVal = lit.number;
  }
  return v;
}

void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
  }
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
    PumpFor(static_cast<DWORD>(std::wcstoul(reinterpret_cast<const wchar_t*>(line.c_str()) + 6, nullptr, 10)));
    return;
  }
  size_t end = 0;
  while (end < line.size() && (std::iswalnum(line[end]) || line[end] == u'_')) ++end;
  const std::u16string name = line.substr(0, end);
  if (name.empty()) {
    Print(line + u" -> syntax error");
    return;
  }
  OLECHAR* names[] = {reinterpret_cast<OLECHAR*>(const_cast<char16_t*>(name.c_str()))};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
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

std::u16string Bstr(BSTR b) { return b ? U16(b, SysStringLen(b)) : u""; }

void Describe(IDispatch* control) {
  ITypeInfo* info = nullptr;
  if (FAILED(control->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)) || info == nullptr) {
    Print(u"typeinfo: none");
    return;
  }
  ITypeLib* lib = nullptr;
  UINT index = 0;
  if (SUCCEEDED(info->GetContainingTypeLib(&lib, &index))) {
    TLIBATTR* la = nullptr;
    lib->GetLibAttr(&la);
    BSTR name = nullptr, doc = nullptr, help = nullptr;
    lib->GetDocumentation(-1, &name, &doc, nullptr, &help);
    Print(u"library " + Bstr(name) + u" " + Number(la->wMajorVerNum) + u"." + Number(la->wMinorVerNum) + u" lcid " +
          Number(la->lcid) + u" flags " + Number(la->wLibFlags) + u" help \"" + Bstr(doc) + u"\" file \"" + Bstr(help) +
          u"\"");
    SysFreeString(name);
    SysFreeString(doc);
    SysFreeString(help);
    lib->ReleaseTLibAttr(la);
    for (UINT t = 0; t < lib->GetTypeInfoCount(); ++t) {
      BSTR tn = nullptr, td = nullptr;
      lib->GetDocumentation(static_cast<INT>(t), &tn, &td, nullptr, nullptr);
      TYPEKIND kind{};
      lib->GetTypeInfoType(t, &kind);
      Print(u"type " + Number(t) + u" kind " + Number(kind) + u" " + Bstr(tn) + u" help \"" + Bstr(td) + u"\"");
      SysFreeString(tn);
      SysFreeString(td);
    }
    lib->Release();
  }
  TYPEATTR* attr = nullptr;
  info->GetTypeAttr(&attr);
  for (WORD f = 0; f < attr->cFuncs; ++f) {
    FUNCDESC* fd = nullptr;
    if (FAILED(info->GetFuncDesc(f, &fd))) continue;
    BSTR name = nullptr, doc = nullptr;
    info->GetDocumentation(fd->memid, &name, &doc, nullptr, nullptr);
    const char16_t* kind = fd->invkind == INVOKE_PROPERTYGET   ? u"get"
                           : fd->invkind == INVOKE_PROPERTYPUT ? u"put"
                                                                : u"method";
    std::u16string params;
    BSTR names[8] = {};
    UINT got = 0;
    info->GetNames(fd->memid, names, 8, &got);
    for (UINT p = 1; p < got; ++p) {
      params += (p > 1 ? u"," : u"") + Bstr(names[p]);
    }
    for (UINT p = 0; p < got; ++p) SysFreeString(names[p]);
    Print(u"member " + Number(fd->memid) + u" " + kind + u" " + Bstr(name) + u"(" + params + u") help \"" + Bstr(doc) +
          u"\"");
    SysFreeString(name);
    SysFreeString(doc);
    info->ReleaseFuncDesc(fd);
  }
  for (WORD v = 0; v < attr->cVars; ++v) {
    VARDESC* vd = nullptr;
    if (FAILED(info->GetVarDesc(v, &vd))) continue;
    BSTR name = nullptr;
    info->GetDocumentation(vd->memid, &name, nullptr, nullptr, nullptr);
    Print(u"member " + Number(vd->memid) + u" var " + Bstr(name));
    SysFreeString(name);
    info->ReleaseVarDesc(vd);
  }
  info->ReleaseTypeAttr(attr);
  for (const char16_t* n : {u"KeepAliveTime", u"KeepAliveMillisec", u"ProtectWebCheat", u"ProtectExplorerCheat",
                            u"ProtectWebExceptionList", u"ProtectExplorerExceptionList"}) {
    OLECHAR* names[] = {reinterpret_cast<OLECHAR*>(const_cast<char16_t*>(n))};
    MEMBERID id = MEMBERID_NIL;
    const HRESULT hr = info->GetIDsOfNames(names, 1, &id);
    Print(u"typeinfo name " + std::u16string(n) + u" -> " + (SUCCEEDED(hr) ? Number(id) : u"unknown"));
  }
  info->Release();
}

void ListPages(IUnknown* control) {
  ISpecifyPropertyPages* specify = nullptr;
  CAUUID ids{};
  if (FAILED(control->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&specify))) ||
      FAILED(specify->GetPages(&ids))) {
    Print(u"pages: none");
    if (specify) specify->Release();
    return;
  }
  for (ULONG i = 0; i < ids.cElems; ++i) {
    wchar_t text[40] = {};
    StringFromGUID2(ids.pElems[i], text, 40);
    IPropertyPage* page = nullptr;
    PROPPAGEINFO info{};
    info.cb = sizeof info;
    if (SUCCEEDED(CoCreateInstance(ids.pElems[i], nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                   reinterpret_cast<void**>(&page))) &&
        SUCCEEDED(page->GetPageInfo(&info))) {
      Print(u"page " + U16(text) + u" \"" + U16(info.pszTitle) + u"\" " + Number(info.size.cx) + u"x" +
            Number(info.size.cy));
      CoTaskMemFree(info.pszTitle);
    } else {
      Print(u"page " + U16(text) + u" cannot be created");
    }
    if (page) page->Release();
  }
  CoTaskMemFree(ids.pElems);
  specify->Release();
}

constexpr const char16_t* kStoredNames[] = {
    u"AppNotification", u"WebSandboxMode", u"ProtectKeyCheat", u"ProtectKeyList", u"ProtectMouseCheat",
    u"ProtectAppCheat", u"ProtectAppExceptionList", u"ProtectAppBlackList", u"KeepAliveMillisec",
    u"ProtectExplorerCheat", u"ProtectExplorerExceptionList", u"ProtectIEToolbarCheat", u"DebugLog",
    u"DebugSandbox", u"Text"};

// The container's own statements: activation and closing as a browser does
// them when a page is shown and left. False for anything else.
bool RunContainerStatement(IOleObject* object, IOleClientSite* site, HWND host, const RECT& rect,
                           const std::u16string& line) {
  HRESULT hr = S_OK;
  if (line == u"activate") {
    hr = object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, host, &rect);
  } else if (line == u"deactivate") {
    IOleInPlaceObject* inPlace = nullptr;
    hr = object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace));
    if (SUCCEEDED(hr)) {
      hr = inPlace->InPlaceDeactivate();
      inPlace->Release();
    }
  } else if (line == u"close") {
    hr = object->Close(OLECLOSE_NOSAVE);
  } else {
    return false;
  }
  Print(line + u" -> " + Hex(hr));
  return true;
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT && PageViewPaint(hwnd)) return 0;
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

int Run(int argc, wchar_t** argv) {
  std::wstring page, progId = L"ZADUZE.ZaduzeCtrl.1";
  std::vector<std::u16string> statements;
  std::u16string pageUrl, onCreated;
  bool hasUrl = false;
  bool activate = true, saveBag = false, streamCheck = false, describe = false, pages = false;
  for (int a = 1; a < argc; ++a) {
    const std::wstring arg = argv[a];
    if (arg == L"--no-activate") activate = false;
    else if (arg == L"--save-bag") saveBag = true;
    else if (arg == L"--stream-check") streamCheck = true;
    else if (arg == L"--describe") describe = true;
    else if (arg == L"--pages") pages = true;
    else if (arg == L"--progid" && a + 1 < argc) progId = argv[++a];
    else if (arg == L"--on-created" && a + 1 < argc) onCreated = U16(argv[++a]);
    else if (arg == L"--url" && a + 1 < argc) pageUrl = U16(argv[++a]), hasUrl = true;
    else if (arg == L"--script" && a + 1 < argc) {
      bool ok = false;
      const std::u16string text = ReadTextFile(argv[++a], ok);
      if (!ok) {
        Print(u"cannot read script " + U16(argv[a]));
        return 2;
      }
      size_t start = 0;
      while (start <= text.size()) {
        size_t nl = text.find(u'\n', start);
        if (nl == std::u16string::npos) nl = text.size();
        statements.push_back(text.substr(start, nl - start));
        start = nl + 1;
      }
    } else if (page.empty()) page = arg;
    else statements.push_back(U16(arg));
  }
  if (page.empty()) {
    Print(u"usage: zaduze_container [--script FILE] [--no-activate] [--save-bag] [--stream-check] [--describe] "
          u"[--url URL] [--on-created CALL] PAGE.html [CALL ...]");
    return 2;
  }
  bool ok = false;
  const ObjectElement element = ParseObjectElement(ReadTextFile(page, ok));
  if (!ok) {
    Print(u"cannot read page " + U16(page.c_str()));
    return 2;
  }
  Print(u"page: " + Number(static_cast<long long>(element.params.size())) + u" parameters" +
        (element.found ? u"" : u" (no object element)"));

  WNDCLASSW wc{};
  wc.lpfnWndProc = HostProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  // The browser's frame class: the agent's application guard spares browser
  // frames, so a session leaves this stand-in open as it leaves the browser.
  wc.lpszClassName = L"IEFrame";
  RegisterClassW(&wc);
  HWND host = CreateWindowExW(0, wc.lpszClassName, L"Zaduze test container", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                              420, 200, nullptr, nullptr, wc.hInstance, nullptr);
  PageViewInit(host, page);

  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
  IOleObject* object = nullptr;
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, reinterpret_cast<void**>(&object));
  if (FAILED(hr)) {
    Print(u"create " + U16(progId.c_str()) + u" failed " + Hex(hr));
    DestroyWindow(host);
    return 1;
  }
  Print(u"created " + U16(progId.c_str()));
  IDispatch* dispatch = nullptr;
  object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));

  auto* site = new ContainerSite(host);
  if (hasUrl) site->SetPageUrl(pageUrl);
  DWORD misc = 0;
  object->GetMiscStatus(DVASPECT_CONTENT, &misc);
  if (misc & OLEMISC_SETCLIENTSITEFIRST) object->SetClientSite(site);

  // Load the parameters, or initialise a new object when there are none.
  if (!element.params.empty()) {
    IPersistPropertyBag* persist = nullptr;
    if (SUCCEEDED(object->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&persist)))) {
      auto* bag = new ParamBag(element.params);
      hr = persist->Load(bag, nullptr);
      Print(u"load parameters -> " + Hex(hr));
      bag->Release();
      persist->Release();
    }
  } else {
    IPersistStreamInit* persist = nullptr;
    if (SUCCEEDED(object->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)))) {
      persist->InitNew();
      persist->Release();
    }
  }
  if (!(misc & OLEMISC_SETCLIENTSITEFIRST)) object->SetClientSite(site);

  // Connect to the control's default event interface.
  IConnectionPoint* point = nullptr;
  DWORD cookie = 0;
  IProvideClassInfo2* classInfo = nullptr;
  if (SUCCEEDED(object->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&classInfo)))) {
    IID events{};
    IConnectionPointContainer* points = nullptr;
    if (SUCCEEDED(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events)) &&
        SUCCEEDED(object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points)))) {
      if (SUCCEEDED(points->FindConnectionPoint(events, &point))) {
        ITypeInfo* info = nullptr;
        ITypeInfo* sourceInfo = nullptr;
        std::u16string names[2];
        // Event names come from the type library, as a script engine finds them.
        if (SUCCEEDED(classInfo->GetClassInfo(&info))) {
          ITypeLib* lib = nullptr;
          UINT idx = 0;
          if (SUCCEEDED(info->GetContainingTypeLib(&lib, &idx))) {
            lib->GetTypeInfoOfGuid(events, &sourceInfo);
            lib->Release();
          }
          info->Release();
        }
        auto* sink = new EventSink(events, [sourceInfo, &onCreated, object, dispatch, site, host](DISPID id) {
          BSTR name = nullptr;
          if (sourceInfo != nullptr) sourceInfo->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
          Print(u"event " + (name ? U16(name, SysStringLen(name)) : u"#" + Number(id)));
          SysFreeString(name);
          if (id == 1 && !onCreated.empty() &&
              !RunContainerStatement(object, site, host, site->ControlRect(), onCreated))
            RunStatement(dispatch, onCreated);
        });
        point->Advise(sink, &cookie);
        sink->Release();
      }
      points->Release();
    }
    classInfo->Release();
  }

  if (activate) {
    const RECT rect = site->ControlRect();
    hr = object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, host, &rect);
    Print(u"activate -> " + Hex(hr));
    PumpFor(50);
  }
  if (describe && dispatch != nullptr) Describe(dispatch);
  if (pages) ListPages(object);
  for (const auto& s : statements)
    if (!RunContainerStatement(object, site, host, site->ControlRect(), s)) RunStatement(dispatch, s);

  if (saveBag) {
    IPersistPropertyBag* persist = nullptr;
    if (SUCCEEDED(object->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&persist)))) {
      auto* bag = new ParamBag({});
      hr = persist->Save(bag, TRUE, TRUE);
      Print(u"save bag -> " + Hex(hr));
      for (const auto& w : bag->Writes()) Print(u"bag " + w.name + u" vt " + Number(w.type) + u" = " + w.text);
      bag->Release();
      persist->Release();
    }
  }
  if (streamCheck) {
    IPersistStreamInit* persist = nullptr;
    IStream* stream = nullptr;
    if (SUCCEEDED(object->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist))) &&
        SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) {
      Print(u"dirty before save -> " + Hex(persist->IsDirty()));
      hr = persist->Save(stream, TRUE);
      Print(u"save stream -> " + Hex(hr) + u", dirty after -> " + Hex(persist->IsDirty()));
      const LARGE_INTEGER zero{};
      stream->Seek(zero, STREAM_SEEK_SET, nullptr);
      IPersistStreamInit* second = nullptr;
      if (SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistStreamInit,
                                     reinterpret_cast<void**>(&second)))) {
        Print(u"load stream -> " + Hex(second->Load(stream)));
        IDispatch* d = nullptr;
        second->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d));
        for (const char16_t* n : kStoredNames) {
          std::u16string line = u"stream ";
          OLECHAR* names[] = {reinterpret_cast<OLECHAR*>(const_cast<char16_t*>(n))};
          DISPID id = 0;
          VARIANT v;
          VariantInit(&v);
          DISPPARAMS none{nullptr, nullptr, 0, 0};
          if (SUCCEEDED(d->GetIDsOfNames(IID_NULL, names, 1, 0, &id)) &&
              SUCCEEDED(d->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr)))
            Print(line + n + u" = " + Show(v));
          VariantClear(&v);
        }
        d->Release();
        second->Release();
      }
    }
    if (stream) stream->Release();
    if (persist) persist->Release();
  }

  // Leave the page: deactivate (the destruction step), disconnect, release.
  hr = object->Close(OLECLOSE_NOSAVE);
  Print(u"close -> " + Hex(hr));
  if (point != nullptr) {
    point->Unadvise(cookie);
    point->Release();
  }
  object->SetClientSite(nullptr);
  if (dispatch) dispatch->Release();
  const ULONG left = object->Release();
  site->Release();
  Print(u"released, references left " + Number(left));
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
