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

bool IsCompleteSnapshotTail(std::string_view tail, bool fromStart) {
  if (tail.size() % 2 != 0) return false;
  std::u16string text(tail.size() / 2, u'\0');
  std::memcpy(text.data(), tail.data(), tail.size());
  constexpr std::u16string_view kEnd = u"</registry>\r\n";
  if (!EndsWith(text, kEnd)) return false;
  size_t at = text.size() - kEnd.size();
  while (at > 0 && text[at - 1] == u' ') --at;
  return (at == 0 && fromStart) || (at >= 2 && text[at - 1] == u'\n' && text[at - 2] == u'\r');
}

bool IsCompleteSnapshot(std::string_view bytes) { return IsCompleteSnapshotTail(bytes, true); }

uint64_t SnapshotSequence(std::string_view head) {
  std::u16string text(head.size() / 2, u'\0');
  std::memcpy(text.data(), head.data(), text.size() * 2);
  const size_t tag = text.find(u"<registry");
  if (tag == std::u16string::npos) return 0;
  const size_t end = text.find(u'>', tag);
  if (end == std::u16string::npos) return 0;
  const std::u16string_view tagText = std::u16string_view(text).substr(tag, end - tag);
  const std::u16string attribute = u" " + std::u16string(kSequenceAttribute) + u"=\"";
  const size_t at = tagText.find(attribute);
  if (at == std::u16string_view::npos) return 0;
  uint64_t number = 0;
  size_t digits = 0;
  for (size_t i = at + attribute.size(); i < tagText.size() && tagText[i] != u'"'; ++i, ++digits) {
    if (tagText[i] < u'0' || tagText[i] > u'9' || digits >= 19) return 0;
    number = number * 10 + (tagText[i] - u'0');
  }
  return number;
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

namespace {

// How deep `upperPath` lies below `upperPlace`: 0 for the place itself, 1 for
// a subkey ..., -1 when it is not below it.
int DepthBelow(std::u16string_view upperPath, std::u16string_view upperPlace) {
  if (upperPath == upperPlace) return 0;
  if (upperPath.size() <= upperPlace.size() + 1 || !upperPath.starts_with(upperPlace) ||
      upperPath[upperPlace.size()] != u'\\')
    return -1;
  const std::u16string_view rest = upperPath.substr(upperPlace.size() + 1);
  return 1 + static_cast<int>(std::count(rest.begin(), rest.end(), u'\\'));
}

}  // namespace

bool SnapshotContents::TracksValuesOf(std::u16string_view upperPath) {
  static const std::vector<std::pair<std::u16string, CleanKind>> places = [] {
    std::vector<std::pair<std::u16string, CleanKind>> out;
    for (const auto& place : kCleanPlaces)
      if (place.kind != CleanKind::Subkeys) out.emplace_back(ToUpperAscii(place.path), place.kind);
    return out;
  }();
  for (const auto& [path, kind] : places) {
    const int depth = DepthBelow(upperPath, path);
    if ((kind == CleanKind::Values && depth == 0) || (kind == CleanKind::SubkeyValues && depth == 1) ||
        (kind == CleanKind::Tree && depth >= 1))
      return true;
  }
  return false;
}

const std::vector<CleanPlace> kCleanPlaces = {
    {kInternetSettings,
     u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\2", CleanKind::Values},
    {kInternetSettings,
     u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains", CleanKind::Tree},
    {kInternetSettings,
     u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Ranges", CleanKind::Tree},
    {kExt, u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings", CleanKind::Subkeys},
    {kExt, u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings", CleanKind::SubkeyValues},
};

CleanStep PlanClean(const SnapshotContents& contents, const CleanPlace& place, std::u16string_view path,
                    const std::vector<std::u16string>& currentValues, const std::vector<std::u16string>& currentSubkeys) {
  CleanStep step;
  if (!contents.keys.count(ToUpperAscii(place.savedKey))) return step;
  const std::u16string upperPath = ToUpperAscii(path);
  const int depth = DepthBelow(upperPath, ToUpperAscii(place.path));
  if (depth < 0) return step;
  const bool cleanValues = (place.kind == CleanKind::Values && depth == 0) ||
                           (place.kind == CleanKind::SubkeyValues && depth == 1) ||
                           (place.kind == CleanKind::Tree && depth >= 1);
  const bool cleanSubkeys = (place.kind == CleanKind::Subkeys && depth == 0) || place.kind == CleanKind::Tree;
  const bool descend = (place.kind == CleanKind::SubkeyValues && depth == 0) || place.kind == CleanKind::Tree;
  if (cleanValues) {
    const auto held = contents.values.find(upperPath);
    for (const auto& name : currentValues)
      if (held == contents.values.end() || !held->second.count(ToUpperAscii(name))) step.values.push_back(name);
  }
  for (const auto& name : currentSubkeys) {
    const bool held = contents.keys.count(upperPath + u"\\" + ToUpperAscii(name)) != 0;
    if (!held && cleanSubkeys) step.subkeys.push_back(name);
    if (held && descend) step.descend.push_back(name);
  }
  return step;
}

std::vector<SnapshotPair> PendingSnapshotPairs(const std::vector<std::u16string>& fileNames) {
  std::set<std::u16string> done;
  for (const auto& file : FilesMarkedDone(fileNames)) done.insert(ToUpperAscii(file));
  std::vector<SnapshotPair> pairs;
  for (const auto& file : fileNames) {
    const std::u16string upper = ToUpperAscii(file);
    const bool first = EndsWith(upper, u"_0.XML");
    if (!first && !EndsWith(upper, u"_1.XML")) continue;
    const std::u16string name = file.substr(0, file.size() - 6);
    const std::u16string upperName = ToUpperAscii(name);
    if (name.empty() || StartsWith(upperName, u"_DEBUG_") || StartsWith(upperName, u"_FAILED_") ||
        StartsWith(upperName, u"_DONE_") || EndsWith(upperName, u"_LOOSE") || done.count(upper))
      continue;
    auto it = std::find_if(pairs.begin(), pairs.end(),
                           [&](const SnapshotPair& pair) { return ToUpperAscii(pair.name) == upperName; });
    if (it == pairs.end()) {
      pairs.push_back({name, {false, false}});
      it = pairs.end() - 1;
    }
    it->files[first ? 0 : 1] = true;
  }
  return pairs;
}

std::vector<std::u16string> PendingSnapshotNames(const std::vector<std::u16string>& fileNames) {
  std::vector<std::u16string> names;
  for (auto& pair : PendingSnapshotPairs(fileNames)) names.push_back(std::move(pair.name));
  return names;
}

std::vector<std::u16string> RecoveryOrder(std::vector<PendingSnapshot> pending, std::u16string_view own) {
  std::erase_if(pending, [](const PendingSnapshot& p) { return !p.whole; });
  std::stable_sort(pending.begin(), pending.end(), [](const PendingSnapshot& a, const PendingSnapshot& b) {
    return std::make_tuple(a.sequence, AgeKey(a.name)) > std::make_tuple(b.sequence, AgeKey(b.name));
  });
  std::vector<std::u16string> order;
  bool ownReached = false;
  for (const auto& snapshot : pending) {
    const bool isOwn = !own.empty() && EqualsIgnoreCaseAscii(snapshot.name, own);
    if (snapshot.held && !isOwn) break;
    order.push_back(snapshot.name);
    ownReached = ownReached || isOwn;
  }
  if (!own.empty() && !ownReached) order.clear();
  return order;
}

bool RecoveryNeeded(const std::vector<PendingSnapshot>& pending) {
  return !RecoveryOrder(pending).empty() ||
         std::any_of(pending.begin(), pending.end(), [](const PendingSnapshot& p) { return !p.whole && !p.held; });
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

namespace {

std::u16string MarkedPath(const std::u16string& filePath, std::u16string_view marker) {
  const size_t slash = filePath.rfind(u'\\');
  const size_t at = slash == std::u16string::npos ? 0 : slash + 1;
  return filePath.substr(0, at) + std::u16string(marker) + filePath.substr(at);
}

}  // namespace

std::u16string FailedSnapshotPath(const std::u16string& filePath) { return MarkedPath(filePath, kFailedMarker); }
std::u16string DoneSnapshotPath(const std::u16string& filePath) { return MarkedPath(filePath, kDoneMarker); }

std::vector<std::u16string> FilesMarkedDone(const std::vector<std::u16string>& fileNames) {
  const std::u16string marker = ToUpperAscii(kDoneMarker);
  std::vector<std::u16string> out;
  for (const auto& file : fileNames)
    if (file.size() > marker.size() && StartsWith(ToUpperAscii(file), marker)) out.push_back(file.substr(marker.size()));
  return out;
}

}  // namespace zv
