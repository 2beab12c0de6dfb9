#include "control/agentlink/services.h"

#include <array>
#include <vector>

#include "agent/core/command_line.h"
#include "agent/core/dispatch.h"
#include "agent/core/options.h"
#include "common/text/text_util.h"

namespace zv {

bool IsOneShotValue(std::u16string_view value) {
  return !value.empty() && value[0] != u'-' && value.find(u'\0') == std::u16string_view::npos;
}

bool CarriesOneShotCommand(std::u16string_view options) {
  if (options.find(u'\0') != std::u16string_view::npos) return false;
  // The agent's own choice: whatever it would not run as a one-shot command
  // would become a protection session.
  return ChooseCommand(ScanCommandLine(options)) != AgentCommand::Session;
}

std::u16string_view UpToNul(std::u16string_view value) { return value.substr(0, value.find(u'\0')); }

std::string EncodeTextForFile(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (const char16_t c : text) {
    if (c == u'\0') break;
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

std::u16string DecodeTextFromFile(std::string_view bytes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    units += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8));

  std::u16string result;
  const auto add = [&result](std::u16string_view line) {
    if (!result.empty()) result += u'\n';
    result += line;
  };
  size_t start = 0, i = 0;
  while (i < units.size()) {
    if (units[i] == u'\n') {
      add(std::u16string_view(units).substr(start, i - start));
      start = ++i;
    } else if (units[i] == u'\r') {
      add(std::u16string_view(units).substr(start, i - start));
      i += 2;  // the CR and whatever unit follows it
      if (i > units.size()) i = units.size();
      start = i;
    } else {
      ++i;
    }
  }
  if (start < units.size()) add(std::u16string_view(units).substr(start));
  return result;
}

namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsForbiddenChar(char16_t c) {
  if (c < 0x20) return true;
  switch (c) {
    case u':': case u'*': case u'?': case u'"': case u'<': case u'>': case u'|':
      return true;
    default:
      return false;
  }
}

bool IsDeviceName(std::u16string_view step) {
  // The device names count with any extension and with blanks before it.
  size_t end = step.find(u'.');
  if (end == std::u16string_view::npos) end = step.size();
  while (end > 0 && step[end - 1] == u' ') --end;
  const std::u16string copy = ToUpperAscii(step.substr(0, end));
  static const std::array<std::u16string_view, 6> plain = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
  for (const auto name : plain)
    if (copy == name) return true;
  if (copy.size() == 4 && (copy.starts_with(u"COM") || copy.starts_with(u"LPT")))
    return copy[3] >= u'0' && copy[3] <= u'9';
  return false;
}

bool IsAcceptableStep(std::u16string_view step) {
  if (step.empty()) return false;
  if (step.back() == u'.' || step.back() == u' ') return false;  // also "..", "..."
  for (const char16_t c : step)
    if (IsForbiddenChar(c)) return false;
  return !IsDeviceName(step);
}

}  // namespace

bool IsConfinedDocPath(std::u16string_view name) {
  if (name.empty() || IsSeparator(name.front())) return false;
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || IsSeparator(name[i])) {
      if (!IsAcceptableStep(name.substr(start, i - start))) return false;
      start = i + 1;
    }
  }
  return true;
}

std::u16string DocFilePath(std::u16string_view documents, std::u16string_view name) {
  std::u16string path(documents);
  path += u"\\zaduze\\doc\\";
  path += name;
  return path.size() < 260 ? path : std::u16string();
}

std::u16string OsVersionName(uint32_t major, uint32_t minor) {
  struct Row {
    uint32_t major, minor;
    const char16_t* name;
  };
  static const Row rows[] = {{5, 0, u"Windows 2000"}, {5, 1, u"Windows XP"}, {5, 2, u"Windows Server 2003"},
                             {6, 0, u"Windows Vista"}, {6, 1, u"Windows 7"}};
  for (const auto& r : rows)
    if (r.major == major && r.minor == minor) return r.name;
  return u"OS Unknown";
}

std::u16string FormatVersion2(std::u16string_view fileVersion, std::u16string_view buildDate,
                              std::u16string_view buildTime) {
  std::u16string out(fileVersion);
  out += u" (";
  out += buildDate;
  out += u',';
  out += buildTime;
  out += u')';
  return out;
}

int16_t ExitCodeToShort(uint32_t exitCode) { return static_cast<int16_t>(static_cast<uint16_t>(exitCode & 0xFFFF)); }

std::u16string VersionStringPath(uint16_t language, uint16_t codePage, std::u16string_view key) {
  static const char16_t digits[] = u"0123456789abcdef";
  std::u16string out = u"\\StringFileInfo\\";
  for (const uint16_t v : {language, codePage})
    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(v >> shift) & 0xF];
  out += u'\\';
  out += key;
  return out;
}

}  // namespace zv
