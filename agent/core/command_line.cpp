#include "agent/core/command_line.h"

#include <type_traits>

#include "agent/guard/guard_rules.h"

namespace zv {

static bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::vector<std::u16string> SplitCommandLine(std::u16string_view line) {
  std::vector<std::u16string> args;
  size_t i = 0;
  const size_t n = line.size();

  // The program token: no backslash processing at all.
  std::u16string first;
  if (i < n && line[i] == u'"') {
    ++i;
    while (i < n && line[i] != u'"') first += line[i++];
    if (i < n) ++i;  // the closing quote
  } else {
    while (i < n && !IsBlank(line[i])) first += line[i++];
  }
  args.push_back(std::move(first));

  while (i < n && IsBlank(line[i])) ++i;
  if (i >= n) return args;

  std::u16string current;
  int quotes = 0;       // 0 outside a quoted stretch; counts consecutive quotes inside
  size_t slashes = 0;   // backslashes right before the current character
  while (i < n) {
    const char16_t c = line[i];
    if (IsBlank(c) && quotes == 0) {
      args.push_back(std::move(current));
      current.clear();
      slashes = 0;
      while (i < n && IsBlank(line[i])) ++i;
      if (i >= n) return args;
    } else if (c == u'\\') {
      current += c;
      ++slashes;
      ++i;
    } else if (c == u'"') {
      if (slashes % 2 == 0) {
        current.resize(current.size() - slashes / 2);
        ++quotes;
      } else {
        current.resize(current.size() - slashes / 2 - 1);
        current += u'"';
      }
      ++i;
      slashes = 0;
      while (i < n && line[i] == u'"') {
        if (++quotes == 3) {
          current += u'"';
          quotes = 0;
        }
        ++i;
      }
      if (quotes == 2) quotes = 0;
    } else {
      current += c;
      slashes = 0;
      ++i;
    }
  }
  args.push_back(std::move(current));
  return args;
}

std::u16string QuoteArgument(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + 2);
  out += u'"';
  size_t slashes = 0;
  for (const char16_t c : text) {
    if (c == u'\\') {
      ++slashes;
      continue;
    }
    if (c == u'"') {
      out.append(slashes * 2 + 1, u'\\');
    } else {
      out.append(slashes, u'\\');
    }
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, u'\\');
  out += u'"';
  return out;
}

TraySettings ScanCommandLine(std::u16string_view line) {
  TraySettings settings;
  ScanArguments(SplitCommandLine(line), settings);
  return settings;
}

namespace {

using S = TraySettings;

template <class Field>
const char16_t* NameOf(Field TraySettings::*field) {
  for (const auto& option : OptionTable()) {
    if constexpr (std::is_same_v<Field, int32_t>) {
      if (option.integer == field) return option.name;
    } else {
      if (option.text == field) return option.name;
    }
  }
  return u"";  // every field has its option (tested)
}

// A tiny printf-like joiner: the command lines are option names followed by
// integers or quoted texts. An option is named by the agent's field it fills.
class Line {
 public:
  Line& Int(const char16_t* name, int32_t value) {
    Name(name);
    text_ += u' ';
    const std::string digits = std::to_string(value);
    text_.append(digits.begin(), digits.end());
    return *this;
  }
  Line& Text(const char16_t* name, std::u16string_view value) {
    Name(name);
    text_ += u' ';
    text_ += QuoteArgument(value);
    return *this;
  }
  Line& Int(int32_t S::*field, int32_t value) { return Int(NameOf(field), value); }
  Line& Text(std::u16string S::*field, std::u16string_view value) { return Text(NameOf(field), value); }
  std::u16string str() const { return text_; }

 private:
  void Name(const char16_t* name) {
    if (!text_.empty()) text_ += u' ';
    text_ += name;
  }
  std::u16string text_;
};

}  // namespace

std::u16string BuildSessionCommandLine(const SessionCommand& c) {
  Line line;
  for (const auto& option : OptionTable()) {
    if (option.sessionInteger != nullptr) line.Int(option.name, c.*option.sessionInteger);
    if (option.sessionText != nullptr) line.Text(option.name, c.*option.sessionText);
  }
  return line.str();
}

