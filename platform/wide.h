// The core keeps texts as std::u16string; Windows wants wchar_t, which is the
// same 16-bit code unit there. These helpers cross that line without copying
// where they can.
#pragma once

#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wchar_t is a UTF-16 code unit");

namespace zv {

inline const wchar_t* W(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline wchar_t* W(std::u16string& text) { return reinterpret_cast<wchar_t*>(text.data()); }
// A zero-terminated UTF-16 constant (for example a class name or value name).
inline const wchar_t* W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
// The code units of a view, not zero-terminated: for calls that take a length.
inline const wchar_t* WData(std::u16string_view text) { return reinterpret_cast<const wchar_t*>(text.data()); }

inline std::u16string U16(const wchar_t* text) {
  return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}
inline std::u16string U16(const wchar_t* text, size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}
inline std::u16string U16(const std::wstring& text) { return U16(text.c_str(), text.size()); }
inline std::wstring Wide(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

}  // namespace zv
