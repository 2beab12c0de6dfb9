// The product's own registry key, SOFTWARE\Zaduze, as both builds of the
// control read it.
#pragma once

#include <windows.h>

#include "platform/handles.h"

namespace zv {

// Opens SOFTWARE\Zaduze under `root` (HKEY_LOCAL_MACHINE or
// HKEY_CURRENT_USER) in the 64-bit view of the registry, from the 64-bit and
// the 32-bit build alike: on 64-bit Windows the 32-bit control would
// otherwise read HKLM\SOFTWARE\WOW6432Node\Zaduze, which a 64-bit reg.exe, a
// 64-bit installer or a group-policy registry item never write. 32-bit
// Windows has one view only and ignores the flag. HKEY_CURRENT_USER\SOFTWARE
// is shared by both views anyway. The result of RegOpenKeyExW.
inline LONG OpenZaduzeKey(HKEY root, REGSAM access, UniqueRegKey& key) {
  return RegOpenKeyExW(root, L"SOFTWARE\\Zaduze", 0, access | KEY_WOW64_64KEY, key.put());
}

}  // namespace zv
