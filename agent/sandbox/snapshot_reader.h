// XmlReader: the line-oriented pull reader of registry snapshots.
//
// Not a general XML parser. Each Read() performs one small tokenizer step on
// the current line and reports at most one node; nesting, end-tag names and
// the declaration are never checked (the consumer builds structure from the
// node sequence). Lines end only at CR LF; characters after the last CR LF are
// never parsed. Names and values are delivered still escaped.
//
// Attribute values: a value opened by a double quote or an apostrophe ends
// only at the same quote character, so apostrophes, ">" and lone CR or LF
// characters inside it are kept; a value that runs over the end of a line
// continues on the next one with CR LF in between, empty lines included.
// Together with the writer (which escapes "&", '"' and "<") every value the
// writer produces reads back whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zv {

enum class XmlNodeType { None = 0, StartElement = 1, EndElement = 2, Attribute = 3, Text = 4, Declaration = 5, Comment = 6, CData = 7 };

class XmlReader {
 public:
  // Reads a whole file into `bytes`; false when it cannot be opened or read.
  using FileLoader = std::function<bool(const std::u16string& path, std::string& bytes)>;
  // Presents an error text to the user (a modal message box on Windows).
  using ErrorPresenter = std::function<void(const std::u16string& text)>;

  XmlReader() = default;
  XmlReader(const XmlReader&) = delete;
  XmlReader& operator=(const XmlReader&) = delete;

  void SetLoader(FileLoader loader) { loader_ = std::move(loader); }
  void SetErrorPresenter(ErrorPresenter presenter) { presenter_ = std::move(presenter); }

  // No effect while the reader is opened.
  void SetPath(const std::u16string& path);
  // One step; false at the end of the document, on an error, or when the file
  // cannot be loaded.
  bool Read();
  // A later Read() loads the file again.
  void Close() { opened_ = false; }

  void SetShowErrors(bool show) { showErrors_ = show; }

  XmlNodeType NodeType() const { return nodeType_; }
  const std::u16string& ElementName() const { return elementName_; }
  const std::u16string& AttributeName() const { return attributeName_; }
  const std::u16string& AttributeValue() const { return attributeValue_; }
  const std::u16string& Text() const { return text_; }
  const std::u16string& DeclarationText() const { return declaration_; }
  const std::u16string& ErrorText() const { return error_; }
  int LineNumber() const { return lineNumber_; }

 private:
  bool Load();
  // The tokenizer step on the current line; false with `message` on an error.
  bool Step(const char*& message);

  FileLoader loader_;
  ErrorPresenter presenter_;
  std::u16string path_;
  bool opened_ = false;
  bool showErrors_ = false;

  std::u16string document_;
  size_t readPos_ = 0;     // start of the next line in document_
  size_t lineStart_ = 0;   // current line: document_[lineStart_, lineStart_ + lineLength_)
  size_t lineLength_ = 0;
  bool lineActive_ = false;  // false: the next step fetches a new line
  size_t linePos_ = 0;
  int lineNumber_ = 0;

  XmlNodeType nodeType_ = XmlNodeType::None;
  std::u16string elementName_;
  std::u16string attributeName_;
  std::u16string attributeValue_;
  std::u16string text_;
  std::u16string declaration_;
  std::u16string error_;

  bool insideTag_ = false;
  bool valuePending_ = false;
  bool inComment_ = false;
  bool inCData_ = false;
  bool content_ = false;
  bool valueStarted_ = false;  // the character after "=" has been taken
  char16_t quote_ = 0;         // the quote that opened the value, 0 for an unquoted one
};

}  // namespace zv
