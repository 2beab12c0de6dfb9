// The snapshot reader and the replay on any bytes: no crash, no read outside
// the text, and an end in a bounded number of steps (a step that neither
// advances nor changes state would loop for ever).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../unit/sandbox_memory_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const size_t limit = 4 * (size / 2) + 16;

  zv::XmlReader reader;
  reader.SetLoader([&bytes](const std::u16string&, std::string& out) {
    out = bytes;
    return true;
  });
  size_t steps = 0;
  while (reader.Read()) {
    if (++steps > limit) std::abort();
    // Every node's data must be readable.
    volatile size_t touched = reader.ElementName().size() + reader.AttributeName().size() +
                              reader.AttributeValue().size() + reader.Text().size() + reader.DeclarationText().size();
    (void)touched;
  }
  if (!reader.ErrorText().empty() && reader.ErrorText().rfind(u"Parse error in line ", 0) != 0) std::abort();

  // The replay on the same bytes: every handle it opens is closed.
  zv::test::MemoryRegistry registry;
  zv::test::RestoreFromMemory(registry, bytes);
  if (registry.openKeys != 0) std::abort();
  return 0;
}
