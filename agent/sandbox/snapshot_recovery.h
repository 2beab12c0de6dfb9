// What keeps the user's settings safe around a snapshot, decided without
// Windows: whether a snapshot file is whole, what a restore must remove
// after its replay, which pending snapshots a recovery restores and in which
// order, and how a free snapshot name is found.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// A snapshot file is whole only when its last line is the end tag of its
// `registry` element (indented by blanks) ending in CR LF. A writer that was
// stopped early, a full disk or a killed process leave a file without it:
// such a file is never replayed.
bool IsCompleteSnapshot(std::string_view bytes);

// How the replay of one snapshot file ended.
enum class RestoreOutcome { Done, Missing, Unreadable, Incomplete, ParseError, KeyFailed, ValueFailed };
// The reason a failed outcome is logged with ("" for Done and Missing).
std::u16string_view RestoreFailureText(RestoreOutcome outcome);

// What a replayed snapshot holds: every key path and every (key path, value
// name) pair, both upper-cased (a-z) since registry names ignore case. The
// default value is stored under the empty name.
struct SnapshotContents {
  std::set<std::u16string> keys;
  std::map<std::u16string, std::set<std::u16string>> values;

  void AddValue(std::u16string_view keyPath, std::u16string_view name);
  // Whether the values of the key at this upper-cased path matter to a
  // clean-up (only those are recorded: a restore replays many values).
  static bool TracksValuesOf(std::u16string_view upperPath);
};

// A place the exam itself writes to and a restore cleans: the values of
// `path`, its subkeys, or the values of each of its subkeys the snapshot
// holds. `savedKey` is the subtree the snapshot holds.
enum class CleanKind { Values, Subkeys, SubkeyValues };
struct CleanPlace {
  std::u16string_view savedKey;
  std::u16string_view path;
  CleanKind kind;
};
// Zones\2 values, ZoneMap\Domains and ZoneMap\Ranges subkeys, Ext\Settings
// subkeys and the values of those it keeps (the toolbar settings step writes
// "Flags" and "Version" into a toolbar's existing key as well).
extern const std::vector<CleanPlace> kCleanPlaces;

// The names currently at `place` that a restore removes: those the snapshot
// does not hold (for SubkeyValues, `place.path` is the one subkey's path and
// the names are its values). Nothing when the snapshot does not hold the saved key itself
// (a snapshot of a missing subtree says nothing about what belongs there).
std::vector<std::u16string> NamesToRemove(const SnapshotContents& contents, const CleanPlace& place,
                                          const std::vector<std::u16string>& currentNames);

// The snapshot names a recovery may restore, given the file names in the
// sandbox folder: every name with a "_0.xml" or "_1.xml" file, except the
// kept ones ("_debug_", "_failed_" in front) and the diagnostic "_loose" ones.
// Newest first: time stamp, then the numeric suffix of a name taken twice in
// one second. The oldest, which holds the user's own settings, comes last.
std::vector<std::u16string> PendingSnapshotNames(const std::vector<std::u16string>& fileNames);

// `stamp` when it is free, else stamp-2, stamp-3 ... (at most 99 tries; then
// an empty name).
std::u16string UniqueSnapshotName(const std::u16string& stamp, const std::function<bool(const std::u16string&)>& taken);

// The named kernel object a live control holds for the snapshot it owns.
std::u16string SnapshotMarkerName(std::u16string_view name);

// The per-user logon entry that restores pending snapshots.
inline constexpr char16_t kRecoverRunKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char16_t kRecoverRunValue[] = u"ZaduzeRecover";
// "\"<agent path>\" -RegistryRecover 1"
std::u16string RecoverRunCommand(std::u16string_view agentPath);

// Marker put in front of a file a restore could not replay completely.
inline constexpr char16_t kFailedMarker[] = u"_failed_";
// "<folder>\_failed_<file name>".
std::u16string FailedSnapshotPath(const std::u16string& filePath);

}  // namespace zv
