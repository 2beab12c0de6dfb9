// Value texts of any form: parsing never reads outside the text, and what it
// accepts has the size of its type and formats back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "agent/sandbox/snapshot_document.h"
#include "common/text/text_util.h"

namespace {

std::u16string Lower(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out)
    if (c >= u'A' && c <= u'F') c = static_cast<char16_t>(c - u'A' + u'a');
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const uint32_t types[] = {1, 2, 3, 4, 7, 8, 10, 11};
  const uint32_t type = types[data[0] % 8];
  std::u16string text;
  // Odd bytes are taken as ASCII characters so that hexadecimal forms are found quickly.
  for (size_t i = 1; i < size; ++i) text += static_cast<char16_t>(data[i]);

  const auto bytes = zv::ParseValueText(type, text);
  if (!bytes) {
    if (type != 3 && type != 4 && type != 8 && type != 10 && type != 11) std::abort();  // strings always parse
    return 0;
  }
  switch (type) {
    case 3:
    case 8:
    case 10:
      if (text.empty()) {
        if (bytes->size() != 1 || (*bytes)[0] != 0) std::abort();
      } else if (zv::FormatValueText(type, *bytes) != Lower(text)) {
        std::abort();
      }
      break;
    case 4:
      if (bytes->size() != 4) std::abort();
      if (!text.empty() && zv::FormatValueText(4, *bytes).substr(2, 8) != Lower(text.substr(2, 8))) std::abort();
      break;
    case 11:
      if (bytes->size() != 8) std::abort();
      if (!text.empty() && zv::FormatValueText(11, *bytes).substr(2) != Lower(text.substr(2, 16))) std::abort();
      break;
    case 7:
      if (bytes->size() % 2 != 0 || bytes->size() < 2) std::abort();
      break;
    default:
      if (bytes->size() != 2 * text.size() + 4) std::abort();
      if (zv::FormatValueText(type, *bytes) != text.substr(0, text.find(u'\0'))) std::abort();
  }
  return 0;
}
