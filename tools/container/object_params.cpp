#include "tools/container/object_params.h"

#include <cstdint>

#include "common/text/text_util.h"

namespace zv {

namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f'; }

bool StartsWithIgnoreCase(std::u16string_view text, size_t pos, std::u16string_view word) {
  return text.size() - pos >= word.size() && EqualsIgnoreCaseAscii(text.substr(pos, word.size()), word);
}

void AppendCodePoint(std::u16string& out, uint32_t cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    out += u'\uFFFD';
  } else if (cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

std::u16string DecodeReferences(std::u16string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'&') {
      out += text[i];
      continue;
    }
    const size_t semi = text.find(u';', i);
    if (semi == std::u16string_view::npos || semi - i > 10) {
      out += text[i];
      continue;
    }
    const std::u16string_view ref = text.substr(i + 1, semi - i - 1);
    static const struct {
      std::u16string_view name;
      char16_t c;
    } named[] = {{u"amp", u'&'}, {u"lt", u'<'}, {u"gt", u'>'}, {u"quot", u'"'}, {u"apos", u'\''}, {u"nbsp", u'\u00A0'}};
    bool done = false;
    for (const auto& n : named) {
      if (ref == n.name) {
        out += n.c;
        done = true;
      }
    }
    if (!done && ref.size() >= 2 && ref[0] == u'#') {
      const bool hex = ref[1] == u'x' || ref[1] == u'X';
      uint32_t cp = 0;
      size_t digits = 0;
      bool ok = true;
      for (size_t k = hex ? 2 : 1; k < ref.size(); ++k, ++digits) {
        const char16_t c = ref[k];
        uint32_t d;
        if (c >= u'0' && c <= u'9') d = c - u'0';
        else if (hex && c >= u'a' && c <= u'f') d = c - u'a' + 10;
        else if (hex && c >= u'A' && c <= u'F') d = c - u'A' + 10;
        else { ok = false; break; }
        cp = cp * (hex ? 16 : 10) + d;
        if (cp > 0x10FFFF) cp = 0x110000;
      }
      if (ok && digits > 0) {
        AppendCodePoint(out, cp);
        done = true;
      }
    }
    if (done) {
      i = semi;
    } else {
      out += text[i];
    }
  }
  return out;
}

struct Tag {
  std::u16string name;  // lower case; "/object" for an end tag
  std::vector<ObjectParam> attributes;
};

// Reads the tag starting at html[pos] == '<'; pos ends after its '>'.
Tag ReadTag(std::u16string_view html, size_t& pos) {
  Tag tag;
  ++pos;
  size_t start = pos;
  while (pos < html.size() && !IsSpace(html[pos]) && html[pos] != u'>' &&
         !(html[pos] == u'/' && pos > start))
    ++pos;
  tag.name = ToLowerAscii(html.substr(start, pos - start));
  while (pos < html.size()) {
    while (pos < html.size() && (IsSpace(html[pos]) || html[pos] == u'/')) ++pos;
    if (pos >= html.size()) break;
    if (html[pos] == u'>') {
      ++pos;
      break;
    }
    ObjectParam attr;
    start = pos;
    while (pos < html.size() && !IsSpace(html[pos]) && html[pos] != u'=' && html[pos] != u'>' && html[pos] != u'/') ++pos;
    attr.name = std::u16string(html.substr(start, pos - start));
    while (pos < html.size() && IsSpace(html[pos])) ++pos;
    if (pos < html.size() && html[pos] == u'=') {
      ++pos;
      while (pos < html.size() && IsSpace(html[pos])) ++pos;
      if (pos < html.size() && (html[pos] == u'"' || html[pos] == u'\'')) {
        const char16_t quote = html[pos++];
        start = pos;
        while (pos < html.size() && html[pos] != quote) ++pos;
        attr.value = DecodeReferences(html.substr(start, pos - start));
        if (pos < html.size()) ++pos;
      } else {
        start = pos;
        while (pos < html.size() && !IsSpace(html[pos]) && html[pos] != u'>') ++pos;
        attr.value = DecodeReferences(html.substr(start, pos - start));
      }
    }
    if (!attr.name.empty()) tag.attributes.push_back(std::move(attr));
  }
  return tag;
}

}  // namespace

const std::u16string* FindParam(const std::vector<ObjectParam>& params, std::u16string_view name) {
  for (const auto& p : params)
    if (EqualsIgnoreCaseAscii(p.name, name)) return &p.value;
  return nullptr;
}

ObjectElement ParseObjectElement(std::u16string_view html) {
  ObjectElement element;
  size_t pos = 0;
  while (pos < html.size()) {
    if (html[pos] != u'<') {
      ++pos;
      continue;
    }
    if (StartsWithIgnoreCase(html, pos, u"<!--")) {
      const size_t end = html.find(u"-->", pos + 4);
      pos = end == std::u16string_view::npos ? html.size() : end + 3;
      continue;
    }
    const Tag tag = ReadTag(html, pos);
    if (!element.found) {
      if (tag.name != u"object") continue;
      element.found = true;
      if (const auto* id = FindParam(tag.attributes, u"id")) element.id = *id;
      if (const auto* cls = FindParam(tag.attributes, u"classid")) element.classId = *cls;
      continue;
    }
    if (tag.name == u"/object") break;
    if (tag.name != u"param") continue;
    const auto* name = FindParam(tag.attributes, u"name");
    if (name == nullptr || name->empty()) continue;
    const auto* value = FindParam(tag.attributes, u"value");
    element.params.push_back({*name, value ? *value : std::u16string()});
  }
  return element;
}

}  // namespace zv
