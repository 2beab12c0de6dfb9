// Saving a registry subtree into a snapshot and replaying a snapshot into the
// registry. The registry is reached through the two small interfaces below
// (the real one on Windows, an in-memory one in tests), so the walk, the value
// order and the replay's key stack are the same code everywhere.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "agent/sandbox/snapshot_document.h"
#include "agent/sandbox/snapshot_reader.h"
#include "agent/sandbox/snapshot_recovery.h"

namespace zv {

// An open key of a SnapshotSource / SnapshotTarget; 0 is none.
using SnapshotKey = uintptr_t;

struct SnapshotKeyInfo {
  uint32_t subkeys = 0;
  uint32_t values = 0;
  uint32_t maxSubkeyName = 0;  // characters
  uint32_t maxValueName = 0;   // characters
  uint32_t maxValueData = 0;   // bytes
};

// One registry value as enumerated. An empty name is the default value.
struct RawValue {
  std::u16string name;
  uint32_t type = kRegNone;
  std::vector<uint8_t> data;
  bool operator==(const RawValue&) const = default;
};

// How one step of an enumeration ended: an item, the end of the list (no
// more items, or the key's items went meanwhile), or a failure (access
// denied, a read that kept failing ...). A snapshot that skipped an item it
// could not read would not be whole: the clean restore would take that item
// for an addition of the exam and delete it.
enum class EnumStep { Item, End, Failed };

// The step a failed Windows enumeration call means: "no more items" (259)
// and "not found" (2) end the list, every other error fails it.
EnumStep EnumStepOfError(uint32_t error);

// The registry as the saver sees it.
class SnapshotSource {
 public:
  virtual ~SnapshotSource() = default;
  // 0 when the key cannot be opened; `missing` tells that it does not exist.
  virtual SnapshotKey OpenRoot(RootKey root, const std::u16string& subkey, bool& missing) = 0;
  virtual SnapshotKey OpenSubkey(SnapshotKey parent, const std::u16string& name, bool& missing) = 0;
  virtual void Close(SnapshotKey key) = 0;
  virtual bool QueryInfo(SnapshotKey key, SnapshotKeyInfo& info) = 0;
  // Value `index` with buffers sized from `info` (or larger).
  virtual EnumStep EnumValue(SnapshotKey key, uint32_t index, const SnapshotKeyInfo& info, RawValue& value) = 0;
  // Subkey `index`.
  virtual EnumStep EnumSubkey(SnapshotKey key, uint32_t index, std::u16string& name) = 0;
  // Takes and dispatches one pending message; true when it was the Escape key.
  virtual bool EscapePressed() = 0;
};

// The registry as the replay sees it.
class SnapshotTarget {
 public:
  virtual ~SnapshotTarget() = default;
  virtual SnapshotKey OpenKey(RootKey root, const std::u16string& subkeyPath) = 0;
  // Creates every missing level.
  virtual SnapshotKey CreateKey(RootKey root, const std::u16string& subkeyPath) = 0;
  virtual void Close(SnapshotKey key) = 0;
  // isDefault: the key's unnamed value (name is then ignored).
  virtual bool SetValue(SnapshotKey key, bool isDefault, const std::u16string& name, uint32_t type,
                        const std::vector<uint8_t>& data) = 0;
  // The current value, when the target can tell; false: absent or unknown.
  virtual bool QueryValue(SnapshotKey, bool /*isDefault*/, const std::u16string& /*name*/, RawValue& /*value*/) {
    return false;
  }
  // A modal message with the standard arrow cursor.
  virtual void ShowMessage(const std::u16string& text) = 0;
};

// Value record while a key is saved. `set` is false for a default value that
// has no data (it is not written).
struct SnapshotValue {
  std::u16string name;
  std::u16string text;
  uint32_t type = kRegSz;
  bool set = true;
};

inline constexpr char16_t kDefaultValueName[] = u"(Default)";
inline constexpr char16_t kValueNotSet[] = u"(value not set)";

// The records of a key's values: sorted by name without regard to case
// (stable), the default value first, an unset default inserted when absent.
std::vector<SnapshotValue> CollectValues(const std::vector<RawValue>& values);

// Visited-key counter shared by every save of the process: every 50th key
// (the 1st, 51st ...) the saver looks at one pending message.
extern uint32_t g_nSnapshotVisitedKeys;

// Writes the subtree at keyPath ("HKEY_CURRENT_USER\Software\...") through the
// writer (whose path is set) and closes it; a non-zero `sequence` goes into
// the `registry` start tag (the save order). False when the document is not a
// whole snapshot: the walk was stopped (Escape), a key or a value could not be
// read, or a line could not be written or the file not flushed. A saved key
// that does not exist gives a whole, empty snapshot.
bool SaveSnapshot(const std::u16string& keyPath, SnapshotSource& source, XmlWriter& writer, uint64_t sequence = 0);

// Replays a snapshot: creates the keys it names and sets its values. Stops at
// a parse error (the reader presents it when its show-errors flag is set) or
// at a key that cannot be opened or created. Tells how it ended (Done only
// when every node was read and applied); `contents`, when given, receives
// every key and value the document names.
RestoreOutcome RestoreSnapshot(XmlReader& reader, SnapshotTarget& target, SnapshotContents* contents = nullptr);

// The two subtrees of a snapshot set, index 0 and 1.
extern const std::array<std::u16string_view, 2> kSnapshotKeys;

// "<folder>\<name>_<index>.xml".
std::u16string SnapshotFilePath(const std::u16string& folder, const std::u16string& name, int index);
// Where a restored file is kept under -DebugSandbox: the same folder, the
// file name with "_debug_" in front; a later `attempt` (2, 3 ...) when that
// name is taken: "_debug_<attempt>_" in front.
std::u16string DebugSnapshotPath(const std::u16string& filePath, int attempt = 1);

}  // namespace zv
