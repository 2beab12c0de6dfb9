#include <windows.h>

#include <shlobj.h>

#include "platform/shell_folders.h"
#include "platform/wide.h"

namespace zv {

std::u16string DocumentsFolderW() {
  wchar_t path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_PERSONAL, FALSE)) return {};
  return U16(path);
}

std::string DocumentsFolderA() {
  char path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathA(nullptr, path, CSIDL_PERSONAL, FALSE)) return {};
  return path;
}

std::u16string DocumentsSubfolderW(const char16_t* sub) {
  const std::u16string docs = DocumentsFolderW();
  if (docs.empty()) return {};
  std::u16string path = docs + u"\\" + sub;
  return path.size() < MAX_PATH ? path : std::u16string();
}

std::string DocumentsSubfolderA(const char* sub) {
  const std::string docs = DocumentsFolderA();
  if (docs.empty()) return {};
  std::string path = docs + "\\" + sub;
  return path.size() < MAX_PATH ? path : std::string();
}

void CreateFolderTree(const std::u16string& path) {
  if (!path.empty()) SHCreateDirectoryExW(nullptr, W(path), nullptr);
}

}  // namespace zv
