// The control's stored properties and its dispatch table, without Windows:
// defaults, DISPIDs, the names script and the persistence use, the order in
// which properties are exchanged, the binary stream layout, and the session
// command that the properties become.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/core/command_line.h"

namespace zv {

// The fifteen values a page sets: the fourteen of the table (the thirteen
// that a session command line carries, and AppNotification) plus the window
// text, which the container may persist too.
struct ControlProperties : SessionCommand {
  int16_t appNotification = 1;  // the control's own: show the notices

  // The framework's reset: the lists become empty, the switches stay.
  void Reset();
  bool operator==(const ControlProperties&) const = default;
};

enum class ValueType { Short, String, None };

// One stored property: its dispatch name and DISPID, the name it is persisted
// under, the name the type library gives it, and its field. The dispatch
// table's property rows are made from these.
struct StoredProperty {
  const char16_t* name;
  int32_t dispid;
  const char16_t* persistedName;
  const char16_t* typeLibName;
  int16_t ControlProperties::*shortField;        // set for shorts
  std::u16string ControlProperties::*textField;  // set for strings
  ValueType type() const { return shortField ? ValueType::Short : ValueType::String; }
};

// The fourteen stored properties in their exchange order (object-element
// parameters, property bags, streams).
const std::vector<StoredProperty>& StoredPropertiesInExchangeOrder();
const StoredProperty* FindStoredProperty(int32_t dispid);

enum class MemberKind { Property, Method };

// The dispatch table in slot order: Text and AboutBox, then the stored
// properties and the page methods by DISPID.
struct DispatchMember {
  const char16_t* name;
  int32_t dispid;
  MemberKind kind;
  ValueType result;  // the property's type, or the method's result
  std::vector<ValueType> params;
};
const std::vector<DispatchMember>& DispatchTable();
const DispatchMember* FindDispatchMember(int32_t dispid);

// Name lookup of the dispatch table, ignoring the case of a-z. The type
// library's own names (KeepAliveTime ...) are not known here.
std::optional<int32_t> FindDispatchId(std::u16string_view name);

constexpr int32_t kDispidText = 1;
constexpr int32_t kDispidAboutBox = -552;
// The page methods.
constexpr int32_t kDispidGetVersion = 8;
constexpr int32_t kDispidGetOSVersion = 9;
constexpr int32_t kDispidStartZaduzeApp = 40;
constexpr int32_t kDispidStopZaduzeApp = 41;
constexpr int32_t kDispidGetVersion2 = 42;
constexpr int32_t kDispidSaveTextAsFile = 43;
constexpr int32_t kDispidLoadTextFromFile = 44;
constexpr int32_t kDispidGetMonitorCount = 45;
constexpr int32_t kDispidGetCheatAppCount = 49;
constexpr int32_t kDispidTrustzoneAddIP = 50;
constexpr int32_t kDispidTrustzoneAddDomain = 51;
constexpr int32_t kDispidTrustzoneQueryIP = 52;
constexpr int32_t kDispidTrustzoneQueryDomain = 53;
constexpr int32_t kDispidAfterCreated = 1;

// Persistence version 1.0, as the control exchanges it.
constexpr uint32_t kPersistVersion = 0x00010000;

// What a stream holds: the extent, the window text, the stored properties.
struct PersistedState {
  int32_t extentX = 0;  // HIMETRIC
  int32_t extentY = 0;
  std::u16string text;
  ControlProperties props;
  bool operator==(const PersistedState&) const = default;
};

// Stream layout (little endian): version (u32), extent x and y (i32), the
// window text, then the fourteen properties in exchange order; shorts as i16,
// texts as a u32 count of code units followed by the UTF-16 units.
std::vector<uint8_t> SerializeState(const PersistedState& state);
// Reads what SerializeState wrote. A different major version, a truncated or
// oversized record leaves `state` untouched and returns false.
bool DeserializeState(const uint8_t* data, size_t size, PersistedState& state);
// Bytes that SerializeState needs at most for these properties.
size_t SerializedSize(const PersistedState& state);

// The session command line's values: the properties' own, the lists up to
// their first NUL.
SessionCommand SessionCommandOf(const ControlProperties& p);

}  // namespace zv
