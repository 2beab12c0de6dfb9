// The control object in-process: dispatch, persistence, reset, and the
// creation and destruction steps with the recording stand-in as the agent.
#include <windows.h>

#include <ocidl.h>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/text/text_util.h"
#include "control/agentlink/launcher_win.h"
#include "control/agentlink/notice_popup_win.h"
#include "control/ocx/zaduze_ctrl.h"
#include "control/ocx/zaduze_guids.h"
#include "platform/com_ptr.h"
#include "platform/handles.h"
#include "platform/wide.h"

namespace zv {
namespace {

std::wstring ExeFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path);
  return dir.substr(0, dir.find_last_of(L'\\'));
}

// Installs the recording stand-in as ZedudeVeri.exe in a folder of its own
// and points HKCU\SOFTWARE\Zaduze "Path" at it; puts the old value back.
class RecorderAgent {
 public:
  RecorderAgent() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"zv-ctl-agent-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    ok_ = CopyFileW((ExeFolder() + L"\\control_recorder.exe").c_str(), (folder_ + L"\\ZedudeVeri.exe").c_str(), FALSE);
    RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Zaduze", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.put(), nullptr);
    DWORD size = sizeof old_;
    had_old_ = RegQueryValueExW(key_.get(), L"Path", nullptr, nullptr, reinterpret_cast<BYTE*>(old_), &size) == ERROR_SUCCESS;
    SetPath(folder_);
    Clear();
  }
  ~RecorderAgent() {
    if (had_old_)
      RegSetValueExW(key_.get(), L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(old_), (lstrlenW(old_) + 1) * 2);
    else
      RegDeleteValueW(key_.get(), L"Path");
    key_.reset();
    Clear();
    DeleteFileW((folder_ + L"\\exitcode.txt").c_str());
    DeleteFileW((folder_ + L"\\ZedudeVeri.exe").c_str());
    RemoveDirectoryW(folder_.c_str());
  }
  bool ok() const { return ok_; }
  void SetPath(const std::wstring& path) {
    RegSetValueExW(key_.get(), L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * 2));
  }
  void SetRaw(DWORD type, const void* data, DWORD size) { RegSetValueExW(key_.get(), L"Path", 0, type, static_cast<const BYTE*>(data), size); }
  void ExitWith(const char* code) {
    std::ofstream((folder_ + L"\\exitcode.txt").c_str()) << code;
  }
  void Clear() {
    for (const wchar_t* f : {L"\\calls.txt", L"\\args.txt", L"\\messages.txt"}) DeleteFileW((folder_ + f).c_str());
  }
  bool HasCalls() const { return GetFileAttributesW((folder_ + L"\\calls.txt").c_str()) != INVALID_FILE_ATTRIBUTES; }
  std::vector<std::string> Calls() const {
    std::ifstream in((folder_ + L"\\calls.txt").c_str());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  const std::wstring& folder() const { return folder_; }

 private:
  std::wstring folder_;
  UniqueRegKey key_;
  wchar_t old_[MAX_PATH] = {};
  bool had_old_ = false;
  bool ok_ = false;
};

// Owns one reference to a control made the way its class factory makes it.
struct Control {
  Control() {
    CZaduzeCtrl::Create(nullptr, IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    ctrl = static_cast<CZaduzeCtrl*>(dispatch);
  }
  ~Control() { dispatch->Release(); }
  IDispatch* dispatch = nullptr;
  CZaduzeCtrl* ctrl = nullptr;
};

HRESULT Put(IDispatch* d, DISPID id, VARIANT value, bool named = true) {
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS p{&value, named ? &put : nullptr, 1, named ? 1u : 0u};
  UINT err = 0;
  return d->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &p, nullptr, nullptr, &err);
}
VARIANT I4(LONG v) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_I4;
  x.lVal = v;
  return x;
}
VARIANT Str(const wchar_t* s) {
  VARIANT x;
  VariantInit(&x);
  x.vt = VT_BSTR;
  x.bstrVal = SysAllocString(s);
  return x;
}
HRESULT Get(IDispatch* d, DISPID id, VARIANT& out, WORD flags = DISPATCH_PROPERTYGET) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VariantInit(&out);
  return d->Invoke(id, IID_NULL, 0, flags, &none, &out, nullptr, nullptr);
}