std::u16string BuildRegistrySaveCommandLine(std::u16string_view name, int32_t debugLog) {
  return Line().Text(&S::m_strRegistrySave, name).Int(&S::m_nDebugLog, debugLog).str();
}

std::u16string BuildLooseRegistrySaveCommandLine(std::u16string_view name, int32_t debugLog) {
  return BuildRegistrySaveCommandLine(std::u16string(name) + u"_loose", debugLog);
}

std::u16string BuildRegistrySetLooseCommandLine(int32_t debugLog) {
  return Line().Int(&S::m_nRegistrySetLoose, 1).Int(&S::m_nDebugLog, debugLog).str();
}

std::u16string BuildRegistryRecoverCommandLine(int32_t debugSandbox, int32_t debugLog) {
  return Line()
      .Int(&S::m_nRegistryRecover, 1)
      .Int(&S::m_nDebugSandbox, debugSandbox)
      .Int(&S::m_nDebugLog, debugLog)
      .str();
}

std::u16string BuildRegistryRestoreCommandLine(std::u16string_view name, int32_t debugSandbox, int32_t debugLog) {
  return Line()
      .Text(&S::m_strRegistryRestore, name)
      .Int(&S::m_nDebugSandbox, debugSandbox)
      .Int(&S::m_nDebugLog, debugLog)
      .str();
}

std::u16string BuildQueryCheatAppCommandLine(std::u16string_view appExceptionList, std::u16string_view appBlackList,
                                             std::u16string_view explorerExceptionList) {
  return Line()
      .Text(&S::m_strProtectAppExceptionList, appExceptionList)
      .Text(&S::m_strProtectAppBlackList, appBlackList)
      .Text(&S::m_strProtectExplorerExceptionList, explorerExceptionList)
      .Int(&S::m_nDebugLog, 1)
      .Int(&S::m_nQueryCheatApp, 1)
      .str();
}

static std::u16string OneText(std::u16string S::*field, std::u16string_view value, int32_t debugLog) {
  return Line().Text(field, value).Int(&S::m_nDebugLog, debugLog).str();
}

std::u16string BuildTrustzoneAddIPCommandLine(std::u16string_view addresses, int32_t debugLog) {
  return OneText(&S::m_strTrustzoneAddIP, addresses, debugLog);
}
std::u16string BuildTrustzoneAddDomainCommandLine(std::u16string_view domains, int32_t debugLog) {
  return OneText(&S::m_strTrustzoneAddDomain, domains, debugLog);
}
std::u16string BuildTrustzoneQueryIPCommandLine(std::u16string_view address, int32_t debugLog) {
  return OneText(&S::m_strTrustzoneQueryIP, address, debugLog);
}
std::u16string BuildTrustzoneQueryDomainCommandLine(std::u16string_view domain, int32_t debugLog) {
  return OneText(&S::m_strTrustzoneQueryDomain, domain, debugLog);
}

std::u16string WithExamPageWindow(std::u16string line, uint32_t pageWindow) {
  if (pageWindow == 0) return line;
  line += u' ';
  line += NameOf(&S::m_strExamPageWindow);
  line += u' ';
  const std::string digits = std::to_string(pageWindow);
  line.append(digits.begin(), digits.end());
  return line;
}

uint32_t ExamPageWindowOption(uint32_t ownWindow, uint32_t rootWindow, std::u16string_view rootClass) {
  if (ownWindow == 0 || rootWindow == 0 || rootWindow == ownWindow) return 0;
  return rootClass == kBrowserFrameClass ? 0 : ownWindow;
}

uint32_t ParseWindowValue(std::u16string_view text) {
  if (text.empty() || text.size() > 10) return 0;
  uint64_t value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') return 0;
    value = value * 10 + static_cast<uint64_t>(c - u'0');
  }
  return value > 0xFFFFFFFFu ? 0 : static_cast<uint32_t>(value);
}

}  // namespace zv
