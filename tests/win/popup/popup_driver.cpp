// Shows the notification popup the way the control does and reports its state
// to a file, for the Wine scenario that looks at it, clicks and drags it.
//
//   popup_driver [-text N] [-fade MS] [-display MS] [-alpha A] [-status FILE] [-seconds S]
//
// N picks one of the control's messages (0 start, 1 session started,
// 2 session stopped) or 3, a long text. The owner window is titled
// "ZvPopupDriver" and takes these posted messages:
//   WM_APP + 1, wParam N      set the message text N
//   WM_APP + 2, wParam A      ShowAlert again (maximum alpha A, 0: the -alpha value)
//   WM_CLOSE                  end
// The status file is rewritten every 50 ms with lines "name values...".
// The driver is DPI aware: under Wine it is laid out for
// HKCU\Control Panel\Desktop LogPixels, as a DPI-aware browser would be.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "control/popup/alert_dialog.h"
#include "platform/window.h"

namespace {

using namespace zv;

const wchar_t* const kTexts[] = {
    L"Zaduze \xAC00 \xC2DC\xC791\xB418\xC5C8\xC2B5\xB2C8\xB2E4.",            // Zaduze 가 시작되었습니다.
    L"Zaduze \xAC10\xC2DC\xAC00 \xC2DC\xC791\xB418\xC5C8\xC2B5\xB2C8\xB2E4.",  // Zaduze 감시가 시작되었습니다.
    L"Zaduze \xAC10\xC2DC\xAC00 \xC885\xB8CC\xB418\xC5C8\xC2B5\xB2C8\xB2E4.",  // Zaduze 감시가 종료되었습니다.
    L"MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM",
};

// Counts the link's notifications on their way to the popup.
class CountingAlert : public CFirefoxAlert {
 public:
  using CFirefoxAlert::CFirefoxAlert;
  int clicks = 0;
  WPARAM lastId = 0;

 protected:
  bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override {
    if (msg == WM_ALERT_LINK_CLICKED) {
      ++clicks;
      lastId = wParam;
    }
    return CFirefoxAlert::HandleMessage(msg, wParam, lParam, result);
  }
};

struct Settings {
  int text = 0;
  unsigned fade = 1000;
  unsigned display = 2000;
  int alpha = 255;
  std::wstring status;
  int seconds = 60;
};

class Driver : public Window {
 public:
  explicit Driver(const Settings& s) : settings_(s), alert_(nullptr) {}

  bool Start() {
    WindowClass cls;
    cls.name = L"ZvPopupDriverClass";
    if (!Create(cls, 0, L"ZvPopupDriver", WS_OVERLAPPEDWINDOW, RECT{0, 0, 200, 100}, nullptr, nullptr)) return false;
    if (!alert_.Create(hwnd())) return false;
    alert_.SetAlertStyle(&style_);
    alert_.SetMessageText(kTexts[settings_.text & 3]);
    SetTimer(hwnd(), 1, 50, nullptr);
    SetTimer(hwnd(), 2, settings_.seconds * 1000u, nullptr);
    Show(settings_.alpha);
    return true;
  }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    switch (msg) {
      case WM_APP + 1:
        alert_.SetMessageText(kTexts[wParam & 3]);
        WriteStatus();
        return 0;
      case WM_APP + 2:
        Show(wParam != 0 ? static_cast<int>(wParam) : settings_.alpha);
        return 0;
      case WM_TIMER:
        if (wParam == 1) WriteStatus();
        if (wParam == 2) DestroyWindow(hwnd());
        return 0;
      case WM_CLOSE:
        DestroyWindow(hwnd());
        return 0;
      case WM_DESTROY:
        alert_.Destroy();
        PostQuitMessage(0);
        return 0;
      default:
        return Default(msg, wParam, lParam);
    }
  }

 private:
  void Show(int alpha) {
    const bool shown = alert_.ShowAlert(settings_.fade, settings_.display, static_cast<uint8_t>(alpha), FALSE);
    ++shows_;
    if (!shown) ++refused_;
  }

