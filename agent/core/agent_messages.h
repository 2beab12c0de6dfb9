// The window-message protocol between the control and the agent. Plain
// numbers (not registered names): both sides must use exactly these.
#pragma once

#include <cstdint>

namespace zv {

constexpr uint32_t kWmUser = 0x0400;
constexpr uint32_t UM_REZUV_CLOSE = kWmUser + 72;      // 0x448
constexpr uint32_t UM_REZUV_KEEPALIVE = kWmUser + 73;  // 0x449
constexpr uint32_t UM_TRAYNOTIFY = kWmUser + 100;      // 0x464, the tray icon's callback

constexpr uintptr_t kCloseWParam = 9;
constexpr intptr_t kCloseLParam = 72;
constexpr uintptr_t kKeepAliveWParam = 74;
constexpr intptr_t kKeepAliveLParam = 75;

// The title of the agent's hidden main window; the control finds it by this.
constexpr char16_t kAgentWindowTitle[] = u"ZedudeVeri";

inline bool IsCloseRequest(uintptr_t wParam, intptr_t lParam) { return wParam == kCloseWParam && lParam == kCloseLParam; }
inline bool IsKeepAlive(uintptr_t wParam, intptr_t lParam) {
  return wParam == kKeepAliveWParam && lParam == kKeepAliveLParam;
}

}  // namespace zv
