#include "control/ocx/control_properties.h"

#include "common/text/text_util.h"

namespace zv {

void ControlProperties::Reset() {
  protectKeyList.clear();
  protectAppExceptionList.clear();
  protectExplorerExceptionList.clear();
  protectAppBlackList.clear();
}

namespace {

using P = ControlProperties;

StoredProperty Short(const char16_t* name, int32_t dispid, const char16_t* persisted, int16_t P::*field,
                     const char16_t* typeLibName = nullptr) {
  return {name, dispid, persisted, typeLibName ? typeLibName : name, field, nullptr};
}
StoredProperty Text(const char16_t* name, int32_t dispid, const char16_t* persisted, std::u16string P::*field,
                    const char16_t* typeLibName = nullptr) {
  return {name, dispid, persisted, typeLibName ? typeLibName : name, nullptr, field};
}

}  // namespace

const std::vector<StoredProperty>& StoredPropertiesInExchangeOrder() {
  static const std::vector<StoredProperty> table = {
      Short(u"AppNotification", 46, u"AppNotification", &P::appNotification),
      Short(u"WebSandboxMode", 31, u"WebSandboxMode", &P::webSandboxMode),
      Short(u"ProtectKeyCheat", 32, u"ProtectKeyCheat", &P::protectKeyCheat),
      Text(u"ProtectKeyList", 29, u"ProtectKeyList", &P::protectKeyList),
      Short(u"ProtectMouseCheat", 33, u"ProtectMouseCheat", &P::protectMouseCheat),
      Short(u"ProtectAppCheat", 34, u"ProtectAppCheat", &P::protectAppCheat),
      Text(u"ProtectAppExceptionList", 35, u"ProtectAppExceptionList", &P::protectAppExceptionList),
      Text(u"ProtectAppBlackList", 47, u"m_ProtectAppBlackList", &P::protectAppBlackList),
      Short(u"KeepAliveMillisec", 36, u"KeepAliveMillisec", &P::keepAliveMillisec, u"KeepAliveTime"),
      Short(u"ProtectExplorerCheat", 37, u"ProtectExplorerCheat", &P::protectExplorerCheat, u"ProtectWebCheat"),
      Text(u"ProtectExplorerExceptionList", 38, u"ProtectExplorerExceptionList", &P::protectExplorerExceptionList,
           u"ProtectWebExceptionList"),
      Short(u"ProtectIEToolbarCheat", 48, u"ProtectIEToolbarCheat", &P::protectIEToolbarCheat),
      Short(u"DebugLog", 30, u"DebugLog", &P::debugLog),
      Short(u"DebugSandbox", 39, u"DebugSandbox", &P::debugSandbox),
  };
  return table;
}

const StoredProperty* FindStoredProperty(int32_t dispid) {
  for (const auto& p : StoredPropertiesInExchangeOrder())
    if (p.dispid == dispid) return &p;
  return nullptr;
}

const std::vector<DispatchMember>& DispatchTable() {
  using enum ValueType;
  const auto prop = [](const char16_t* name, int32_t id, ValueType t) {
    return DispatchMember{name, id, MemberKind::Property, t, {}};
  };
  const auto method = [](const char16_t* name, int32_t id, ValueType r, std::vector<ValueType> params = {}) {
    return DispatchMember{name, id, MemberKind::Method, r, std::move(params)};
  };
  static const std::vector<DispatchMember> table = {
      prop(u"Text", kDispidText, String),
      method(u"AboutBox", kDispidAboutBox, None),
      method(u"GetVersion", kDispidGetVersion, String),
      method(u"GetOSVersion", kDispidGetOSVersion, String),
      prop(u"ProtectKeyList", 29, String),
      prop(u"DebugLog", 30, Short),
      prop(u"WebSandboxMode", 31, Short),
      prop(u"ProtectKeyCheat", 32, Short),
      prop(u"ProtectMouseCheat", 33, Short),
      prop(u"ProtectAppCheat", 34, Short),
      prop(u"ProtectAppExceptionList", 35, String),
      prop(u"KeepAliveMillisec", 36, Short),
      prop(u"ProtectExplorerCheat", 37, Short),
      prop(u"ProtectExplorerExceptionList", 38, String),
      prop(u"DebugSandbox", 39, Short),
      method(u"StartZaduzeApp", kDispidStartZaduzeApp, Short),
      method(u"StopZaduzeApp", kDispidStopZaduzeApp, Short),
      method(u"GetVersion2", kDispidGetVersion2, String),
      method(u"SaveTextAsFile", kDispidSaveTextAsFile, Short, {String, String}),
      method(u"LoadTextFromFile", kDispidLoadTextFromFile, String, {String}),
      method(u"GetMonitorCount", kDispidGetMonitorCount, Short),
      prop(u"AppNotification", 46, Short),
      prop(u"ProtectAppBlackList", 47, String),
      prop(u"ProtectIEToolbarCheat", 48, Short),
      method(u"GetCheatAppCount", kDispidGetCheatAppCount, Short),
      method(u"TrustzoneAddIP", kDispidTrustzoneAddIP, Short, {String}),
      method(u"TrustzoneAddDomain", kDispidTrustzoneAddDomain, Short, {String}),
      method(u"TrustzoneQueryIP", kDispidTrustzoneQueryIP, Short, {String}),
      method(u"TrustzoneQueryDomain", kDispidTrustzoneQueryDomain, Short, {String}),
  };
  return table;
}

const DispatchMember* FindDispatchMember(int32_t dispid) {
  for (const auto& m : DispatchTable())
    if (m.dispid == dispid) return &m;
  return nullptr;
}

std::optional<int32_t> FindDispatchId(std::u16string_view name) {
  for (const auto& m : DispatchTable())
    if (EqualsIgnoreCaseAscii(m.name, name)) return m.dispid;
  return std::nullopt;
}

namespace {

class Writer {
 public:
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void I16(int16_t v) {
    const auto u = static_cast<uint16_t>(v);
    out.push_back(static_cast<uint8_t>(u));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  void Text(const std::u16string& t) {
    U32(static_cast<uint32_t>(t.size()));
    for (const char16_t c : t) I16(static_cast<int16_t>(c));
  }
  std::vector<uint8_t> out;
};

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool U32(uint32_t& v) {
    if (size_ - pos_ < 4) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(data_[pos_ + i]) << (8 * i);
    pos_ += 4;
    return true;
  }
  bool I16(int16_t& v) {
    if (size_ - pos_ < 2) return false;
    v = static_cast<int16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return true;
  }
  bool Text(std::u16string& t) {
    uint32_t count = 0;
    if (!U32(count) || (size_ - pos_) / 2 < count) return false;
    t.clear();
    t.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
      int16_t unit = 0;
      I16(unit);
      t += static_cast<char16_t>(static_cast<uint16_t>(unit));
    }
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace

std::vector<uint8_t> SerializeState(const PersistedState& state) {
  Writer w;
  w.U32(kPersistVersion);
  w.U32(static_cast<uint32_t>(state.extentX));
  w.U32(static_cast<uint32_t>(state.extentY));
  w.Text(state.text);
  for (const auto& p : StoredPropertiesInExchangeOrder()) {
    if (p.shortField)
      w.I16(state.props.*p.shortField);
    else
      w.Text(state.props.*p.textField);
  }
  return w.out;
}

size_t SerializedSize(const PersistedState& state) { return SerializeState(state).size(); }

bool DeserializeState(const uint8_t* data, size_t size, PersistedState& state) {
  Reader r(data, size);
  PersistedState read;
  uint32_t version = 0, x = 0, y = 0;
  if (!r.U32(version) || (version >> 16) != (kPersistVersion >> 16)) return false;
  if (!r.U32(x) || !r.U32(y) || !r.Text(read.text)) return false;
  read.extentX = static_cast<int32_t>(x);
  read.extentY = static_cast<int32_t>(y);
  for (const auto& p : StoredPropertiesInExchangeOrder()) {
    const bool ok = p.shortField ? r.I16(read.props.*p.shortField) : r.Text(read.props.*p.textField);
    if (!ok) return false;
  }
  state = std::move(read);
  return true;
}

namespace {
// Process creation ends a command line at a NUL: a list goes to the agent up
// to its first NUL, and the options after it still arrive.
std::u16string CutAtNul(const std::u16string& text) { return text.substr(0, text.find(u'\0')); }
}  // namespace

SessionCommand SessionCommandOf(const ControlProperties& p) {
  SessionCommand c;
  c.webSandboxMode = p.webSandboxMode;
  c.protectKeyCheat = p.protectKeyCheat;
  c.protectKeyList = CutAtNul(p.protectKeyList);
  c.protectMouseCheat = p.protectMouseCheat;
  c.protectAppCheat = p.protectAppCheat;
  c.protectAppExceptionList = CutAtNul(p.protectAppExceptionList);
  c.protectAppBlackList = CutAtNul(p.protectAppBlackList);
  c.keepAliveMillisec = p.keepAliveMillisec;
  c.protectExplorerCheat = p.protectExplorerCheat;
  c.protectExplorerExceptionList = CutAtNul(p.protectExplorerExceptionList);
  c.protectIEToolbarCheat = p.protectIEToolbarCheat;
  c.debugLog = p.debugLog;
  c.debugSandbox = p.debugSandbox;
  return c;
}

}  // namespace zv
