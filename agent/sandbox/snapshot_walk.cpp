#include "agent/sandbox/snapshot_walk.h"

#include <algorithm>

#include "common/text/text_util.h"

namespace zv {

uint32_t g_nSnapshotVisitedKeys = 0;

const std::array<std::u16string_view, 2> kSnapshotKeys = {
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Ext",
};

namespace {

bool LessIgnoreCase(const std::u16string& a, const std::u16string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t x = AsciiUpper(a[i]), y = AsciiUpper(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

XmlElement NamedElement(const char16_t* element, std::u16string_view name) {
  XmlElement out(element);
  out.SetAttribute(u"name", EscapeXmlText(name));
  return out;
}

std::vector<std::u16string> SplitPath(std::u16string_view path) {
  std::vector<std::u16string> parts;
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find(u'\\', start);
    parts.emplace_back(path.substr(start, slash == std::u16string_view::npos ? path.npos : slash - start));
    if (slash == std::u16string_view::npos) return parts;
    start = slash + 1;
  }
}

// Writes one key (its element unless it is the saved key itself, its values,
// its subkeys); false stops the whole save.
bool WriteKeyTree(SnapshotSource& source, XmlWriter& writer, SnapshotKey key, const std::u16string& name) {
  SnapshotKeyInfo info;
  if (!source.QueryInfo(key, info)) return false;
  const bool hasContent = info.subkeys > 0 || info.values > 0;
  if (!name.empty()) {
    const XmlElement element = NamedElement(u"k", name);
    if (hasContent)
      writer.WriteStartElement(element);
    else
      writer.WriteEmptyElement(element);
  }
  if (g_nSnapshotVisitedKeys++ % 50 == 0 && source.EscapePressed()) return false;

  std::vector<SnapshotValue> records;
  {
    std::vector<RawValue> raw;
    raw.reserve(info.values);
    for (uint32_t i = 0; i < info.values; ++i) {
      RawValue value;
      const EnumStep step = source.EnumValue(key, i, info, value);
      if (step == EnumStep::Failed) return false;
      if (step == EnumStep::End) break;
      raw.push_back(std::move(value));
    }
    records = CollectValues(raw);
  }
  for (auto& record : records) {
    if (!record.set) continue;
    XmlElement element = NamedElement(u"v", record.name);
    element.SetAttribute(u"value", EscapeXmlText(record.text));
    if (record.type != kRegNone && record.type != kRegSz) element.SetAttribute(u"type", RegTypeName(record.type));
    writer.WriteEmptyElement(element);
    std::u16string().swap(record.text);
  }

  std::u16string subkey;
  for (uint32_t i = 0;; ++i) {
    const EnumStep step = source.EnumSubkey(key, i, subkey);
    if (step == EnumStep::Failed) return false;
    if (step == EnumStep::End) break;
    if (subkey.empty()) continue;
    bool missing = false;
    const SnapshotKey child = source.OpenSubkey(key, subkey, missing);
    if (!child) {
      if (missing) continue;  // deleted meanwhile
      return false;
    }
    const bool go_on = WriteKeyTree(source, writer, child, subkey);
    source.Close(child);
    if (!go_on) return false;
  }
  if (!name.empty() && hasContent) writer.WriteEndElement(u"k");
  return true;
}

struct KeyFrame {
  std::u16string name;
  SnapshotKey key = 0;
  std::u16string upperPath;  // the full path, upper-cased; kept only while contents are collected
  bool tracksValues = false;
};

SnapshotKey OpenSnapshotKey(const std::vector<KeyFrame>& stack, SnapshotTarget& target) {
  const std::u16string& rootName = stack.front().name;
  std::u16string subkey;
  for (size_t i = 1; i < stack.size(); ++i) {
    if (i > 1) subkey += u'\\';
    subkey += stack[i].name;
  }
  const RootKey root = RootKeyFromName(rootName);
  if (root == RootKey::None) return 0;
  if (SnapshotKey key = target.OpenKey(root, subkey)) return key;
  if (SnapshotKey key = target.CreateKey(root, subkey)) return key;
  target.ShowMessage(u"couldn't create key " + rootName + u"\\" + subkey);
  return 0;
}

bool SetSnapshotValue(SnapshotTarget& target, SnapshotKey key, const std::u16string& name, const std::u16string& text,
                      const std::u16string& typeText) {
  const uint32_t type = RegTypeFromName(typeText);
  const bool isDefault = EqualsIgnoreCaseAscii(name, kDefaultValueName);
  // A value that would be saved as exactly this text and type is what the
  // snapshot holds: it stays as it is. Rewriting it would change what the
  // text form cannot carry (REG_NONE, big-endian and link values, string
  // terminators) although nobody changed it.
  static thread_local RawValue current;  // its buffer is reused value after value
  if (target.QueryValue(key, isDefault, name, current) &&
      RegTypeFromName(current.type == kRegNone || current.type == kRegSz ? u"" : RegTypeName(current.type)) == type &&
      FormatValueText(current.type, current.data) == text)
    return true;
  const auto data = ParseValueText(type, text);
  if (data && target.SetValue(key, isDefault, name, type, *data)) return true;
  target.ShowMessage(u"couldn't set value " + name);
  return false;
}


}  // namespace

EnumStep EnumStepOfError(uint32_t error) {
  constexpr uint32_t kFileNotFound = 2, kNoMoreItems = 259;
  return error == kNoMoreItems || error == kFileNotFound ? EnumStep::End : EnumStep::Failed;
}

std::vector<SnapshotValue> CollectValues(const std::vector<RawValue>& values) {
  std::vector<SnapshotValue> records;
  records.reserve(values.size() + 1);
  for (const RawValue& value : values) {
    if (!value.name.empty()) {
      records.push_back({value.name, FormatValueText(value.type, value.data), value.type, true});
    } else if (value.data.empty()) {
      records.push_back({kDefaultValueName, kValueNotSet, value.type, false});
    } else {
      // Encoded by its type like every other value, so that a default value
      // of a non-string type restores to the same data.
      records.push_back({kDefaultValueName, FormatValueText(value.type, value.data), value.type, true});
    }
  }
  std::stable_sort(records.begin(), records.end(),
                   [](const SnapshotValue& a, const SnapshotValue& b) { return LessIgnoreCase(a.name, b.name); });
  const auto isDefault = [](const SnapshotValue& r) { return r.name == kDefaultValueName; };
  if (std::none_of(records.begin(), records.end(), isDefault))
    records.insert(records.begin(), SnapshotValue{kDefaultValueName, kValueNotSet, kRegSz, false});
  else
    std::stable_partition(records.begin(), records.end(), isDefault);
  return records;
}

bool SaveSnapshot(const std::u16string& keyPath, SnapshotSource& source, XmlWriter& writer, uint64_t sequence) {
  XmlElement registry(u"registry");
  if (sequence != 0) {
    std::u16string number;
    for (char c : std::to_string(sequence)) number += static_cast<char16_t>(c);
    registry.SetAttribute(kSequenceAttribute, number);
  }
  bool whole = writer.WriteStartElement(registry);
  const size_t slash = keyPath.find(u'\\');
  const std::u16string rootName = keyPath.substr(0, slash);
  const std::u16string rest = slash == std::u16string::npos ? std::u16string() : keyPath.substr(slash + 1);
  const RootKey root = RootKeyFromName(rootName);
  bool missing = true;
  const SnapshotKey key = root == RootKey::None ? 0 : source.OpenRoot(root, rest, missing);
  if (!key && !missing) whole = false;  // there, but not readable
  if (key) {
    const auto components = SplitPath(keyPath);
    for (const auto& component : components) writer.WriteStartElement(NamedElement(u"k", component));
    if (!WriteKeyTree(source, writer, key, std::u16string())) whole = false;
    for (size_t i = 0; i < components.size(); ++i) writer.WriteEndElement(u"k");
    source.Close(key);
  }
  writer.WriteEndElement(u"registry");
  if (writer.WriteFailed()) whole = false;
  if (!writer.Close()) whole = false;
  return whole;
}

RestoreOutcome RestoreSnapshot(XmlReader& reader, SnapshotTarget& target, SnapshotContents* contents) {
  reader.SetShowErrors(true);
  RestoreOutcome outcome = RestoreOutcome::Done;
  std::vector<KeyFrame> stack;
  std::u16string valueName, valueText, typeText;
  bool go_on = true;
  while (go_on && reader.Read()) {
    const XmlNodeType node = reader.NodeType();
    const std::u16string& element = reader.ElementName();
    if (node == XmlNodeType::Attribute) {
      const std::u16string attribute = UnescapeXmlText(reader.AttributeName());
      if (EqualsIgnoreCaseAscii(element, u"k")) {
        if (EqualsIgnoreCaseAscii(attribute, u"name")) {
          stack.push_back({UnescapeXmlText(reader.AttributeValue()), 0, {}, false});
          stack.back().key = OpenSnapshotKey(stack, target);
          if (!stack.back().key) {
            go_on = false;
            outcome = RestoreOutcome::KeyFailed;
          } else if (contents) {
            KeyFrame& frame = stack.back();
            frame.upperPath = stack.size() > 1 ? stack[stack.size() - 2].upperPath + u"\\" : std::u16string();
            frame.upperPath += ToUpperAscii(frame.name);
            frame.tracksValues = SnapshotContents::TracksValuesOf(frame.upperPath);
            contents->keys.insert(frame.upperPath);
          }
        }
      } else if (EqualsIgnoreCaseAscii(element, u"v")) {
        if (attribute == u"name") {
          valueName = UnescapeXmlText(reader.AttributeValue());
          valueText.clear();
          typeText.clear();
        } else if (attribute == u"value") {
          valueText = UnescapeXmlText(reader.AttributeValue());
          typeText.clear();
        } else if (attribute == u"type") {
          typeText = UnescapeXmlText(reader.AttributeValue());
        }
      }
    } else if (node == XmlNodeType::EndElement && !stack.empty()) {
      if (EqualsIgnoreCaseAscii(element, u"k")) {
        if (stack.back().key) target.Close(stack.back().key);
        stack.pop_back();
      } else if (EqualsIgnoreCaseAscii(element, u"v")) {
        if (!SetSnapshotValue(target, stack.back().key, valueName, valueText, typeText))
          outcome = RestoreOutcome::ValueFailed;
        if (contents && stack.back().tracksValues)
          contents->values[stack.back().upperPath].insert(
              EqualsIgnoreCaseAscii(valueName, kDefaultValueName) ? std::u16string() : ToUpperAscii(valueName));
        valueName.clear();
        valueText.clear();
        typeText.clear();
      }
    }
  }
  if (!reader.ErrorText().empty()) outcome = RestoreOutcome::ParseError;
  for (auto it = stack.rbegin(); it != stack.rend(); ++it)
    if (it->key) target.Close(it->key);
  reader.SetShowErrors(false);
  reader.Close();
  return outcome;
}

std::u16string SnapshotFilePath(const std::u16string& folder, const std::u16string& name, int index) {
  std::u16string path = folder + u"\\" + name + u"_";
  for (char c : std::to_string(index)) path += static_cast<char16_t>(c);
  return path + u".xml";
}

std::u16string DebugSnapshotPath(const std::u16string& filePath, int attempt) {
  const size_t slash = filePath.rfind(u'\\');
  const size_t at = slash == std::u16string::npos ? 0 : slash + 1;
  std::u16string marker = u"_debug_";
  if (attempt > 1) {
    for (char c : std::to_string(attempt)) marker += static_cast<char16_t>(c);
    marker += u'_';
  }
  return filePath.substr(0, at) + marker + filePath.substr(at);
}

}  // namespace zv
