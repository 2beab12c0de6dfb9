// An in-memory registry for the snapshot tests and benchmarks: key names and
// value names ignore the case of a-z as the registry does; values keep their
// insertion order (the order a real registry enumerates them in is its own).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "agent/sandbox/snapshot_document.h"
#include "agent/sandbox/snapshot_walk.h"
#include "common/text/text_util.h"

namespace zv::test {

struct NameLess {
  bool operator()(const std::u16string& a, const std::u16string& b) const {
    return ToUpperAscii(a) < ToUpperAscii(b);
  }
};

struct MemoryKey {
  std::map<std::u16string, MemoryKey, NameLess> subkeys;
  std::vector<RawValue> values;

  RawValue* FindValue(const std::u16string& name) {
    for (auto& v : values)
      if (EqualsIgnoreCaseAscii(v.name, name)) return &v;
    return nullptr;
  }
  void Set(const std::u16string& name, uint32_t type, std::vector<uint8_t> data) {
    if (RawValue* v = FindValue(name)) {
      v->type = type;
      v->data = std::move(data);
    } else {
      values.push_back({name, type, std::move(data)});
    }
  }
  bool operator==(const MemoryKey&) const = default;
};

class MemoryRegistry : public SnapshotSource, public SnapshotTarget {
 public:
  std::map<RootKey, MemoryKey> roots;
  std::vector<std::u16string> messages;
  int openKeys = 0;         // handles handed out and not yet closed
  int escapeAtPeek = -1;    // the peek with this number reports Escape
  int peeks = 0;
  bool failSetValue = false;
  bool failCreate = false;
  // Enumeration faults: the value (or subkey) enumeration of the key with
  // this name (or the root: "") fails at index 0, or a subkey of this name
  // cannot be opened although it is there.
  std::u16string failValuesOf = u"\x1";
  std::u16string failSubkeysOf = u"\x1";
  std::u16string unreadableKey = u"\x1";

  // Walks (and with create, makes) "a\b\c" below a root.
  MemoryKey* Find(RootKey root, const std::u16string& path, bool create) {
    if (root == RootKey::None) return nullptr;
    MemoryKey* key = &roots[root];
    size_t start = 0;
    while (start < path.size()) {
      size_t slash = path.find(u'\\', start);
      if (slash == std::u16string::npos) slash = path.size();
      const std::u16string part = path.substr(start, slash - start);
      auto it = key->subkeys.find(part);
      if (it == key->subkeys.end()) {
        if (!create) return nullptr;
        it = key->subkeys.emplace(part, MemoryKey()).first;
      }
      key = &it->second;
      start = slash + 1;
    }
    return key;
  }

  // SnapshotSource
  SnapshotKey OpenRoot(RootKey root, const std::u16string& subkey, bool& missing) override {
    MemoryKey* key = Find(root, subkey, false);
    missing = key == nullptr;
    if (key) names_[key] = u"";
    return Hand(key);
  }
  SnapshotKey OpenSubkey(SnapshotKey parent, const std::u16string& name, bool& missing) override {
    auto& subkeys = Key(parent)->subkeys;
    auto it = subkeys.find(name);
    missing = it == subkeys.end();
    if (missing || EqualsIgnoreCaseAscii(name, unreadableKey)) return 0;
    names_[&it->second] = name;
    return Hand(&it->second);
  }
  void Close(SnapshotKey key) override {
    if (key) --openKeys;
  }
  bool QueryInfo(SnapshotKey key, SnapshotKeyInfo& info) override {
    info.subkeys = static_cast<uint32_t>(Key(key)->subkeys.size());
    info.values = static_cast<uint32_t>(Key(key)->values.size());
    return true;
  }
  EnumStep EnumValue(SnapshotKey key, uint32_t index, const SnapshotKeyInfo&, RawValue& value) override {
    if (names_[Key(key)] == failValuesOf) return EnumStep::Failed;
    const auto& values = Key(key)->values;
    if (index >= values.size()) return EnumStep::End;
    value = values[index];
    return EnumStep::Item;
  }
  EnumStep EnumSubkey(SnapshotKey key, uint32_t index, std::u16string& name) override {
    if (names_[Key(key)] == failSubkeysOf) return EnumStep::Failed;
    const auto& subkeys = Key(key)->subkeys;
    if (index >= subkeys.size()) return EnumStep::End;
    name = std::next(subkeys.begin(), index)->first;
    return EnumStep::Item;
  }
  bool EscapePressed() override { return peeks++ == escapeAtPeek; }

