#include "agent/sandbox/snapshot_document.h"

#include <array>
#include <bit>
#include <cstdio>
#include <cstring>

#include "common/text/text_util.h"

static_assert(std::endian::native == std::endian::little, "snapshot files are UTF-16LE, written as stored");

namespace zv {

RootKey RootKeyFromName(std::u16string_view name) {
  static constexpr std::pair<std::u16string_view, RootKey> kRoots[] = {
      {u"HKEY_CLASSES_ROOT", RootKey::ClassesRoot},   {u"HKEY_CURRENT_USER", RootKey::CurrentUser},
      {u"HKEY_LOCAL_MACHINE", RootKey::LocalMachine}, {u"HKEY_USERS", RootKey::Users},
      {u"HKEY_CURRENT_CONFIG", RootKey::CurrentConfig},
  };
  for (const auto& [text, root] : kRoots)
    if (EqualsIgnoreCaseAscii(name, text)) return root;
  return RootKey::None;
}

std::u16string EscapeXmlText(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'"': out += u"&quot;"; break;
      case u'<': out += u"&lt;"; break;
      default: out += c;
    }
  }
  return out;
}

// The three entities begin with different letters after "&", so one pass that
// replaces whichever matches at each "&" and resumes after it gives what three
// separate passes ("&lt;", then "&quot;", then "&amp;") would.
std::u16string UnescapeXmlText(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] == u'&') {
      const std::u16string_view rest = text.substr(i);
      if (StartsWith(rest, u"&lt;")) {
        out += u'<';
        i += 4;
        continue;
      }
      if (StartsWith(rest, u"&quot;")) {
        out += u'"';
        i += 6;
        continue;
      }
      if (StartsWith(rest, u"&amp;")) {
        out += u'&';
        i += 5;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

std::u16string RegTypeName(uint32_t type) {
  switch (type) {
    case kRegNone:
    case kRegSz:
    case kRegLink: return u"REG_SZ";
    case kRegExpandSz: return u"REG_EXPAND_SZ";
    case kRegBinary: return u"REG_BINARY";
    case kRegDword:
    case kRegDwordBigEndian: return u"REG_DWORD";
    case kRegMultiSz: return u"REG_MULTI_SZ";
    case kRegResourceList: return u"REG_RESOURCE_LIST";
    case kRegResourceRequirementsList: return u"REG_RESOURCE_REQUIREMENTS_LIST";
    case kRegQword: return u"REG_QWORD";
    default: return u"";
  }
}

uint32_t RegTypeFromName(std::u16string_view name) {
  static constexpr uint32_t kNamed[] = {kRegSz,           kRegExpandSz, kRegBinary,
                                        kRegDword,        kRegMultiSz,  kRegResourceList,
                                        kRegResourceRequirementsList, kRegQword};
  for (uint32_t type : kNamed)
    if (EqualsIgnoreCaseAscii(name, RegTypeName(type))) return type;
  return kRegSz;
}

namespace {

constexpr char16_t kHexDigits[] = u"0123456789abcdef";

void AppendHexByte(std::u16string& out, uint8_t byte) {
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0F];
}

// UTF-16 units of the data (an odd last byte is not a unit).
size_t UnitCount(size_t size) { return size / 2; }
char16_t UnitAt(const uint8_t* data, size_t i) {
  return static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
}

std::u16string StringUpToZero(const uint8_t* data, size_t size) {
  std::u16string out;
  const size_t units = UnitCount(size);
  for (size_t i = 0; i < units; ++i) {
    const char16_t c = UnitAt(data, i);
    if (c == 0) break;
    out += c;
  }
  return out;
}

// The strings of a multi-string joined by CR LF. The list ends at the data's
// end; the zero characters that close it (one per string plus the empty
// string at the end) are not strings of their own, but an empty string in
// the middle or in front is kept, so that the text restores to the same data.
std::u16string JoinMultiString(const uint8_t* data, size_t size) {
  size_t units = UnitCount(size);
  while (units > 0 && UnitAt(data, units - 1) == 0) --units;
  std::u16string out;
  out.reserve(units + 8);
  for (size_t i = 0; i < units; ++i) {
    const char16_t c = UnitAt(data, i);
    if (c == 0)
      out += u"\r\n";
    else
      out += c;
  }
  return out;
}

std::array<uint8_t, 8> FixedBytes(const uint8_t* data, size_t size, size_t width) {
  std::array<uint8_t, 8> bytes{};
  if (size > 0) std::memcpy(bytes.data(), data, size < width ? size : width);
  return bytes;
}

std::u16string DwordText(const std::array<uint8_t, 8>& hexOrder, uint32_t number) {
  std::u16string out = u"0x";
  for (int i = 0; i < 4; ++i) AppendHexByte(out, hexOrder[i]);
  char decimal[16];
  std::snprintf(decimal, sizeof decimal, " (%d)", static_cast<int32_t>(number));
  for (const char* p = decimal; *p; ++p) out += static_cast<char16_t>(*p);
  return out;
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// `digits` hexadecimal digits from position `from`, most significant first.
std::optional<uint64_t> HexNumber(std::u16string_view text, size_t from, size_t digits) {
  if (text.size() < from + digits) return std::nullopt;
  uint64_t value = 0;
  for (size_t i = from; i < from + digits; ++i) {
    const int digit = HexValue(text[i]);
    if (digit < 0) return std::nullopt;
    value = (value << 4) | static_cast<uint64_t>(digit);
  }
  return value;
}

void AppendUnit(std::vector<uint8_t>& out, char16_t c) {
  out.push_back(static_cast<uint8_t>(c & 0xFF));
  out.push_back(static_cast<uint8_t>(c >> 8));
}

std::vector<uint8_t> LittleEndian(uint64_t value, size_t width) {
  std::vector<uint8_t> out(width);
  for (size_t i = 0; i < width; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
  return out;
}

}  // namespace

std::u16string FormatValueText(uint32_t type, const uint8_t* data, size_t size) {
  switch (type) {
    case kRegMultiSz: return JoinMultiString(data, size);
    case kRegBinary:
    case kRegResourceList:
    case kRegResourceRequirementsList: {
      std::u16string out;
      out.reserve(size * 3);
      for (size_t i = 0; i < size; ++i) {
        if (i > 0) out += u' ';
        AppendHexByte(out, data[i]);
      }
      return out;
    }
    case kRegDword: {
      const auto b = FixedBytes(data, size, 4);
      const uint32_t number = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
      return DwordText({b[3], b[2], b[1], b[0]}, number);
    }
    case kRegDwordBigEndian: {
      const auto b = FixedBytes(data, size, 4);
      const uint32_t number = (static_cast<uint32_t>(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
      return DwordText(b, number);
    }
    case kRegQword: {
      const auto b = FixedBytes(data, size, 8);
      std::u16string out = u"0x";
      for (int i = 7; i >= 0; --i) AppendHexByte(out, b[i]);
      return out;
    }
    default: return StringUpToZero(data, size);
  }
}

std::optional<std::vector<uint8_t>> ParseValueText(uint32_t type, std::u16string_view text) {
  switch (type) {
    case kRegBinary:
    case kRegResourceList:
    case kRegResourceRequirementsList: {
      if (text.empty()) return std::vector<uint8_t>{0};
      // "hh hh ... hh": 3n - 1 characters for n bytes.
      if ((text.size() + 1) % 3 != 0) return std::nullopt;
      std::vector<uint8_t> out((text.size() + 1) / 3);
      for (size_t i = 0; i < out.size(); ++i) {
        const int high = HexValue(text[3 * i]);
        const int low = HexValue(text[3 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        if (3 * i + 2 < text.size() && text[3 * i + 2] != u' ') return std::nullopt;
        out[i] = static_cast<uint8_t>((high << 4) | low);
      }
      return out;
    }
    case kRegDword: {
      if (text.empty()) return LittleEndian(0, 4);
      const auto number = HexNumber(text, 2, 8);
      if (!number) return std::nullopt;
      return LittleEndian(*number, 4);
    }
    case kRegQword: {
      if (text.empty()) return LittleEndian(0, 8);
      const auto number = HexNumber(text, 2, 16);
      if (!number) return std::nullopt;
      return LittleEndian(*number, 8);
    }
    case kRegMultiSz: {
      std::vector<uint8_t> out;
      out.reserve(2 * text.size() + 4);
      for (char16_t c : text) {
        if (c == u'\r') continue;
        AppendUnit(out, c == u'\n' ? u'\0' : c);
      }
      if (text.empty()) {
        AppendUnit(out, 0);
        return out;
      }
      AppendUnit(out, 0);
      AppendUnit(out, 0);
      return out;
    }
    default: {
      // The characters and two zero characters.
      std::vector<uint8_t> out;
      out.reserve(2 * text.size() + 4);
      for (char16_t c : text) AppendUnit(out, c);
      AppendUnit(out, 0);
      AppendUnit(out, 0);
      return out;
    }
  }
}

XmlElement& XmlElement::SetAttribute(std::u16string_view attribute, std::u16string value) {
  for (size_t i = 0; i < attributeNames.size(); ++i) {
    if (attributeNames[i] == attribute) {
      attributeValues[i] = std::move(value);
      return *this;
    }
  }
  attributeNames.emplace_back(attribute);
  attributeValues.push_back(std::move(value));
  return *this;
}

void XmlWriter::SetPath(const std::u16string& path) {
  if (!opened_) path_ = path;
}

void XmlWriter::AppendTag(std::u16string& line, const XmlElement& element) const {
  line += element.name;
  for (size_t i = 0; i < element.attributeNames.size(); ++i) {
    line += u' ';
    line += element.attributeNames[i];
    line += u"=\"";
    line += element.attributeValues[i];
    line += u'"';
  }
}

void XmlWriter::StartTagLine(const XmlElement& element) {
  line_.assign(static_cast<size_t>(depth_), u' ');
  line_ += u'<';
  AppendTag(line_, element);
}

bool XmlWriter::WriteStartElement(const XmlElement& element) {
  ++depth_;
  StartTagLine(element);
  line_ += u">\r\n";
  return WriteLine(line_);
}

bool XmlWriter::WriteEmptyElement(const XmlElement& element) {
  ++depth_;
  StartTagLine(element);
  line_ += u"/>\r\n";
  const bool ok = WriteLine(line_);
  --depth_;
  return ok;
}

bool XmlWriter::WriteEndElement(std::u16string_view name) {
  line_.assign(static_cast<size_t>(depth_ > 0 ? depth_ : 0), u' ');
  line_ += u"</";
  line_ += name;
  line_ += u">\r\n";
  const bool ok = WriteLine(line_);
  --depth_;
  return ok;
}

bool XmlWriter::WriteDeclaration(const XmlElement& element) {
  // Built apart from line_: the declaration is written from inside WriteLine
  // while line_ still holds the line that follows it.
  std::u16string line(static_cast<size_t>(depth_ > 0 ? depth_ : 0), u' ');
  line += u"<?";
  AppendTag(line, element);
  line += u"?>\r\n";
  return WriteLine(line);
}

bool XmlWriter::WriteLine(std::u16string_view text) {
  if (!opened_) {
    if (!sink_.Open(path_)) {
      writeFailed_ = true;
      return false;
    }
    opened_ = true;
  }
  if (!declarationWritten_) {
    declarationWritten_ = true;
    const int depth = depth_;
    depth_ = 0;
    XmlElement declaration(u"xml");
    declaration.SetAttribute(u"version", u"1.0").SetAttribute(u"encoding", u"UTF-8");
    WriteDeclaration(declaration);
    depth_ = depth;
  }
  if (sink_.Write(text.data(), text.size() * sizeof(char16_t))) return true;
  writeFailed_ = true;
  return false;
}

bool XmlWriter::Close() {
  const bool closed = !opened_ || sink_.Close();
  opened_ = false;
  declarationWritten_ = false;
  writeFailed_ = false;
  depth_ = 0;
  return closed;
}

}  // namespace zv