  // "text NAME W H CW CH": the extent of the control's text in the font it
  // draws with, and the size of its client area.
  static void TextFit(FILE* f, const char* name, HWND w) {
    wchar_t text[256] = {};
    const int length = GetWindowTextW(w, text, 256);
    RECT client{};
    GetClientRect(w, &client);
    SIZE extent{};
    const HDC dc = GetDC(w);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)));
    GetTextExtentPoint32W(dc, text, length, &extent);
    SelectObject(dc, old);
    ReleaseDC(w, dc);
    std::fprintf(f, "text %s %ld %ld %ld %ld\n", name, extent.cx, extent.cy, client.right, client.bottom);
  }

  static void Rect(FILE* f, const char* name, HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    std::fprintf(f, "%s %ld %ld %ld %ld\n", name, r.left, r.top, r.right, r.bottom);
  }

  void WriteStatus() {
    if (settings_.status.empty() || alert_.hwnd() == nullptr) return;
    const std::wstring temp = settings_.status + L".tmp";
    FILE* f = _wfopen(temp.c_str(), L"w");
    if (f == nullptr) return;
    const HWND a = alert_.hwnd();
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    std::fprintf(f, "work %ld %ld %ld %ld\n", work.left, work.top, work.right, work.bottom);
    Rect(f, "rect", a);
    Rect(f, "title", GetDlgItem(a, IDC_ALERT_TITLE));
    Rect(f, "picture", GetDlgItem(a, IDC_ALERT_PICTURE));
    Rect(f, "link", GetDlgItem(a, IDC_ALERT_LINK));
    TextFit(f, "title", GetDlgItem(a, IDC_ALERT_TITLE));
    TextFit(f, "link", GetDlgItem(a, IDC_ALERT_LINK));
    std::fprintf(f, "dpi %u\n", alert_.Dpi());
    std::fprintf(f, "visible %d\n", IsWindowVisible(a) ? 1 : 0);
    std::fprintf(f, "alpha %d\n", alert_.Alpha());
    std::fprintf(f, "topmost %d\n", (GetWindowLongPtrW(a, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
    std::fprintf(f, "layered %d\n", (GetWindowLongPtrW(a, GWL_EXSTYLE) & WS_EX_LAYERED) ? 1 : 0);
    std::fprintf(f, "foreground %d\n", GetForegroundWindow() == a ? 1 : 0);
    std::fprintf(f, "clicks %d %d\n", alert_.clicks, static_cast<int>(alert_.lastId));
    std::fprintf(f, "dragging %d\n", alert_.IsDragging() ? 1 : 0);
    std::fprintf(f, "timers %d %d %d\n", static_cast<int>(alert_.FadeInTimer()),
                 static_cast<int>(alert_.DisplayTimer()), static_cast<int>(alert_.FadeOutTimer()));
    std::fprintf(f, "shows %d %d\n", shows_, refused_);
    const COLORREF face = GetSysColor(COLOR_3DFACE);
    std::fprintf(f, "face %d %d %d\n", GetRValue(face), GetGValue(face), GetBValue(face));
    std::fclose(f);
    MoveFileExW(temp.c_str(), settings_.status.c_str(), MOVEFILE_REPLACE_EXISTING);
  }

  Settings settings_;
  CAlertStyleFirefox style_;
  CountingAlert alert_;
  int shows_ = 0;
  int refused_ = 0;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  SetProcessDPIAware();
  Settings settings;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::wstring name = argv[i];
    const wchar_t* value = argv[i + 1];
    if (name == L"-text") settings.text = _wtoi(value);
    else if (name == L"-fade") settings.fade = static_cast<unsigned>(_wtoi(value));
    else if (name == L"-display") settings.display = static_cast<unsigned>(_wtoi(value));
    else if (name == L"-alpha") settings.alpha = _wtoi(value);
    else if (name == L"-status") settings.status = value;
    else if (name == L"-seconds") settings.seconds = _wtoi(value);
  }
  Driver driver(settings);
  if (!driver.Start()) return 1;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
