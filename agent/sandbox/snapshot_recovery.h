// What keeps the user's settings safe around a snapshot, decided without
// Windows: whether a snapshot file is whole, the order in which snapshots
// were saved, which pending snapshots a recovery restores and in which order,
// what a restore must remove after its replay, and how a free snapshot name
// is found.
#pragma once

#include <cstdint>
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
// The same test on the last bytes of a file; `fromStart` tells that they are
// the whole file (otherwise the line before the end tag must be in them).
bool IsCompleteSnapshotTail(std::string_view tail, bool fromStart);

// The save order. Every save writes the pair's number in the start tag of
// its `registry` element (<registry sequence="N">), one more than the largest
// number among the snapshots pending at that moment; saves never run at the
// same time (one agent per logon session). It does not depend on the clock or
// on when a name was chosen, and it lives as long as the files do.
inline constexpr char16_t kSequenceAttribute[] = u"sequence";
// The number in the first bytes of a snapshot file; 0 when there is none (a
// file written before the number was kept).
uint64_t SnapshotSequence(std::string_view head);

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

// A place the exam itself writes to and a restore cleans, below `path`:
// Values: its values; Subkeys: its subkeys; SubkeyValues: the values of each
// subkey the snapshot holds; Tree: its subkeys, and inside each subkey the
// snapshot holds, at any depth, the values and subkeys it does not hold.
// `savedKey` is the subtree the snapshot holds.
enum class CleanKind { Values, Subkeys, SubkeyValues, Tree };
struct CleanPlace {
  std::u16string_view savedKey;
  std::u16string_view path;
  CleanKind kind;
};
// Zones\2 values; ZoneMap\Domains and ZoneMap\Ranges as trees (the trusted
// sites step writes a key below a domain the user trusts, and scheme values
// into the user's own domain and range keys); Ext\Settings subkeys and the
// values of those it keeps (the toolbar settings step writes "Flags" and
// "Version" into a toolbar's existing key as well).
extern const std::vector<CleanPlace> kCleanPlaces;

// What a restore removes at one key of a clean place: `path` is the place's
// own path or a key below it. Values and subkeys to delete, and the subkeys
// the snapshot holds to look into next. Only what the snapshot does not hold
// goes, and nothing when the snapshot does not hold the saved key itself (a
// snapshot of a missing subtree says nothing about what belongs there).
struct CleanStep {
  std::vector<std::u16string> values;
  std::vector<std::u16string> subkeys;
  std::vector<std::u16string> descend;
};
CleanStep PlanClean(const SnapshotContents& contents, const CleanPlace& place, std::u16string_view path,
                    const std::vector<std::u16string>& currentValues, const std::vector<std::u16string>& currentSubkeys);

// A pending snapshot pair in the sandbox folder: a name with a "_0.xml" or
// "_1.xml" file, except the kept ones ("_debug_", "_failed_" in front), the
// diagnostic "_loose" ones, and files a "_done_" marker says are finished.
struct SnapshotPair {
  std::u16string name;
  bool files[2] = {false, false};
  bool Whole() const { return files[0] && files[1]; }
};
std::vector<SnapshotPair> PendingSnapshotPairs(const std::vector<std::u16string>& fileNames);
// Their names.
std::vector<std::u16string> PendingSnapshotNames(const std::vector<std::u16string>& fileNames);

// One pending snapshot as a recovery sees it: its save number, whether a live
// control holds it, whether both files are there.
struct PendingSnapshot {
  std::u16string name;
  uint64_t sequence = 0;
  bool held = false;
  bool whole = true;
};
// The snapshots to restore, in this order: whole ones, newest saved first, up
// to the first one a live control holds. Each snapshot holds the settings as
// the one saved before it left them, so only this order brings back the
// oldest state, the user's own. Snapshots without a save number were written
// before it was kept and count as older than every numbered one; among
// themselves their names order them (time stamp, then the -N of a second name
// in the same second).
// `own`, when given, is the caller's snapshot, which it holds itself: it
// counts as not held. When a newer snapshot is held (own is not reached), or
// own is not a whole pending snapshot, nothing is to be restored now.
std::vector<std::u16string> RecoveryOrder(std::vector<PendingSnapshot> pending, std::u16string_view own = {});
// A recovery has something to do: a snapshot to restore, or half a pair
// nobody holds to be put aside.
bool RecoveryNeeded(const std::vector<PendingSnapshot>& pending);

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
// Marker file that says the file of the same name after it is finished with
// (replayed, or kept as failed) although it could be neither deleted nor
// moved: "<folder>\_done_<file name>". The file is then no longer pending and
// is removed, with its marker, by a later restore.
inline constexpr char16_t kDoneMarker[] = u"_done_";
std::u16string DoneSnapshotPath(const std::u16string& filePath);
// The file names the "_done_" markers among these name, in their case.
std::vector<std::u16string> FilesMarkedDone(const std::vector<std::u16string>& fileNames);

}  // namespace zv
