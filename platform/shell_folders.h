// The user's Documents folder and the program folders below it.
#pragma once

#include <string>

namespace zv {

// SHGetSpecialFolderPath(CSIDL_PERSONAL) without creation; empty on failure.
std::u16string DocumentsFolderW();
std::string DocumentsFolderA();

// "<documents>\<sub>" as "%s\%s" into a buffer of 260 characters: a result
// that would not fit is returned empty, like a missing Documents folder.
std::u16string DocumentsSubfolderW(const char16_t* sub);
std::string DocumentsSubfolderA(const char* sub);

// SHCreateDirectoryExW; every error, an existing folder included, is ignored.
void CreateFolderTree(const std::u16string& path);

inline constexpr char16_t kLogFolderW[] = u"zaduze\\log";
inline constexpr char kLogFolderA[] = "zaduze\\log";
inline constexpr char16_t kSandboxFolderW[] = u"zaduze\\sandbox";
inline constexpr char16_t kDocFolderW[] = u"zaduze\\doc";

}  // namespace zv
