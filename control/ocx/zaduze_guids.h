// The control's own fixed identifiers. The type library (zaduze.idl) carries
// the same values; a test compares them.
#pragma once

#include <windows.h>

namespace zv {

// {226602AD-68F4-443D-AA07-6AF1412B8192}
inline constexpr GUID LIBID_ZaduzeLib = {0x226602ad, 0x68f4, 0x443d, {0xaa, 0x07, 0x6a, 0xf1, 0x41, 0x2b, 0x81, 0x92}};
// {B418E46D-409B-4751-824F-852AEC265E8B}
inline constexpr GUID DIID_DZaduze = {0xb418e46d, 0x409b, 0x4751, {0x82, 0x4f, 0x85, 0x2a, 0xec, 0x26, 0x5e, 0x8b}};
// {5E2280A5-9ADE-42BE-BC20-5402F4C30635}
inline constexpr GUID DIID_DZaduzeEvents = {0x5e2280a5, 0x9ade, 0x42be, {0xbc, 0x20, 0x54, 0x02, 0xf4, 0xc3, 0x06, 0x35}};
// {9780D491-D11F-4447-889A-C2A0F3280C51}
inline constexpr GUID CLSID_Zaduze = {0x9780d491, 0xd11f, 0x4447, {0x88, 0x9a, 0xc2, 0xa0, 0xf3, 0x28, 0x0c, 0x51}};
// {3A09F545-C31F-458E-90CA-8113A981F0C8}
inline constexpr GUID CLSID_ZaduzePropPage = {0x3a09f545, 0xc31f, 0x458e, {0x90, 0xca, 0x81, 0x13, 0xa9, 0x81, 0xf0, 0xc8}};

inline constexpr wchar_t kControlProgId[] = L"ZADUZE.ZaduzeCtrl.1";
inline constexpr wchar_t kPropPageProgId[] = L"ZADUZE.ZaduzePropPage.1";

// Type library version as the library states it, and the version the control
// registers and unregisters it under.
inline constexpr WORD kTypeLibMajor = 1, kTypeLibMinor = 3;
inline constexpr WORD kRegisteredLibMajor = 1, kRegisteredLibMinor = 0;
inline constexpr LCID kTypeLibLcid = 0x0409;

// Activate when visible, set client site first, inside-out, can't link
// inside, recompose on resize.
inline constexpr DWORD kMiscStatus = 0x20191;

}  // namespace zv
