#include "agent/sandbox/snapshot_recovery.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "common/text/text_util.h"

namespace zv {

namespace {

constexpr char16_t kInternetSettings[] =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr char16_t kExt[] = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Ext";

bool EndsWith(std::u16string_view text, std::u16string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

bool AllDigits(std::u16string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// Orders names the way the control makes them ("%Y%m%d-%H%M%S", then "-N"
// for the N-th name of the same second): by the stamp, then by N.
std::tuple<std::u16string_view, size_t, std::u16string_view> AgeKey(std::u16string_view name) {
  const size_t dash = name.rfind(u'-');
  if (dash != std::u16string_view::npos && dash > 8 && AllDigits(name.substr(dash + 1)) && name.size() - dash < 6) {
    size_t n = 0;
    for (char16_t c : name.substr(dash + 1)) n = n * 10 + (c - u'0');
    return {name.substr(0, dash), n, name};
  }
  return {name, 0, name};
}

}  // namespace

bool IsCompleteSnapshot(std::string_view bytes) {
  if (bytes.size() % 2 != 0) return false;
  std::u16string text(bytes.size() / 2, u'\0');
  std::memcpy(text.data(), bytes.data(), bytes.size());
  constexpr std::u16string_view kEnd = u"</registry>\r\n";
  if (!EndsWith(text, kEnd)) return false;
  size_t at = text.size() - kEnd.size();
  while (at > 0 && text[at - 1] == u' ') --at;
  return at == 0 || (at >= 2 && text[at - 1] == u'\n' && text[at - 2] == u'\r');
}

std::u16string_view RestoreFailureText(RestoreOutcome outcome) {
  switch (outcome) {
    case RestoreOutcome::Unreadable: return u"cannot read the file";
    case RestoreOutcome::Incomplete: return u"incomplete file, not replayed";
    case RestoreOutcome::ParseError: return u"parse error, replay stopped";
    case RestoreOutcome::KeyFailed: return u"a key could not be created, replay stopped";
    case RestoreOutcome::ValueFailed: return u"a value could not be set";
    default: return u"";
  }
}

void SnapshotContents::AddValue(std::u16string_view keyPath, std::u16string_view name) {
  values[ToUpperAscii(keyPath)].insert(ToUpperAscii(name));
}

bool SnapshotContents::TracksValuesOf(std::u16string_view upperPath) {
  static const std::vector<std::pair<std::u16string, CleanKind>> places = [] {
    std::vector<std::pair<std::u16string, CleanKind>> out;
    for (const auto& place : kCleanPlaces)
      if (place.kind != CleanKind::Subkeys) out.emplace_back(ToUpperAscii(place.path), place.kind);
    return out;
  }();
  for (const auto& [path, kind] : places) {
    if (kind == CleanKind::Values && upperPath == path) return true;
    if (kind == CleanKind::SubkeyValues && upperPath.size() > path.size() + 1 && upperPath.starts_with(path) &&
        upperPath[path.size()] == u'\\' && upperPath.find(u'\\', path.size() + 1) == std::u16string_view::npos)
      return true;
  }
  return false;
}

const std::vector<CleanPlace> kCleanPlaces = {
    {kInternetSettings,
     u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\2", CleanKind::Values},
    {kInternetSettings,
     u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains", CleanKind::Subkeys},
    {kInternetSettings,
     u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Ranges", CleanKind::Subkeys},
    {kExt, u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings", CleanKind::Subkeys},
    {kExt, u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings", CleanKind::SubkeyValues},
};

std::vector<std::u16string> NamesToRemove(const SnapshotContents& contents, const CleanPlace& place,
                                          const std::vector<std::u16string>& currentNames) {
  std::vector<std::u16string> out;
  if (!contents.keys.count(ToUpperAscii(place.savedKey))) return out;
  const std::u16string path = ToUpperAscii(place.path);
  const auto values = contents.values.find(path);
  for (const auto& name : currentNames) {
    const std::u16string upper = ToUpperAscii(name);
    const bool held = place.kind != CleanKind::Subkeys ? values != contents.values.end() && values->second.count(upper) != 0
                                   : contents.keys.count(path + u"\\" + upper) != 0;
    if (!held) out.push_back(name);
  }
  return out;
}

std::vector<std::u16string> PendingSnapshotNames(const std::vector<std::u16string>& fileNames) {
  std::vector<std::u16string> names;
  for (const auto& file : fileNames) {
    const std::u16string upper = ToUpperAscii(file);
    if (!EndsWith(upper, u"_0.XML") && !EndsWith(upper, u"_1.XML")) continue;
    const std::u16string name = file.substr(0, file.size() - 6);
    const std::u16string upperName = ToUpperAscii(name);
    if (name.empty() || StartsWith(upperName, u"_DEBUG_") || StartsWith(upperName, u"_FAILED_") ||
        EndsWith(upperName, u"_LOOSE"))
      continue;
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  std::sort(names.begin(), names.end(),
            [](const std::u16string& a, const std::u16string& b) { return AgeKey(a) > AgeKey(b); });
  return names;
}

std::u16string UniqueSnapshotName(const std::u16string& stamp,
                                  const std::function<bool(const std::u16string&)>& taken) {
  if (!taken(stamp)) return stamp;
  for (int n = 2; n < 100; ++n) {
    std::u16string name = stamp + u"-";
    for (char c : std::to_string(n)) name += static_cast<char16_t>(c);
    if (!taken(name)) return name;
  }
  return {};
}

std::u16string SnapshotMarkerName(std::u16string_view name) {
  return u"Local\\ZaduzeSnapshot-" + std::u16string(name);
}

std::u16string RecoverRunCommand(std::u16string_view agentPath) {
  return u"\"" + std::u16string(agentPath) + u"\" -RegistryRecover 1";
}

std::u16string FailedSnapshotPath(const std::u16string& filePath) {
  const size_t slash = filePath.rfind(u'\\');
  const size_t at = slash == std::u16string::npos ? 0 : slash + 1;
  return filePath.substr(0, at) + kFailedMarker + filePath.substr(at);
}

}  // namespace zv
