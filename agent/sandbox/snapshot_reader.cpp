#include "agent/sandbox/snapshot_reader.h"

#include <cstdio>
#include <cstring>

namespace zv {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\n' || c == u'\r'; }

std::u16string Ascii(const char* text) {
  std::u16string out;
  for (; *text; ++text) out += static_cast<char16_t>(static_cast<unsigned char>(*text));
  return out;
}

// Index of `pattern` in s[from, length), or length.
size_t Find(const char16_t* s, size_t from, size_t length, std::u16string_view pattern) {
  if (length < pattern.size()) return length;
  for (size_t j = from; j + pattern.size() <= length; ++j)
    if (s[j] == pattern[0] && std::u16string_view(s + j, pattern.size()) == pattern) return j;
  return length;
}

bool Fail(const char*& message, const char* text) {
  message = text;
  return false;
}

}  // namespace

void XmlReader::SetPath(const std::u16string& path) {
  if (!opened_) path_ = path;
}

bool XmlReader::Load() {
  std::string bytes;
  if (!loader_ || !loader_(path_, bytes)) return false;
  document_.resize(bytes.size() / 2);
  if (!document_.empty()) std::memcpy(document_.data(), bytes.data(), document_.size() * 2);
  readPos_ = 0;
  lineStart_ = lineLength_ = linePos_ = 0;
  lineActive_ = false;
  lineNumber_ = 0;
  nodeType_ = XmlNodeType::None;
  insideTag_ = valuePending_ = inComment_ = inCData_ = content_ = valueStarted_ = false;
  quote_ = 0;
  elementName_.clear();
  attributeName_.clear();
  attributeValue_.clear();
  text_.clear();
  declaration_.clear();
  error_.clear();
  opened_ = true;
  return true;
}

bool XmlReader::Read() {
  if (!opened_ && !Load()) return false;
  if (!lineActive_) {
    // The next line ends at the next CR LF; without one the document ends.
    const char16_t* s = document_.data();
    const size_t size = document_.size();
    size_t end = readPos_;
    while (end + 1 < size && !(s[end] == u'\r' && s[end + 1] == u'\n')) ++end;
    if (end + 1 >= size) {
      ++lineNumber_;
      nodeType_ = XmlNodeType::None;
      return false;
    }
    lineStart_ = readPos_;
    lineLength_ = end - readPos_;
    readPos_ = end + 2;
    ++lineNumber_;
    linePos_ = 0;
    lineActive_ = true;
  }
  const char* message = "";
  if (Step(message)) return true;
  char head[48];
  std::snprintf(head, sizeof head, "Parse error in line %d : (", lineNumber_);
  error_ = Ascii(head) + Ascii(message) + u")";
  if (showErrors_ && presenter_) presenter_(error_);
  return false;
}

