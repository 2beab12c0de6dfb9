#include "agent/core/command_line.h"

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

namespace {

// A tiny printf-like joiner: the command lines are option names followed by
// integers or quoted texts.
class Line {
 public:
  Line& Name(const char16_t* name) {
    if (!text_.empty()) text_ += u' ';
    text_ += name;
    return *this;
  }
  Line& Int(int32_t value) {
    text_ += u' ';
    const std::string digits = std::to_string(value);
    text_.append(digits.begin(), digits.end());
    return *this;
  }
  Line& Text(std::u16string_view value) {
    text_ += u' ';
    text_ += QuoteArgument(value);
    return *this;
  }
  std::u16string str() const { return text_; }

 private:
  std::u16string text_;
};

}  // namespace

std::u16string BuildSessionCommandLine(const SessionCommand& c) {
  return Line()
      .Name(u"-WebSandboxMode").Int(c.webSandboxMode)
      .Name(u"-ProtectKeyCheat").Int(c.protectKeyCheat)
      .Name(u"-ProtectKeyList").Text(c.protectKeyList)
      .Name(u"-ProtectMouseCheat").Int(c.protectMouseCheat)
      .Name(u"-ProtectAppCheat").Int(c.protectAppCheat)
      .Name(u"-ProtectAppExceptionList").Text(c.protectAppExceptionList)
      .Name(u"-ProtectAppBlackList").Text(c.protectAppBlackList)
      .Name(u"-KeepAliveMillisec").Int(c.keepAliveMillisec)
      .Name(u"-ProtectExplorerCheat").Int(c.protectExplorerCheat)
      .Name(u"-ProtectExplorerExceptionList").Text(c.protectExplorerExceptionList)
      .Name(u"-ProtectIEToolbarCheat").Int(c.protectIEToolbarCheat)
      .Name(u"-DebugLog").Int(c.debugLog)
      .Name(u"-DebugSandbox").Int(c.debugSandbox)
      .str();
}

std::u16string BuildRegistrySaveCommandLine(std::u16string_view name, int32_t debugLog) {
  return Line().Name(u"-RegistrySave").Text(name).Name(u"-DebugLog").Int(debugLog).str();
}

std::u16string BuildLooseRegistrySaveCommandLine(std::u16string_view name, int32_t debugLog) {
  return BuildRegistrySaveCommandLine(std::u16string(name) + u"_loose", debugLog);
}

std::u16string BuildRegistrySetLooseCommandLine(int32_t debugLog) {
  return Line().Name(u"-RegistrySetLoose").Int(1).Name(u"-DebugLog").Int(debugLog).str();
}

std::u16string BuildRegistryRecoverCommandLine(int32_t debugSandbox, int32_t debugLog) {
  return Line().Name(u"-RegistryRecover").Int(1).Name(u"-DebugSandbox").Int(debugSandbox).Name(u"-DebugLog").Int(debugLog).str();
}

std::u16string BuildRegistryRestoreCommandLine(std::u16string_view name, int32_t debugSandbox, int32_t debugLog) {
  return Line()
      .Name(u"-RegistryRestore").Text(name)
      .Name(u"-DebugSandbox").Int(debugSandbox)
      .Name(u"-DebugLog").Int(debugLog)
      .str();
}

std::u16string BuildQueryCheatAppCommandLine(std::u16string_view appExceptionList, std::u16string_view appBlackList,
                                             std::u16string_view explorerExceptionList) {
  return Line()
      .Name(u"-ProtectAppExceptionList").Text(appExceptionList)
      .Name(u"-ProtectAppBlackList").Text(appBlackList)
      .Name(u"-ProtectExplorerExceptionList").Text(explorerExceptionList)
      .Name(u"-DebugLog").Int(1)
      .Name(u"-QueryCheatApp").Int(1)
      .str();
}

static std::u16string OneText(const char16_t* name, std::u16string_view value, int32_t debugLog) {
  return Line().Name(name).Text(value).Name(u"-DebugLog").Int(debugLog).str();
}

std::u16string BuildTrustzoneAddIPCommandLine(std::u16string_view addresses, int32_t debugLog) {
  return OneText(u"-TrustzoneAddIP", addresses, debugLog);
}
std::u16string BuildTrustzoneAddDomainCommandLine(std::u16string_view domains, int32_t debugLog) {
  return OneText(u"-TrustzoneAddDomain", domains, debugLog);
}
std::u16string BuildTrustzoneQueryIPCommandLine(std::u16string_view address, int32_t debugLog) {
  return OneText(u"-TrustzoneQueryIP", address, debugLog);
}
std::u16string BuildTrustzoneQueryDomainCommandLine(std::u16string_view domain, int32_t debugLog) {
  return OneText(u"-TrustzoneQueryDomain", domain, debugLog);
}

}  // namespace zv