class ControlTest : public testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(ControlTest, NamesResolveThroughTheDispatchTableOnly) {
  Control c;
  struct Case {
    const wchar_t* name;
    DISPID id;
    HRESULT hr;
  } cases[] = {{L"KeepAliveMillisec", 36, S_OK},       {L"keepALIVEmillisec", 36, S_OK},
               {L"KeepAliveTime", DISPID_UNKNOWN, DISP_E_UNKNOWNNAME},
               {L"ProtectWebCheat", DISPID_UNKNOWN, DISP_E_UNKNOWNNAME},
               {L"ProtectExplorerExceptionList", 38, S_OK}, {L"AboutBox", -552, S_OK},
               {L"m_ProtectAppBlackList", DISPID_UNKNOWN, DISP_E_UNKNOWNNAME}};
  for (const auto& k : cases) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(k.name)};
    DISPID id = 12345;
    EXPECT_EQ(c.dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), k.hr) << k.name;
    EXPECT_EQ(id, k.id) << k.name;
  }
}

TEST_F(ControlTest, UnknownMembersAndBadCallsAreRefused) {
  Control c;
  VARIANT v;
  for (DISPID id : {2, 7, 10, 28, 54, 0, -517}) EXPECT_EQ(Get(c.dispatch, id, v), DISP_E_MEMBERNOTFOUND) << id;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(c.dispatch->Invoke(36, IID_IDispatch, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  // A property is not a method, a method is no property.
  EXPECT_EQ(Put(c.dispatch, 40, I4(1)), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Get(c.dispatch, 40, v), DISP_E_MEMBERNOTFOUND);
  // A write needs its named DISPID_PROPERTYPUT argument; a method its count.
  EXPECT_NE(Put(c.dispatch, 36, I4(5), false), S_OK);
  EXPECT_EQ(Get(c.dispatch, 44, v, DISPATCH_METHOD), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(c.ctrl->Properties().keepAliveMillisec, 1000);
  // Counts without their arrays, a missing name.
  DISPPARAMS noArgs{nullptr, nullptr, 1, 0}, noNames{&v, nullptr, 1, 1};
  EXPECT_EQ(c.dispatch->Invoke(51, IID_NULL, 0, DISPATCH_METHOD, &noArgs, &v, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(c.dispatch->Invoke(36, IID_NULL, 0, DISPATCH_PROPERTYPUT, &noNames, nullptr, nullptr, nullptr), E_INVALIDARG);
  LPOLESTR noName[] = {nullptr};
  DISPID id = 0;
  EXPECT_EQ(c.dispatch->GetIDsOfNames(IID_NULL, noName, 1, 0, &id), DISP_E_UNKNOWNNAME);
}

TEST_F(ControlTest, WritesConvertOrAreRefusedAndStartNothing) {
  RecorderAgent agent;
  ASSERT_TRUE(agent.ok());
  Control c;
  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(c.dispatch->QueryInterface(IID_IPersistStreamInit, persist.put_void()), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  EXPECT_EQ(Put(c.dispatch, 36, Str(L"2500")), S_OK);
  EXPECT_EQ(c.ctrl->Properties().keepAliveMillisec, 2500);
  EXPECT_EQ(persist->IsDirty(), S_OK);
  EXPECT_EQ(Put(c.dispatch, 36, I4(40000)), DISP_E_OVERFLOW);
  EXPECT_EQ(Put(c.dispatch, 36, I4(-32769)), DISP_E_OVERFLOW);
  EXPECT_EQ(Put(c.dispatch, 30, Str(L"yes")), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(c.ctrl->Properties().keepAliveMillisec, 2500);
  EXPECT_EQ(c.ctrl->Properties().debugLog, 0);
  // Writing every stored property runs no agent.
  for (DISPID id : {29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 46, 47, 48}) EXPECT_EQ(Put(c.dispatch, id, I4(7)), S_OK);
  EXPECT_EQ(c.ctrl->Properties().protectAppBlackList, u"7");
  EXPECT_FALSE(agent.HasCalls());
}

// A property bag over a map, recording what is written.
class MapBag final : public IPropertyBag {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** o) override {
    return QueryInterfaceFrom(riid, o, {{this, {&IID_IUnknown, &IID_IPropertyBag}}});
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP Read(LPCOLESTR name, VARIANT* v, IErrorLog*) override {
    auto it = values.find(name);
    if (it == values.end()) return E_INVALIDARG;
    VARIANT s = Str(it->second.c_str());
    if (v->vt == VT_EMPTY || v->vt == VT_BSTR) {
      *v = s;
      return S_OK;
    }
    const VARTYPE t = v->vt;
    const HRESULT hr = VariantChangeType(v, &s, 0, t);
    VariantClear(&s);
    return hr;
  }
  STDMETHODIMP Write(LPCOLESTR name, VARIANT* v) override {
    VARIANT s;
    VariantInit(&s);
    VariantChangeType(&s, v, 0, VT_BSTR);
    written.push_back({name, v->vt, s.bstrVal ? s.bstrVal : L""});
    VariantClear(&s);
    return S_OK;
  }
  std::map<std::wstring, std::wstring> values;
  struct W {
    std::wstring name;
    VARTYPE vt;
    std::wstring text;
  };
  std::vector<W> written;
};

TEST_F(ControlTest, PropertyBagLoadUsesThePersistedNames) {
  Control c;
  ComPtr<IPersistPropertyBag> persist;
  ASSERT_EQ(c.dispatch->QueryInterface(IID_IPersistPropertyBag, persist.put_void()), S_OK);
  c.ctrl->MutableProperties().protectKeyList = u"set before";
  c.ctrl->MutableProperties().debugSandbox = 5;
  MapBag bag;
  bag.values = {{L"ProtectAppBlackList", L"ignored.exe"}, {L"KeepAliveMillisec", L"99999"}, {L"DebugLog", L"1"},
                {L"ProtectAppExceptionList", L"calc.exe"}};
  ASSERT_EQ(persist->Load(&bag, nullptr), S_OK);
  const auto& p = c.ctrl->Properties();
  EXPECT_EQ(p.protectAppBlackList, u"");     // not under its persisted name
  EXPECT_EQ(p.keepAliveMillisec, 1000);     // does not convert: stays
  EXPECT_EQ(p.debugLog, 1);
  EXPECT_EQ(p.debugSandbox, 5);             // absent short: stays
  EXPECT_EQ(p.protectKeyList, u"");         // absent text: the default
  EXPECT_EQ(p.protectAppExceptionList, u"calc.exe");
  bag.values = {{L"m_ProtectAppBlackList", L"black.exe"}};
  ASSERT_EQ(persist->Load(&bag, nullptr), S_OK);
  EXPECT_EQ(p.protectAppBlackList, u"black.exe");

  // Saved: every short, only the texts that are not empty, in exchange order.
  ASSERT_EQ(persist->Save(&bag, TRUE, TRUE), S_OK);
  std::vector<std::wstring> names;
  for (const auto& w : bag.written) names.push_back(w.name);
  const std::vector<std::wstring> expected = {
      L"_Version", L"_ExtentX", L"_ExtentY", L"AppNotification", L"WebSandboxMode", L"ProtectKeyCheat",
      L"ProtectMouseCheat", L"ProtectAppCheat", L"m_ProtectAppBlackList", L"KeepAliveMillisec",
      L"ProtectExplorerCheat", L"ProtectIEToolbarCheat", L"DebugLog", L"DebugSandbox"};
  EXPECT_EQ(names, expected);
  for (const auto& w : bag.written) {
    if (w.name != L"m_ProtectAppBlackList" && w.name[0] != L'_') {
      EXPECT_EQ(w.vt, VT_I2) << w.name;
    }
  }
}

TEST_F(ControlTest, ResetEmptiesTheListsOnly) {
  Control c;
  auto& p = c.ctrl->MutableProperties();
  p.protectKeyList = p.protectAppExceptionList = p.protectExplorerExceptionList = p.protectAppBlackList = u"x";
  p.keepAliveMillisec = 7;
  p.webSandboxMode = 0;
  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(c.dispatch->QueryInterface(IID_IPersistStreamInit, persist.put_void()), S_OK);
  EXPECT_EQ(persist->InitNew(), S_OK);
  EXPECT_TRUE(p.protectKeyList.empty() && p.protectAppExceptionList.empty() && p.protectExplorerExceptionList.empty() &&
              p.protectAppBlackList.empty());
  EXPECT_EQ(p.keepAliveMillisec, 7);
  EXPECT_EQ(p.webSandboxMode, 0);
}

TEST_F(ControlTest, StreamRoundTripAndShortStream) {
  Control a, b;
  a.ctrl->MutableProperties().protectAppBlackList = u"\uc2dc\ud5d8.exe";
  a.ctrl->MutableProperties().keepAliveMillisec = -3;
  a.ctrl->SetText(u"saved");
  ComPtr<IPersistStreamInit> pa, pb;
  a.dispatch->QueryInterface(IID_IPersistStreamInit, pa.put_void());
  b.dispatch->QueryInterface(IID_IPersistStreamInit, pb.put_void());
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
  ASSERT_EQ(pa->Save(stream.get(), TRUE), S_OK);
  ULARGE_INTEGER size{}, max{};
  const LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_CUR, &size);
  pa->GetSizeMax(&max);
  EXPECT_EQ(size.QuadPart, max.QuadPart);
  // A record cut short is refused and changes nothing.
  ULARGE_INTEGER cut;
  cut.QuadPart = size.QuadPart - 1;
  stream->SetSize(cut);
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  EXPECT_EQ(pb->Load(stream.get()), E_FAIL);
  EXPECT_TRUE(b.ctrl->Properties() == ControlProperties());
  // The whole record loads.
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  pa->Save(stream.get(), TRUE);
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  EXPECT_EQ(pb->Load(stream.get()), S_OK);
  EXPECT_TRUE(b.ctrl->Properties() == a.ctrl->Properties());
  EXPECT_EQ(b.ctrl->GetText(), u"saved");
  // A record larger than 64 KiB is neither read nor written.
  PersistedState big{1, 1, u"", ControlProperties()};
  big.props.protectKeyList.assign(40000, u'x');
  const auto bytes = SerializeState(big);
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  EXPECT_EQ(pb->Load(stream.get()), E_FAIL);
  EXPECT_TRUE(b.ctrl->Properties() == a.ctrl->Properties());
  b.ctrl->MutableProperties().protectKeyList = big.props.protectKeyList;
  EXPECT_EQ(pb->Save(stream.get(), TRUE), STG_E_CANTSAVE);
}

// Records the agent runs that had happened when AfterCreated arrived.
class OrderSink final : public IDispatch {
 public:
  explicit OrderSink(const RecorderAgent& agent) : agent_(agent) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** o) override {
    return QueryInterfaceFrom(riid, o, {{this, {&IID_IUnknown, &IID_IDispatch}}});
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    events.push_back(id);
    callsAtEvent = agent_.HasCalls();
    return S_OK;
  }
  std::vector<DISPID> events;
  bool callsAtEvent = true;

 private:
  const RecorderAgent& agent_;
};

TEST_F(ControlTest, CreationAndDestructionStepsInOrder) {
  RecorderAgent agent;
  ASSERT_TRUE(agent.ok());
  OrderSink sink(agent);  // outlives the control, which may still hold it
  Control c;
  ComPtr<IConnectionPointContainer> cpc;
  ComPtr<IConnectionPoint> cp;
  c.dispatch->QueryInterface(IID_IConnectionPointContainer, cpc.put_void());
  ASSERT_EQ(cpc->FindConnectionPoint(DIID_DZaduzeEvents, cp.put()), S_OK);
  DWORD cookie = 0;
  ASSERT_EQ(cp->Advise(&sink, &cookie), S_OK);

  ASSERT_TRUE(c.ctrl->CreateControlWindow(nullptr, RECT{0, 0, 100, 40}));
  EXPECT_EQ(sink.events, std::vector<DISPID>{1});
  EXPECT_FALSE(sink.callsAtEvent) << "AfterCreated comes before any agent command";
  EXPECT_EQ(c.ctrl->GetText(), u"Zaduze");
  ASSERT_EQ(c.ctrl->Notices().ShownTexts().size(), 1u);
  EXPECT_EQ(c.ctrl->Notices().ShownTexts()[0], u"Zaduze 가 시작되었습니다.");
  auto calls = agent.Calls();
  ASSERT_EQ(calls.size(), 2u);
  const std::string name = ToUtf8(U16(c.ctrl->SnapshotName()));
  EXPECT_EQ(name.size(), 15u);
  EXPECT_EQ(calls[0], "-RegistrySave \"" + name + "\" -DebugLog 0");
  EXPECT_EQ(calls[1], "-RegistrySetLoose 1 -DebugLog 0");

  c.ctrl->MutableProperties().debugSandbox = 1;  // read again at destruction
  c.ctrl->DestroyControlWindow();
  calls = agent.Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[2], "-RegistryRestore \"" + name + "\" -DebugSandbox 1 -DebugLog 0");
  EXPECT_EQ(cp->Unadvise(cookie), S_OK);
  EXPECT_EQ(cp->Unadvise(cookie), CONNECT_E_NOCONNECTION);
}

TEST_F(ControlTest, NoticesFollowAppNotification) {
  RecorderAgent agent;
  Control c;
  c.ctrl->MutableProperties().appNotification = 0;
  c.ctrl->MutableProperties().webSandboxMode = 0;
  ASSERT_TRUE(c.ctrl->CreateControlWindow(nullptr, RECT{0, 0, 100, 40}));
  EXPECT_TRUE(c.ctrl->Notices().ShownTexts().empty());
  EXPECT_EQ(agent.Calls(), std::vector<std::string>{"-RegistrySetLoose 1 -DebugLog 0"});
  c.ctrl->MutableProperties().appNotification = 1;
  EXPECT_EQ(c.ctrl->StopZaduzeApp(), 0);  // before any start: no agent, still the notice
  ASSERT_EQ(c.ctrl->Notices().ShownTexts().size(), 1u);
  EXPECT_EQ(c.ctrl->Notices().ShownTexts()[0], u"Zaduze 감시가 종료되었습니다.");
  c.ctrl->DestroyControlWindow();
  EXPECT_EQ(agent.Calls().size(), 1u) << "no snapshot was taken, none is restored";
}

TEST_F(ControlTest, ExitCodesReachThePageAsSignedShorts) {
  RecorderAgent agent;
  Control c;
  const struct {
    const char* code;
    short result;
  } cases[] = {{"0", 0}, {"3", 3}, {"0xFFFFFFFE", -2}, {"0x12345", 0x2345}, {"0x8000", -32768}, {"0x10000", 0}};
  for (const auto& k : cases) {
    agent.ExitWith(k.code);
    EXPECT_EQ(c.ctrl->GetCheatAppCount(), k.result) << k.code;
    EXPECT_EQ(c.ctrl->TrustzoneQueryIP(u"10.1.1.1"), k.result) << k.code;
  }
  agent.Clear();
  EXPECT_EQ(c.ctrl->TrustzoneAddIP(u""), -1);
  EXPECT_EQ(c.ctrl->TrustzoneQueryDomain(u""), -1);
  EXPECT_FALSE(agent.HasCalls()) << "an empty value starts no agent";
}

TEST_F(ControlTest, InstallFolderValueIsReadAsText) {
  RecorderAgent agent;
  EXPECT_EQ(Wide(GetInstallFolder()), agent.folder());
  const wchar_t withNul[] = L"C:\\one\0C:\\two";
  agent.SetRaw(REG_SZ, withNul, sizeof withNul);
  EXPECT_EQ(GetInstallFolder(), u"C:\\one");
  const wchar_t noNul[] = {L'C', L':', L'\\', L'x'};
  agent.SetRaw(REG_BINARY, noNul, sizeof noNul);  // the type is not checked
  EXPECT_EQ(GetInstallFolder(), u"C:\\x");
  agent.SetRaw(REG_SZ, L"", 0);
  EXPECT_EQ(GetInstallFolder(), u"");
  Control c;
  EXPECT_EQ(c.ctrl->GetCheatAppCount(), -1);
}

// The machine-wide value an installation writes (64-bit view, from either
// build) wins over the user's; only where it does not exist does the user's
// count, and an empty machine value does not hand the choice back to the user.
TEST_F(ControlTest, MachineWideInstallFolderComesFirst) {
  RecorderAgent agent;
  UniqueRegKey machine;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zaduze", 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_QUERY_VALUE | KEY_WOW64_64KEY, nullptr, machine.put(), &disposition),
            ERROR_SUCCESS);
  const wchar_t folder[] = L"C:\\Program Files\\Zaduze\\";
  RegSetValueExW(machine.get(), L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder), sizeof folder);
  EXPECT_EQ(GetInstallFolder(), u"C:\\Program Files\\Zaduze\\");
  RegSetValueExW(machine.get(), L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), 0);
  EXPECT_EQ(GetInstallFolder(), u"");
  RegDeleteValueW(machine.get(), L"Path");
  EXPECT_EQ(Wide(GetInstallFolder()), agent.folder());
  machine.reset();
  if (disposition == REG_CREATED_NEW_KEY) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zaduze", KEY_WOW64_64KEY, 0);
}

}  // namespace
}  // namespace zv
