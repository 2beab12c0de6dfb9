// Text helpers of the portable core.
//
// The core keeps every text as std::u16string: UTF-16 code units are what the
// Windows side hands us (wchar_t is 16 bits there) and what the snapshot files
// store, while wchar_t is 32 bits on Linux where the core is tested natively.
// The Windows layer converts by reinterpretation (see platform/wide.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zv {

// Letters a to z become A to Z; every other code unit stays as it is.
char16_t AsciiUpper(char16_t c);
std::u16string ToUpperAscii(std::u16string_view text);

// Letters A to Z become a to z; every other code unit stays as it is.
char16_t AsciiLower(char16_t c);
std::u16string ToLowerAscii(std::u16string_view text);

// Case-insensitive comparison that folds only the letters a to z.
bool EqualsIgnoreCaseAscii(std::u16string_view a, std::u16string_view b);

// _wtoi: leading blanks, an optional sign, decimal digits up to the first
// other character; no digits give 0; values beyond 32 bits saturate.
int32_t WToI(std::u16string_view text);

bool StartsWith(std::u16string_view text, std::u16string_view prefix);

// UTF-8 <-> UTF-16 for tests, fixtures and the native log stand-in.
// Unpaired surrogates and invalid UTF-8 become U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

}  // namespace zv

namespace zv {
// Upper-cases a-z of the text in place and returns it.
inline std::u16string& ToUpperAsciiInPlace(std::u16string& text) {
  for (auto& c : text) c = AsciiUpper(c);
  return text;
}
}  // namespace zv
