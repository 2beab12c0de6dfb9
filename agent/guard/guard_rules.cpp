#include "agent/guard/guard_rules.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "common/text/text_util.h"

namespace zv {

namespace {

std::u16string Ascii(const char* text) {
  std::u16string out;
  while (*text) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text++)));
  return out;
}

}  // namespace

bool IsCheatCandidate(bool visible, uint32_t exStyle, bool hasOwner) {
  if (!visible) return false;
  if (exStyle & kExStyleAppWindow) return true;
  return !(exStyle & kExStyleToolWindow) && !hasOwner;
}

AppVerdict JudgeCandidate(std::u16string_view className, std::u16string_view upperImageName,
                          const std::set<std::u16string>& exceptions, bool holdsExamPage) {
  if (className == kBrowserFrameClass) return AppVerdict::BrowserFrame;
  if (holdsExamPage) return AppVerdict::ExamFrame;
  if (exceptions.count(std::u16string(upperImageName)) != 0) return AppVerdict::Exception;
  return AppVerdict::Cheat;
}

// "<prefix>[first] [second]", the layout of the "killed" and "exam frame" lines.
static std::u16string KilledLine(std::u16string_view prefix, std::u16string_view first, std::u16string_view second) {
  std::u16string line(prefix);
  line += u"[";
  line.append(first);
  line += u"] [";
  line.append(second);
  line += u"]";
  return line;
}

std::u16string KilledAppLine(std::u16string_view title, std::u16string_view upperImageName) {
  return KilledLine(u"killed app : ", title, upperImageName);
}

bool IsBlackListedImage(std::u16string_view exeFile, std::u16string_view entry) {
  return !entry.empty() && ToUpperAscii(exeFile) == entry;
}

ProcessTable::ProcessTable(std::vector<ProcessEntry> entries, ImageLookup lookUp)
    : entries_(std::move(entries)), lookUp_(std::move(lookUp)) {
  byPid_.reserve(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) byPid_.push_back(i);
  // Stable: among equal ids the earlier snapshot entry stays first.
  std::stable_sort(byPid_.begin(), byPid_.end(),
                   [this](size_t a, size_t b) { return entries_[a].pid < entries_[b].pid; });
}

const std::u16string& ProcessTable::ImageName(uint32_t pid) const {
  static const std::u16string kNone;
  const auto at = std::lower_bound(byPid_.begin(), byPid_.end(), pid,
                                   [this](size_t index, uint32_t id) { return entries_[index].pid < id; });
  if (at != byPid_.end() && entries_[*at].pid == pid) return entries_[*at].exeFile;
  if (!lookUp_) return kNone;
  auto known = lookedUp_.find(pid);
  if (known == lookedUp_.end()) known = lookedUp_.emplace(pid, lookUp_(pid)).first;
  return known->second;
}

std::vector<BlackListVictim> ProcessTable::BlackListVictims(const std::set<std::u16string>& blackList) const {
  std::vector<BlackListVictim> victims;
  for (const auto& name : blackList) {
    if (name.empty()) continue;  // matches no image name
    for (const auto& entry : entries_) {
      if (IsBlackListedImage(entry.exeFile, name)) {
        victims.push_back(BlackListVictim{entry.pid, name});
        break;
      }
    }
  }
  return victims;
}

std::u16string_view ImageFileName(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

bool StillBlackListed(const BlackListVictim& victim, std::u16string_view imagePath) {
  return IsBlackListedImage(ImageFileName(imagePath), victim.entry);
}

int64_t FindPosition(std::u16string_view text, std::u16string_view needle) {
  const size_t at = text.find(needle);
  return at == std::u16string_view::npos ? -1 : static_cast<int64_t>(at);
}

std::u16string CheckingLine(std::u16string_view address, std::u16string_view entry, int64_t position) {
  std::u16string line = u"checking ie  : [";
  line.append(address);
  line += u"]에서  [";
  line.append(entry);
  line += u"] 검색 ";
  line += Ascii(std::to_string(position).c_str());
  return line;
}

std::u16string KilledBrowserLine(std::u16string_view upperTitle, std::u16string_view upperAddress) {
  return KilledLine(u"killed ie  : ", upperTitle, upperAddress);
}

BrowserJudgement JudgeBrowser(std::u16string_view upperAddress, std::u16string_view upperTitle,
                              const std::set<std::u16string>& exceptions) {
  BrowserJudgement judgement;
  for (const auto& entry : exceptions) {
    const int64_t position = FindPosition(upperAddress, entry);
    judgement.lines.push_back(CheckingLine(upperAddress, entry, position));
    if (position == 0) {
      judgement.verdict = BrowserVerdict::SparedByAddress;
      return judgement;
    }
  }
  judgement.verdict =
      exceptions.count(std::u16string(upperTitle)) != 0 ? BrowserVerdict::SparedByTitle : BrowserVerdict::Close;
  return judgement;
}

bool TabShowsPage(std::u16string_view upperTabText, std::u16string_view upperTitle) {
  return FindPosition(upperTabText, upperTitle) == 0;
}

std::u16string ComErrorText(int32_t hresult, std::u16string_view systemMessage) {
  if (!systemMessage.empty()) {
    std::u16string text(systemMessage);
    if (!text.empty() && text.back() == u'\n') {
      text.pop_back();
      if (!text.empty() && text.back() == u'\r') text.pop_back();
    }
    return text;
  }
  const auto code = static_cast<uint32_t>(hresult);
  char buffer[64];
  if (code >= 0x80040200u && code <= 0x8004FFFFu)
    std::snprintf(buffer, sizeof buffer, "IDispatch error #%d", static_cast<int>(code - 0x80040200u));
  else
    std::snprintf(buffer, sizeof buffer, "Unknown error 0x%0lX", static_cast<unsigned long>(code));
  return Ascii(buffer);
}

std::u16string ExplorerErrorLine(int32_t hresult, std::u16string_view systemMessage) {
  return u"exception on ProtectInternetExplorer : " + ComErrorText(hresult, systemMessage);
}

ToolbarChildAction ClassifyToolbarChild(std::u16string_view className, bool isOwnTab) {
  if (className == kTabWindowClass) return isOwnTab ? ToolbarChildAction::Leave : ToolbarChildAction::Disable;
  if (className == kDocObjectViewClass || className == kTabContainerClass) return ToolbarChildAction::Leave;
  return ToolbarChildAction::Disable;
}

bool IsSameWindow(const WindowIdentity& atStart, const WindowIdentity& now) {
  return atStart.exists && now.exists && now.pid == atStart.pid && now.className == atStart.className;
}

std::u16string ExamFrameLine(std::u16string_view frameClass, std::u16string_view upperImageName) {
  return KilledLine(u"exam frame : ", frameClass, upperImageName);
}

std::u16string NoExamFrameLine(uint32_t pageWindow) {
  return u"exam frame : none, page window " + Ascii(std::to_string(pageWindow).c_str()) + u" not found";
}

std::u16string KeptExamFrameLine(std::u16string_view upperTitle, std::u16string_view upperAddress) {
  return KilledLine(u"kept exam frame : ", upperTitle, upperAddress);
}

}  // namespace zv
