// The decisions of the application guard and the browser window guard, made
// over facts that the Windows layer gathers (styles, class names, image names,
// addresses, titles). Nothing here touches a window.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// Extended style bits that make or unmake an application window.
constexpr uint32_t kExStyleAppWindow = 0x00040000;   // WS_EX_APPWINDOW
constexpr uint32_t kExStyleToolWindow = 0x00000080;  // WS_EX_TOOLWINDOW

// Window classes the guards know by name.
inline constexpr char16_t kBrowserFrameClass[] = u"IEFrame";
inline constexpr char16_t kTabContainerClass[] = u"Frame Tab";
inline constexpr char16_t kTabWindowClass[] = u"TabWindowClass";
inline constexpr char16_t kDocObjectViewClass[] = u"Shell DocObject View";

// An application window in the task-switching sense: visible, and either
// forced onto the task bar (WS_EX_APPWINDOW) or neither a tool window nor
// owned by another window.
bool IsCheatCandidate(bool visible, uint32_t exStyle, bool hasOwner);

enum class AppVerdict {
  BrowserFrame,  // class "IEFrame": left to the browser window guard
  ExamFrame,     // the top-level window that holds the exam page (ExamFrame())
  Exception,     // its image name is on the exception list
  Cheat,         // asked to close (or counted)
};

// The close rule for a candidate. `upperImageName` is the image name already
// upper-cased; it must equal a member of `exceptions` as a whole.
// `holdsExamPage`: the window is the frame that holds the exam page, which
// is spared whatever its program (other windows of that program are not).
AppVerdict JudgeCandidate(std::u16string_view className, std::u16string_view upperImageName,
                          const std::set<std::u16string>& exceptions, bool holdsExamPage = false);

// "killed app : [<title>] [<IMAGE>]"
std::u16string KilledAppLine(std::u16string_view title, std::u16string_view upperImageName);

// Whether a process entry's image name is the black-list entry: the image name
// folded to upper case (a-z) equals the (already upper-case) entry exactly.
// The empty entry matches nothing.
bool IsBlackListedImage(std::u16string_view exeFile, std::u16string_view entry);

// One entry of a process snapshot, in snapshot order.
struct ProcessEntry {
  uint32_t pid = 0;
  std::u16string exeFile;
};

// Asks for the image file name of a process by its id, on demand (on
// Windows: from the process opened by that id); empty when it cannot be found.
using ImageLookup = std::function<std::u16string(uint32_t pid)>;

// One black-list entry's process: the first snapshot entry it matched.
struct BlackListVictim {
  uint32_t pid = 0;
  std::u16string entry;  // the black-list entry, upper case
  bool operator==(const BlackListVictim& other) const { return pid == other.pid && entry == other.entry; }
};

// One process snapshot taken for a whole guard pass, so that a pass costs one
// snapshot instead of one per window and one per black-list entry. The
// answers are those of walking the snapshot from its start each time.
class ProcessTable {
 public:
  explicit ProcessTable(std::vector<ProcessEntry> entries, ImageLookup lookUp = nullptr);

  // The image name of the first entry with this process id. An id that the
  // snapshot does not know belongs to a process started after it: it is
  // looked up on demand (once per table). Empty if none.
  const std::u16string& ImageName(uint32_t pid) const;

  // For each black-list entry in set order, the first snapshot entry it
  // matches (IsBlackListedImage); entries that match nothing give nothing. At
  // most one process per entry.
  std::vector<BlackListVictim> BlackListVictims(const std::set<std::u16string>& blackList) const;

 private:
  std::vector<ProcessEntry> entries_;
  std::vector<size_t> byPid_;  // indexes into entries_, sorted by pid, first entry per pid
  ImageLookup lookUp_;
  mutable std::map<uint32_t, std::u16string> lookedUp_;
};

// The file name of an image path: what follows its last backslash or slash.
std::u16string_view ImageFileName(std::u16string_view path);

// Process ids are reused. Whether the process opened by a victim's id still
// runs the listed image: the file name of the image path read from the opened
// process, folded as IsBlackListedImage folds, is the entry. An image that
// could not be read (empty) ends nothing.
bool StillBlackListed(const BlackListVictim& victim, std::u16string_view imagePath);

// --- browser window guard ---------------------------------------------------

enum class BrowserVerdict {
  SparedByAddress,  // the address begins with an exception entry
  SparedByTitle,    // the page title is an exception entry
  Close,
};

struct BrowserJudgement {
  BrowserVerdict verdict = BrowserVerdict::Close;
  // One "checking ie" line per entry tested, in the order tested.
  std::vector<std::u16string> lines;
};

// Address test, then title test. Both texts are already upper case. Entries
// are tested in set order up to the first one the address begins with.
BrowserJudgement JudgeBrowser(std::u16string_view upperAddress, std::u16string_view upperTitle,
                              const std::set<std::u16string>& exceptions);

// "checking ie  : [<address>]에서  [<entry>] 검색 <position>"
std::u16string CheckingLine(std::u16string_view address, std::u16string_view entry, int64_t position);

// "killed ie  : [<title>] [<address>]"
std::u16string KilledBrowserLine(std::u16string_view upperTitle, std::u16string_view upperAddress);

// Position of the first occurrence of `needle` in `text`, counted from 0, or -1.
int64_t FindPosition(std::u16string_view text, std::u16string_view needle);

// Whether a tab window (its text upper-cased) shows the page with this title:
// its text begins with the title.
bool TabShowsPage(std::u16string_view upperTabText, std::u16string_view upperTitle);

// The text of a failed COM call, as the error line carries it: the system's
// message without its trailing line break, or, when the system has none,
// "IDispatch error #<n>" for HRESULTs of the dispatch range (0x80040200 to
// 0x8004FFFF) and "Unknown error 0x<HEX>" for the rest.
std::u16string ComErrorText(int32_t hresult, std::u16string_view systemMessage);

// "exception on ProtectInternetExplorer : <text>"
std::u16string ExplorerErrorLine(int32_t hresult, std::u16string_view systemMessage);

// --- toolbar walk -------------------------------------------------------------

enum class ToolbarChildAction { Disable, Leave };

// What the walk does with one direct child of the top window: tab windows are
// disabled unless they hold the caller, document views and tab containers are
// left alone, every other child is disabled.
ToolbarChildAction ClassifyToolbarChild(std::u16string_view className, bool isOwnTab);

// --- the exam's frame -----------------------------------------------------
// The control names its own window on the command line when the page is not
// held by an Internet Explorer frame; the window that holds the exam is that
// window's top-level ancestor, in whatever browser process it lives.

// What tells a window apart beyond its handle value, which Windows may give
// to another window once this one is gone.
struct WindowIdentity {
  bool exists = false;
  uint32_t pid = 0;
  std::u16string className;
};

// Whether the exam page's window seen now is still the one found at start:
// it exists, in the same process, with the same class. A handle that named
// no window at start never names the exam page.
bool IsSameWindow(const WindowIdentity& atStart, const WindowIdentity& now);

// "exam frame : [<class>] [<IMAGE>]": the frame that held the page at start.
std::u16string ExamFrameLine(std::u16string_view frameClass, std::u16string_view upperImageName);

// "exam frame : none, page window <value> not found"
std::u16string NoExamFrameLine(uint32_t pageWindow);

// "kept exam frame : [<title>] [<address>]": a browser that the walk would
// close by its whole window, which is the exam's frame.
std::u16string KeptExamFrameLine(std::u16string_view upperTitle, std::u16string_view upperAddress);

}  // namespace zv