  // SnapshotTarget
  SnapshotKey OpenKey(RootKey root, const std::u16string& path) override { return Hand(Find(root, path, false)); }
  SnapshotKey CreateKey(RootKey root, const std::u16string& path) override {
    return failCreate ? 0 : Hand(Find(root, path, true));
  }
  bool SetValue(SnapshotKey key, bool isDefault, const std::u16string& name, uint32_t type,
                const std::vector<uint8_t>& data) override {
    if (failSetValue) return false;
    Key(key)->Set(isDefault ? std::u16string() : name, type, data);
    return true;
  }
  bool QueryValue(SnapshotKey key, bool isDefault, const std::u16string& name, RawValue& value) override {
    const RawValue* found = Key(key)->FindValue(isDefault ? std::u16string() : name);
    if (found) value = *found;
    return found != nullptr;
  }
  void ShowMessage(const std::u16string& text) override { messages.push_back(text); }

 private:
  SnapshotKey Hand(MemoryKey* key) {
    if (!key) return 0;
    ++openKeys;
    return reinterpret_cast<SnapshotKey>(key);
  }
  static MemoryKey* Key(SnapshotKey key) { return reinterpret_cast<MemoryKey*>(key); }
  std::map<const MemoryKey*, std::u16string> names_;  // the name each key was opened by
};

// A snapshot file in memory: the bytes of the last Open, which clears them.
class MemorySink : public ByteSink {
 public:
  bool Open(const std::u16string& target) override {
    if (failOpen) return false;
    ++opens;
    path = target;
    bytes.clear();
    open_ = true;
    return true;
  }
  bool Write(const void* data, size_t size) override {
    if (!open_) return false;
    bytes.append(static_cast<const char*>(data), size);
    return true;
  }
  bool Close() override {
    open_ = false;
    return !failClose;
  }

  std::string bytes;
  std::u16string path;
  int opens = 0;
  bool failOpen = false;   // simulates a file that cannot be created
  bool failClose = false;  // simulates a file that cannot be flushed

 private:
  bool open_ = false;
};

// A snapshot of `path` written into memory.
inline std::string SaveToMemory(MemoryRegistry& registry, const std::u16string& path, bool* whole = nullptr,
                                MemorySink* into = nullptr, uint64_t sequence = 0) {
  MemorySink own;
  MemorySink& sink = into ? *into : own;
  XmlWriter writer(sink);
  writer.SetPath(u"C:\\snapshot_0.xml");
  const bool done = SaveSnapshot(path, registry, writer, sequence);
  if (whole) *whole = done;
  return sink.bytes;
}

inline RestoreOutcome RestoreFromMemory(MemoryRegistry& registry, const std::string& bytes,
                                        SnapshotContents* contents = nullptr) {
  XmlReader reader;
  reader.SetLoader([&bytes](const std::u16string&, std::string& out) {
    out = bytes;
    return true;
  });
  reader.SetErrorPresenter([&registry](const std::u16string& text) { registry.ShowMessage(text); });
  reader.SetPath(u"C:\\snapshot_0.xml");
  return RestoreSnapshot(reader, registry, contents);
}

using Bytes = std::vector<uint8_t>;

// The text's code units as little-endian bytes, as a REG_SZ value holds them.
inline Bytes Units(std::u16string_view text) {
  Bytes out;
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

// A snapshot file's bytes as the UTF-16 text they hold.
inline std::u16string AsText(const std::string& bytes) {
  return std::u16string(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
}

inline std::string Utf16Bytes(std::u16string_view text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

}  // namespace zv::test