bool XmlReader::Step(const char*& message) {
  nodeType_ = XmlNodeType::None;
  const char16_t* s = document_.data() + lineStart_;
  const size_t n = lineLength_;
  size_t i = linePos_;

  if (i >= n) {
    // A quoted value that is still open goes on over the line end.
    if (valuePending_ && valueStarted_ && quote_ != 0) attributeValue_ += u"\r\n";
    lineActive_ = false;
    return true;
  }
  if (insideTag_ && !valuePending_) {
    while (i < n && IsBlank(s[i])) ++i;
    if (i >= n) {
      lineActive_ = false;
      return true;
    }
  }
  if (inComment_ || inCData_) {
    const std::u16string_view close = inComment_ ? u"-->" : u"]]>";
    const size_t j = Find(s, i, n, close);
    if (j < n) {
      linePos_ = j + 3;
      inComment_ = inCData_ = valuePending_ = insideTag_ = false;
      content_ = true;
      text_.clear();
    } else {
      nodeType_ = inComment_ ? XmlNodeType::Comment : XmlNodeType::CData;
      lineActive_ = false;
    }
    return true;
  }
  if (valuePending_) {
    if (!valueStarted_) {
      while (i < n && IsBlank(s[i])) ++i;
      if (i >= n) {
        linePos_ = n;
        return true;
      }
      valueStarted_ = true;
      if (s[i] == u'"' || s[i] == u'\'') {
        quote_ = s[i];
      } else {
        quote_ = 0;
        attributeValue_ += s[i];
      }
      linePos_ = i + 1;
      return true;
    }
    size_t j = i;
    if (quote_ != 0) {
      while (j < n && s[j] != quote_) ++j;
    } else {
      while (j < n && s[j] != u'"' && s[j] != u'\'' && s[j] != u'\n' && s[j] != u'\r' && s[j] != u'>') ++j;
    }
    attributeValue_.append(s + i, j - i);
    if (j >= n) {
      if (quote_ != 0) {
        linePos_ = n;  // the line-end step adds the CR LF
      } else {
        attributeValue_ += u"\r\n";
        lineActive_ = false;
      }
      return true;
    }
    valuePending_ = false;
    valueStarted_ = false;
    nodeType_ = XmlNodeType::Attribute;
    linePos_ = (s[j] == u'>' && quote_ == 0) ? j : j + 1;
    quote_ = 0;
    return true;
  }
  if (content_) {
    size_t j = i;
    while (j < n && s[j] != u'\n' && s[j] != u'\r' && s[j] != u'<') ++j;
    if (j < n && s[j] == u'<') content_ = false;
    text_.assign(s + i, j - i);
    nodeType_ = text_.empty() ? XmlNodeType::None : XmlNodeType::Text;
    // A lone CR or LF in character data ends the text and is passed over;
    // stopping on it would leave the reader on the same character for ever.
    linePos_ = (j < n && s[j] != u'<') ? j + 1 : j;
    return true;
  }

  const char16_t c = s[i];
  if (c == u'<') {
    if (insideTag_) return Fail(message, "Bad '<' symbol");
    insideTag_ = true;
    inCData_ = inComment_ = content_ = valuePending_ = false;
    valueStarted_ = false;
    ++i;
    while (i < n && IsBlank(s[i])) ++i;
    if (i >= n) return Fail(message, "'<' symbol not allowed at the end of a line");
    if (n - i >= 3 && std::u16string_view(s + i, 3) == u"!--") {
      nodeType_ = XmlNodeType::Comment;
      inComment_ = true;
      linePos_ = i + 3;
      return true;
    }
    if (n - i >= 8 && std::u16string_view(s + i, 8) == u"![CDATA[") {
      nodeType_ = XmlNodeType::CData;
      inCData_ = true;
      linePos_ = i + 8;
      return true;
    }
    size_t j = i;
    if (j < n && s[j] == u'/') ++j;
    while (j < n && !IsBlank(s[j]) && s[j] != u'>' && s[j] != u'/') ++j;
    if (j == i) return Fail(message, "Empty element name");
    if (s[i] == u'?' || s[i] == u'!') {
      nodeType_ = XmlNodeType::Declaration;
      declaration_.assign(s + i, j - i);
      elementName_.clear();
    } else if (s[i] == u'/') {
      nodeType_ = XmlNodeType::EndElement;
      elementName_.assign(s + i + 1, j - i - 1);
    } else {
      nodeType_ = XmlNodeType::StartElement;
      elementName_.assign(s + i, j - i);
    }
    linePos_ = j;
    return true;
  }
  if (c == u'?') {
    linePos_ = i + 1;
    return true;
  }
  if (c == u'/') {
    // An empty-element end; the element name stays the current one. The scan
    // starts after the slash so that a slash at the line end is passed over.
    size_t j = i + 1;
    while (j < n && !IsBlank(s[j]) && s[j] != u'>') ++j;
    nodeType_ = XmlNodeType::EndElement;
    linePos_ = j;
    return true;
  }
  if (c == u'>') {
    valuePending_ = insideTag_ = false;
    valueStarted_ = false;
    content_ = true;
    text_.clear();
    linePos_ = i + 1;
    return true;
  }
  if (insideTag_) {
    if (c == u'=') {
      valuePending_ = true;
      valueStarted_ = false;
      linePos_ = i + 1;
      return true;
    }
    size_t j = i;
    while (j < n && !IsBlank(s[j]) && s[j] != u'=' && s[j] != u'>') ++j;
    if (j == i) return Fail(message, "Missing attribute name before '='");
    attributeName_.assign(s + i, j - i);
    attributeValue_.clear();
    linePos_ = j;
    return true;
  }
  return Fail(message, "Syntax error");
}

}  // namespace zv
