#include "control/ocx/control_properties.h"

#include <algorithm>

#include "common/text/text_util.h"

namespace zv {

void ControlProperties::Reset() {
  for (const auto& p : StoredPropertiesInExchangeOrder())
    if (p.textField) (this->*p.textField).clear();
}

namespace {

using P = ControlProperties;

// The persisted name and the type library's name are the dispatch name
// unless given.
StoredProperty Short(const char16_t* name, int32_t dispid, int16_t P::*field, const char16_t* persisted = nullptr,
                     const char16_t* typeLibName = nullptr) {
  return {name, dispid, persisted ? persisted : name, typeLibName ? typeLibName : name, field, nullptr};
}
StoredProperty Text(const char16_t* name, int32_t dispid, std::u16string P::*field, const char16_t* persisted = nullptr,
                    const char16_t* typeLibName = nullptr) {
  return {name, dispid, persisted ? persisted : name, typeLibName ? typeLibName : name, nullptr, field};
}

}  // namespace

const std::vector<StoredProperty>& StoredPropertiesInExchangeOrder() {
  static const std::vector<StoredProperty> table = {
      Short(u"AppNotification", 46, &P::appNotification),
      Short(u"WebSandboxMode", 31, &P::webSandboxMode),
      Short(u"ProtectKeyCheat", 32, &P::protectKeyCheat),
      Text(u"ProtectKeyList", 29, &P::protectKeyList),
      Short(u"ProtectMouseCheat", 33, &P::protectMouseCheat),
      Short(u"ProtectAppCheat", 34, &P::protectAppCheat),
      Text(u"ProtectAppExceptionList", 35, &P::protectAppExceptionList),
      Text(u"ProtectAppBlackList", 47, &P::protectAppBlackList, u"m_ProtectAppBlackList"),
      Short(u"KeepAliveMillisec", 36, &P::keepAliveMillisec, nullptr, u"KeepAliveTime"),
      Short(u"ProtectExplorerCheat", 37, &P::protectExplorerCheat, nullptr, u"ProtectWebCheat"),
      Text(u"ProtectExplorerExceptionList", 38, &P::protectExplorerExceptionList, nullptr, u"ProtectWebExceptionList"),
      Short(u"ProtectIEToolbarCheat", 48, &P::protectIEToolbarCheat),
      Short(u"DebugLog", 30, &P::debugLog),
      Short(u"DebugSandbox", 39, &P::debugSandbox),
  };
  return table;
}

const StoredProperty* FindStoredProperty(int32_t dispid) {
  for (const auto& p : StoredPropertiesInExchangeOrder())
    if (p.dispid == dispid) return &p;
  return nullptr;
}

namespace {

std::vector<DispatchMember> MakeDispatchTable() {
  using enum ValueType;
  const auto method = [](const char16_t* name, int32_t id, ValueType r, std::vector<ValueType> params = {}) {
    return DispatchMember{name, id, MemberKind::Method, r, std::move(params)};
  };
  std::vector<DispatchMember> byDispid = {
      method(u"GetVersion", kDispidGetVersion, String),
      method(u"GetOSVersion", kDispidGetOSVersion, String),
      method(u"StartZaduzeApp", kDispidStartZaduzeApp, Short),
      method(u"StopZaduzeApp", kDispidStopZaduzeApp, Short),
      method(u"GetVersion2", kDispidGetVersion2, String),
      method(u"SaveTextAsFile", kDispidSaveTextAsFile, Short, {String, String}),
      method(u"LoadTextFromFile", kDispidLoadTextFromFile, String, {String}),
      method(u"GetMonitorCount", kDispidGetMonitorCount, Short),
      method(u"GetCheatAppCount", kDispidGetCheatAppCount, Short),
      method(u"TrustzoneAddIP", kDispidTrustzoneAddIP, Short, {String}),
      method(u"TrustzoneAddDomain", kDispidTrustzoneAddDomain, Short, {String}),
      method(u"TrustzoneQueryIP", kDispidTrustzoneQueryIP, Short, {String}),
      method(u"TrustzoneQueryDomain", kDispidTrustzoneQueryDomain, Short, {String}),
  };
  for (const auto& p : StoredPropertiesInExchangeOrder())
    byDispid.push_back({p.name, p.dispid, MemberKind::Property, p.type(), {}});
  std::sort(byDispid.begin(), byDispid.end(), [](const auto& a, const auto& b) { return a.dispid < b.dispid; });

  std::vector<DispatchMember> table = {
      {u"Text", kDispidText, MemberKind::Property, String, {}},
      method(u"AboutBox", kDispidAboutBox, None),
  };
  table.insert(table.end(), byDispid.begin(), byDispid.end());
  return table;
}

}  // namespace

const std::vector<DispatchMember>& DispatchTable() {
  static const std::vector<DispatchMember> table = MakeDispatchTable();
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
  SessionCommand c = p;
  for (const auto& option : OptionTable())
    if (option.sessionText != nullptr) c.*option.sessionText = CutAtNul(c.*option.sessionText);
  return c;
}

}  // namespace zv
