// The registry snapshot document: its bytes, its escaping, the text form of
// every registry value type, and the line writer that produces it.
//
// A snapshot is UTF-16LE text without a byte-order mark, CR LF line ends, the
// declaration first, one element per line:
//
//   <?xml version="1.0" encoding="UTF-8"?>
//    <registry>
//     <k name="HKEY_CURRENT_USER">
//      <k name="Software">
//       <v name="Count" value="0x00000043 (67)" type="REG_DWORD"/>
//       <k name="Empty"/>
//      </k>
//     </k>
//    </registry>
//
// Only "&", the double quote and "<" are escaped in attribute texts. Values
// may hold apostrophes, ">" and line breaks as they are: the reader ends a
// quoted value only at the quote character that opened it and keeps every
// line break inside it (see snapshot_reader.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// Registry value types as Windows numbers them.
enum RegType : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegDwordBigEndian = 5,
  kRegLink = 6,
  kRegMultiSz = 7,
  kRegResourceList = 8,
  kRegFullResourceDescriptor = 9,
  kRegResourceRequirementsList = 10,
  kRegQword = 11,
};

// The five predefined root keys a snapshot path may begin with.
enum class RootKey { None, ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// "HKEY_CURRENT_USER" and the other four, without regard to case; anything
// else is RootKey::None.
RootKey RootKeyFromName(std::u16string_view name);

// "&" -> "&amp;", '"' -> "&quot;", "<" -> "&lt;"; nothing else.
std::u16string EscapeXmlText(std::u16string_view text);
// The exact inverse of EscapeXmlText; other "&" sequences stay as they are.
std::u16string UnescapeXmlText(std::u16string_view text);

// Type name written in "type" (empty for a type without a name) and the type
// a name reads back as (unknown or empty: REG_SZ). Names ignore case.
std::u16string RegTypeName(uint32_t type);
uint32_t RegTypeFromName(std::u16string_view name);

// The text saved in "value" for raw registry data of a type.
std::u16string FormatValueText(uint32_t type, const uint8_t* data, size_t size);
inline std::u16string FormatValueText(uint32_t type, const std::vector<uint8_t>& data) {
  return FormatValueText(type, data.data(), data.size());
}

// The raw data a "value" text restores to (type as RegTypeFromName gives it).
// Malformed binary, DWORD and QWORD texts (a non-hexadecimal digit, a
// separator other than a blank, a text shorter than its fixed width) give
// nothing: the caller reports the value as not set.
std::optional<std::vector<uint8_t>> ParseValueText(uint32_t type, std::u16string_view text);

// The writer's element record. Setting a present attribute (exact name)
// replaces its value in place; a new one is appended.
struct XmlElement {
  std::u16string name;
  std::vector<std::u16string> attributeNames;
  std::vector<std::u16string> attributeValues;

  XmlElement() = default;
  explicit XmlElement(std::u16string elementName) : name(std::move(elementName)) {}
  XmlElement& SetAttribute(std::u16string_view attribute, std::u16string value);
};

// Where the writer's bytes go: a file on Windows, memory in tests.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Creates or truncates the destination.
  virtual bool Open(const std::u16string& path) = 0;
  virtual bool Write(const void* data, size_t size) = 0;
  // False when what was written may not have reached its destination whole
  // (a file that could not be flushed to the disk).
  virtual bool Close() = 0;
};

// Writes a snapshot line by line: every line is one sink write of its whole
// text, CR LF included. The sink is opened at the first line, and the
// declaration goes in front of that line, so a writer that writes nothing
// leaves no file. Attribute values are written as given: callers escape them.
class XmlWriter {
 public:
  explicit XmlWriter(ByteSink& sink) : sink_(sink) {}
  XmlWriter(const XmlWriter&) = delete;
  XmlWriter& operator=(const XmlWriter&) = delete;
  ~XmlWriter() { Close(); }

  // No effect while the file is open.
  void SetPath(const std::u16string& path);

  bool WriteStartElement(const XmlElement& element);
  bool WriteEmptyElement(const XmlElement& element);
  bool WriteEndElement(std::u16string_view name);
  bool WriteDeclaration(const XmlElement& element);
  bool WriteLine(std::u16string_view text);
  // The sink's close result (true when nothing was open).
  bool Close();

  int Depth() const { return depth_; }
  // A line could not be written since the last Close(): the file lacks it.
  bool WriteFailed() const { return writeFailed_; }

 private:
  void AppendTag(std::u16string& line, const XmlElement& element) const;
  // line_ becomes the element's tag, indented by the depth, without its end.
  void StartTagLine(const XmlElement& element);

  ByteSink& sink_;
  std::u16string path_;
  bool opened_ = false;
  bool declarationWritten_ = false;
  int depth_ = 0;
  bool writeFailed_ = false;
  std::u16string line_;  // reused line buffer
};

}  // namespace zv
