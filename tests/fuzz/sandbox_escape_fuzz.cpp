// Any text survives escaping, and a value line written with it reads back
// whole: quotes, apostrophes, ">", CR and LF in any arrangement.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../unit/sandbox_memory_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));

  const std::u16string escaped = zv::EscapeXmlText(text);
  if (zv::UnescapeXmlText(escaped) != text) std::abort();
  (void)zv::UnescapeXmlText(text);  // any text, escaped or not

  // The text as a value name and a value text of one element.
  zv::test::MemorySink sink;
  {
    zv::XmlWriter writer(sink);
    zv::XmlElement element(u"v");
    element.SetAttribute(u"name", escaped).SetAttribute(u"value", escaped);
    writer.WriteEmptyElement(element);
  }
  zv::XmlReader reader;
  reader.SetLoader([&sink](const std::u16string&, std::string& out) {
    out = sink.bytes;
    return true;
  });
  int attributes = 0, ends = 0;
  while (reader.Read()) {
    if (reader.NodeType() == zv::XmlNodeType::Attribute && reader.ElementName() == u"v") {
      if (zv::UnescapeXmlText(reader.AttributeValue()) != text) std::abort();
      ++attributes;
    }
    if (reader.NodeType() == zv::XmlNodeType::EndElement) ++ends;
  }
  if (!reader.ErrorText().empty() || attributes != 2 || ends != 1) std::abort();
  return 0;
}
