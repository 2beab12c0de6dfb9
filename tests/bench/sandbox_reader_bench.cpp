// Reading a large registry snapshot: XmlReader node by node, side by side
// with expat parsing the same bytes (told that they are UTF-16LE, since the
// declaration names UTF-8).
#include <benchmark/benchmark.h>

#include <random>

#include "../unit/sandbox_memory_registry.h"

#ifdef ZV_HAVE_EXPAT
#include <expat.h>
#endif

namespace {

using zv::test::MemoryKey;
using zv::test::MemoryRegistry;

std::vector<uint8_t> Units(std::u16string_view text) {
  std::vector<uint8_t> out;
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

// About 9 MB: 4,000 keys of 12 values of the common types.
const std::string& Snapshot() {
  static const std::string bytes = [] {
    MemoryRegistry registry;
    std::mt19937 rng(7);
    MemoryKey& root = *registry.Find(zv::RootKey::CurrentUser, u"Software\\Bench", true);
    for (int k = 0; k < 4000; ++k) {
      std::u16string keyName = u"Key {" + zv::FromUtf8(std::to_string(rng())) + u"}";
      MemoryKey& key = root.subkeys[u"Group" + zv::FromUtf8(std::to_string(k / 100))].subkeys[keyName];
      for (int v = 0; v < 12; ++v) {
        const std::u16string name = u"Value " + zv::FromUtf8(std::to_string(v)) + u" & more";
        switch (v % 6) {
          case 0: key.Set(name, zv::kRegSz, Units(u"C:\\Program Files\\Some <Vendor>\\app.exe \"%1\"")); break;
          case 1: key.Set(name, zv::kRegDword, {static_cast<uint8_t>(rng()), 0, 1, 0}); break;
          case 2: key.Set(name, zv::kRegBinary, std::vector<uint8_t>(24, static_cast<uint8_t>(rng()))); break;
          case 3: key.Set(name, zv::kRegMultiSz, Units(std::u16string(u"first\0second\0third\0", 19))); break;
          case 4: key.Set(name, zv::kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}); break;
          default: key.Set(name, zv::kRegExpandSz, Units(u"%SystemRoot%\\system32\\\xD55C\xAE00.dll")); break;
        }
      }
    }
    return zv::test::SaveToMemory(registry, u"HKEY_CURRENT_USER\\Software\\Bench");
  }();
  return bytes;
}

void BM_XmlReader(benchmark::State& state) {
  const std::string& bytes = Snapshot();
  size_t attributes = 0;
  for (auto _ : state) {
    zv::XmlReader reader;
    reader.SetLoader([&bytes](const std::u16string&, std::string& out) {
      out = bytes;
      return true;
    });
    attributes = 0;
    while (reader.Read())
      if (reader.NodeType() == zv::XmlNodeType::Attribute) ++attributes;
    benchmark::DoNotOptimize(attributes);
  }
  state.counters["attributes"] = static_cast<double>(attributes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_XmlReader)->Unit(benchmark::kMillisecond);

#ifdef ZV_HAVE_EXPAT
void XMLCALL CountAttributes(void* data, const XML_Char*, const XML_Char** attributes) {
  auto* count = static_cast<size_t*>(data);
  for (const XML_Char** a = attributes; *a; a += 2) ++*count;
}
void XMLCALL EndElement(void*, const XML_Char*) {}

void BM_Expat(benchmark::State& state) {
  const std::string& bytes = Snapshot();
  size_t attributes = 0;
  for (auto _ : state) {
    attributes = 0;
    XML_Parser parser = XML_ParserCreate("UTF-16LE");
    XML_SetUserData(parser, &attributes);
    XML_SetElementHandler(parser, CountAttributes, EndElement);
    if (XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), 1) != XML_STATUS_OK) {
      state.SkipWithError(XML_ErrorString(XML_GetErrorCode(parser)));
      XML_ParserFree(parser);
      break;
    }
    XML_ParserFree(parser);
    benchmark::DoNotOptimize(attributes);
  }
  state.counters["attributes"] = static_cast<double>(attributes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_Expat)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
