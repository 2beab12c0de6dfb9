// The notification popup in a real window under Wine: its resources, the
// transparent blit, the show cycle, placement, hover, the link and dragging
// driven by messages, and its layout at other DPIs. What it paints on
// screen, real clicks and drags are checked by tests/wine/popup_window.sh,
// which runs the Dpi tests again at 144 DPI.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "control/popup/alert_dialog.h"
#include "platform/handles.h"
#include "platform/window.h"

namespace zv {
namespace {

// DPI aware, as the browsers that host the control are: the popup is then
// laid out for the DPI the system reports (under Wine:
// HKCU\Control Panel\Desktop LogPixels).
const BOOL kDpiAware = SetProcessDPIAware();

// ---------------------------------------------------------------------------
// Helpers

// Dispatches messages until `done` holds; false when it never did. The limit
// only keeps a broken build from hanging the run.
template <class Done>
bool PumpUntil(Done done, DWORD limitMs = 15000) {
  return PumpMessagesUntil(done, limitMs);
}

void PumpPending() {
  PumpUntil([] { return false; }, 150);
}

RECT WindowRect(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  return r;
}

RECT WorkArea() {
  RECT r{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
  return r;
}

constexpr COLORREF kPictureBackground = RGB(236, 233, 216);
constexpr COLORREF kShield = RGB(34, 78, 150);

class TestAlert : public CFirefoxAlert {
 public:
  using CFirefoxAlert::CFirefoxAlert;
  std::vector<WPARAM> clicks;

 protected:
  bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override {
    if (msg == WM_ALERT_LINK_CLICKED) clicks.push_back(wParam);
    return CFirefoxAlert::HandleMessage(msg, wParam, lParam, result);
  }
};

class Owner : public Window {
 public:
  bool Make() {
    WindowClass cls;
    cls.name = L"ZvPopupTestOwner";
    cls.background = GetSysColorBrush(COLOR_WINDOW);
    return Create(cls, 0, L"ZvPopupTestOwner", WS_OVERLAPPEDWINDOW, RECT{40, 40, 440, 340}, nullptr, nullptr);
  }
};

// One owner and one notice for all the window tests: destroying or hiding a
// shown window costs Wine two seconds without a window manager. Each test
// starts with the owner in front.
class PopupTest : public ::testing::Test {
 protected:
  struct Shared {
    Owner owner;
    CAlertStyleFirefox style;
    TestAlert alert{nullptr};
  };
  static Shared* shared;

  static void SetUpTestSuite() {
    shared = new Shared;
    if (!shared->owner.Make() || !shared->alert.Create(shared->owner.hwnd())) return;
    shared->alert.SetAlertStyle(&shared->style);
    ShowWindow(shared->owner.hwnd(), SW_SHOW);
  }
  static void TearDownTestSuite() {
    delete shared;
    shared = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(alert.hwnd(), nullptr);
    // The notice is left as the previous test left it: hiding a shown window
    // costs Wine two seconds without a window manager, so only the tests
    // that need it hidden hide it.
    alert.SetMessageText(L"Static");
    alert.clicks.clear();
    SetForegroundWindow(owner.hwnd());
    PumpPending();
  }

  HWND Dlg() const { return alert.hwnd(); }
  HWND Item(int id) const { return GetDlgItem(alert.hwnd(), id); }
  // One timer tick, delivered at once.
  void Tick(UINT_PTR id) { SendMessageW(alert.hwnd(), WM_TIMER, id, 0); }
  // Ticks the fade-in to its end; returns the number of ticks it took.
  int FadeInByTicks() {
    int ticks = 0;
    while (alert.FadeInTimer() != 0 && ticks < 1000) {
      Tick(CAlertDialog::kFadeInTimer);
      ++ticks;
    }
    return ticks;
  }
  // Shows the notice opaque and keeps it up.
  void ShowOpaque() {
    ASSERT_TRUE(alert.ShowAlert(1000, 600000, 255, FALSE));
    FadeInByTicks();
    ASSERT_EQ(alert.DisplayTimer(), CAlertDialog::kDisplayTimer);
    PumpPending();
  }

  Owner& owner = shared->owner;
  TestAlert& alert = shared->alert;
};
PopupTest::Shared* PopupTest::shared = nullptr;

// ---------------------------------------------------------------------------
// Resources

// Reads a DLGTEMPLATEEX.
class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* p) : p_(p) {}
  WORD Word() { return Take<WORD>(); }
  DWORD Dword() { return Take<DWORD>(); }
  short Short() { return Take<short>(); }
  BYTE Byte() { return Take<BYTE>(); }
  // A string or an ordinal (0xFFFF then the number, written as "#n").
  std::wstring SzOrOrd() {
    if (*reinterpret_cast<const WORD*>(p_) == 0xFFFF) {
      p_ += 2;
      return L"#" + std::to_wstring(Word());
    }
    std::wstring s;
    for (WORD c; (c = Word()) != 0;) s += static_cast<wchar_t>(c);
    return s;
  }
  void AlignDword(const BYTE* base) {
    while ((p_ - base) % 4 != 0) ++p_;
  }
  void Skip(size_t n) { p_ += n; }

 private:
  template <class T>
  T Take() {
    T v;
    std::memcpy(&v, p_, sizeof v);
    p_ += sizeof v;
    return v;
  }
  const BYTE* p_;
};

const BYTE* Resource(const wchar_t* type, int id) {
  const HRSRC res = FindResourceW(ThisModule(), MAKEINTRESOURCEW(id), type);
  if (res == nullptr) return nullptr;
  return static_cast<const BYTE*>(LockResource(LoadResource(ThisModule(), res)));
}

TEST(PopupResourceTest, Template206IsTheExtendedTemplateOfTheNotice) {
  const BYTE* base = Resource(RT_DIALOG, IDD_ALERT);
  ASSERT_NE(base, nullptr);
  TemplateReader t(base);
  EXPECT_EQ(t.Word(), 1);       // dlgVer
  EXPECT_EQ(t.Word(), 0xFFFF);  // extended template
  t.Dword();                    // help id
  EXPECT_EQ(t.Dword(), 0u);     // no extended style
  EXPECT_EQ(t.Dword(), static_cast<DWORD>(DS_SETFONT | DS_FIXEDSYS | WS_POPUP | WS_SYSMENU));
  EXPECT_EQ(t.Word(), 3);  // children
  EXPECT_EQ(t.Short(), 0);
  EXPECT_EQ(t.Short(), 0);
  EXPECT_EQ(t.Short(), 199);
  EXPECT_EQ(t.Short(), 50);
  EXPECT_EQ(t.SzOrOrd(), L"");  // menu
  EXPECT_EQ(t.SzOrOrd(), L"");  // class
  EXPECT_EQ(t.SzOrOrd(), L"");  // no caption
  EXPECT_EQ(t.Word(), 8);       // point size
  EXPECT_EQ(t.Word(), 400);     // weight
  EXPECT_EQ(t.Byte(), 0);       // italic
  EXPECT_EQ(t.Byte(), 1);       // character set
  EXPECT_EQ(t.SzOrOrd(), L"MS Shell Dlg");

  // The layout code works from the same numbers.
  EXPECT_EQ(kAlertTemplate.cx, 199);
  EXPECT_EQ(kAlertTemplate.cy, 50);
  EXPECT_EQ(kAlertTemplate.pointSize, 8);
  struct Child {
    DWORD id;
    std::wstring text;
    DWORD style;
    short x, y, cx, cy;
  } expected[] = {
      {IDC_ALERT_TITLE, L"Zaduze", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 55, 7, 52, 8},
      {IDC_ALERT_PICTURE, L"", WS_CHILD | WS_VISIBLE | SS_BLACKFRAME, 7, 7, 39, 36},
      {IDC_ALERT_LINK, L"Static", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 55, 20, 137, 8},
  };
  for (const Child& c : expected) {
    SCOPED_TRACE(c.id);
    t.AlignDword(base);
    t.Dword();  // help id
    EXPECT_EQ(t.Dword(), 0u);
    EXPECT_EQ(t.Dword(), c.style);
    EXPECT_EQ(t.Short(), c.x);
    EXPECT_EQ(t.Short(), c.y);
    EXPECT_EQ(t.Short(), c.cx);
    EXPECT_EQ(t.Short(), c.cy);
    EXPECT_EQ(t.Dword(), c.id);
    // The static control class, by its ordinal or its name.
    EXPECT_THAT(t.SzOrOrd(), ::testing::AnyOf(std::wstring(L"#130"), std::wstring(L"STATIC")));
    EXPECT_EQ(t.SzOrOrd(), c.text);
    t.Skip(t.Word());
    const DialogUnitRect& laid = c.id == IDC_ALERT_TITLE     ? kAlertTemplate.title
                                 : c.id == IDC_ALERT_PICTURE ? kAlertTemplate.picture
                                                             : kAlertTemplate.link;
    EXPECT_EQ(laid.x, c.x);
    EXPECT_EQ(laid.y, c.y);
    EXPECT_EQ(laid.cx, c.cx);
    EXPECT_EQ(laid.cy, c.cy);
  }
}

TEST(PopupResourceTest, BitmapsHaveTheirSizesDepthsAndTransparentBackground) {
  struct Case {
    int id;
    LONG width, height;
    WORD bits;
  } cases[] = {{IDB_ALERT_PICTURE, 48, 48, 24},
                 {IDB_ALERT_PICTURE_72, 72, 72, 8},
                 {IDB_ALERT_PICTURE_96, 96, 96, 8},
                 {IDB_ALERT_BANNER, 135, 43, 8}};
  for (const Case& c : cases) {
    const auto* info = reinterpret_cast<const BITMAPINFOHEADER*>(Resource(RT_BITMAP, c.id));
    ASSERT_NE(info, nullptr) << c.id;
    EXPECT_EQ(info->biWidth, c.width) << c.id;
    EXPECT_EQ(std::abs(info->biHeight), c.height) << c.id;
    EXPECT_EQ(info->biBitCount, c.bits) << c.id;
  }
  // Each picture's corners are the colour the notice leaves transparent, its
  // shield (at 24, 40 of 48, scaled) is not.
  struct Picture {
    int id, size;
  } pictures[] = {{IDB_ALERT_PICTURE, 48}, {IDB_ALERT_PICTURE_72, 72}, {IDB_ALERT_PICTURE_96, 96}};
  for (const Picture& p : pictures) {
    const UniqueBitmap bitmap(static_cast<HBITMAP>(
        LoadImageW(ThisModule(), MAKEINTRESOURCEW(p.id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    ASSERT_TRUE(bitmap) << p.id;
    const UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
    const ScopedSelection selected(dc.get(), bitmap.get());
    const int last = p.size - 1;
    EXPECT_EQ(GetPixel(dc.get(), 0, 0), kPictureBackground) << p.id;
    EXPECT_EQ(GetPixel(dc.get(), last, 0), kPictureBackground) << p.id;
    EXPECT_EQ(GetPixel(dc.get(), 0, last), kPictureBackground) << p.id;
    EXPECT_EQ(GetPixel(dc.get(), last, last), kPictureBackground) << p.id;
    EXPECT_EQ(GetPixel(dc.get(), p.size / 2, p.size * 40 / 48), kShield) << p.id;
  }
}

// ---------------------------------------------------------------------------
// The transparent blit, on a memory bitmap

TEST(PopupBlitTest, TransparentColourLeavesTheDestinationOthersShowThePicture) {
  UniqueMemoryDc memory;
  UniqueBitmap target;
  {
    const WindowDc screen(nullptr);
    memory.reset(CreateCompatibleDC(screen.get()));
    target.reset(CreateCompatibleBitmap(screen.get(), 60, 60));
  }
  const HDC dc = memory.get();
  const ScopedSelection selected(dc, target.get());
  const UniqueGdiObject green(CreateSolidBrush(RGB(0, 160, 0)));
  const RECT all{0, 0, 60, 60};
  FillRect(dc, &all, static_cast<HBRUSH>(green.get()));
  SetTextColor(dc, RGB(1, 2, 3));
  SetBkColor(dc, RGB(4, 5, 6));

  const UniqueBitmap picture(static_cast<HBITMAP>(
      LoadImageW(ThisModule(), MAKEINTRESOURCEW(IDB_ALERT_PICTURE), IMAGE_BITMAP, 0, 0, LR_DEFAULTSIZE)));
  ASSERT_TRUE(picture);
  DrawTransparentBitmap(picture.get(), 48, 48, dc, 6, 6, kPictureBackground);
  EXPECT_EQ(GetPixel(dc, 6, 6), RGB(0, 160, 0));     // picture corner: transparent
  EXPECT_EQ(GetPixel(dc, 53, 53), RGB(0, 160, 0));   //
  EXPECT_EQ(GetPixel(dc, 30, 46), kShield);          // picture (24, 40)
  EXPECT_EQ(GetPixel(dc, 2, 2), RGB(0, 160, 0));     // outside: untouched
  EXPECT_EQ(GetPixel(dc, 57, 30), RGB(0, 160, 0));   //
  EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));         // colours restored
  EXPECT_EQ(GetBkColor(dc), RGB(4, 5, 6));

  // A transparent colour the picture lacks: every pixel of it lands.
  FillRect(dc, &all, static_cast<HBRUSH>(green.get()));
  DrawTransparentBitmap(picture.get(), 48, 48, dc, 6, 6, RGB(1, 1, 1));
  EXPECT_EQ(GetPixel(dc, 6, 6), kPictureBackground);
  EXPECT_EQ(GetPixel(dc, 30, 46), kShield);
}

// ---------------------------------------------------------------------------
// The window

TEST_F(PopupTest, CreatedHiddenLayeredWithItsControlsPrepared) {
  EXPECT_FALSE(IsWindowVisible(Dlg()));
  EXPECT_TRUE(GetWindowLongPtrW(Dlg(), GWL_EXSTYLE) & WS_EX_LAYERED);
  EXPECT_EQ(GetParent(Dlg()) == owner.hwnd() || GetWindow(Dlg(), GW_OWNER) == owner.hwnd(), true);

  const LONG_PTR pictureStyle = GetWindowLongPtrW(Item(IDC_ALERT_PICTURE), GWL_STYLE);
  EXPECT_EQ(pictureStyle & SS_TYPEMASK, SS_BITMAP);
  EXPECT_TRUE(pictureStyle & SS_CENTERIMAGE);
  const RECT picture = WindowRect(Item(IDC_ALERT_PICTURE));
  EXPECT_EQ(picture.right - picture.left, 48);
  EXPECT_EQ(picture.bottom - picture.top, 48);

  LOGFONTW title{}, link{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Item(IDC_ALERT_TITLE), WM_GETFONT, 0, 0)), sizeof title, &title);
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Item(IDC_ALERT_LINK), WM_GETFONT, 0, 0)), sizeof link, &link);
  EXPECT_EQ(title.lfWeight, FW_BOLD);
  EXPECT_NE(link.lfWeight, FW_BOLD);

  wchar_t text[64] = {};
  GetDlgItemTextW(Dlg(), IDC_ALERT_LINK, text, 64);
  EXPECT_STREQ(text, L"Static");
  GetDlgItemTextW(Dlg(), IDC_ALERT_TITLE, text, 64);
  EXPECT_STREQ(text, L"Zaduze");
}

TEST_F(PopupTest, MaximumAlphaBelowFiveIsRefusedWithoutShowing) {
  alert.HideAlert();
  for (int max = 0; max < 5; ++max) {
    EXPECT_FALSE(alert.ShowAlert(1000, 2000, static_cast<uint8_t>(max), FALSE)) << max;
    EXPECT_FALSE(IsWindowVisible(Dlg())) << max;
    EXPECT_EQ(alert.FadeInTimer(), 0u) << max;
  }
  EXPECT_TRUE(alert.ShowAlert(1000, 2000, 5, FALSE));
  EXPECT_TRUE(IsWindowVisible(Dlg()));
}

TEST_F(PopupTest, ShowAlertPlacesItAboveTheCornerTopmostWithoutActivation) {
  const HWND before = GetForegroundWindow();
  ASSERT_TRUE(alert.ShowAlert(1000, 2000, 255, FALSE));
  const RECT r = WindowRect(Dlg());
  const RECT work = WorkArea();
  EXPECT_EQ(r.right, work.right - 1);
  EXPECT_EQ(r.bottom, work.bottom);
  EXPECT_GT(r.right - r.left, 199);  // dialog units became pixels
  EXPECT_TRUE(IsWindowVisible(Dlg()));
  EXPECT_TRUE(GetWindowLongPtrW(Dlg(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(alert.Alpha(), 0);
  EXPECT_EQ(alert.MaxAlpha(), 255);
  EXPECT_EQ(alert.FadeInTimer(), CAlertDialog::kFadeInTimer);
  BYTE alpha = 99;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(Dlg(), nullptr, &alpha, &flags));
  EXPECT_EQ(alpha, 0);
  EXPECT_EQ(flags, static_cast<DWORD>(LWA_ALPHA));
  PumpPending();
  EXPECT_NE(GetForegroundWindow(), Dlg());
  EXPECT_EQ(GetForegroundWindow(), before);
  EXPECT_NE(GetActiveWindow(), Dlg());
}

TEST_F(PopupTest, ControlArgumentsGiveFiftyTwoTicksEachWay) {
  ASSERT_TRUE(alert.ShowAlert(1000, 2000, 255, FALSE));
  EXPECT_EQ(FadeInByTicks(), 52);
  EXPECT_EQ(alert.Alpha(), 255);
  EXPECT_EQ(alert.DisplayTimer(), CAlertDialog::kDisplayTimer);
  EXPECT_EQ(alert.FadeOutTimer(), 0u);

  Tick(CAlertDialog::kDisplayTimer);
  EXPECT_EQ(alert.DisplayTimer(), 0u);
  EXPECT_EQ(alert.FadeOutTimer(), CAlertDialog::kFadeOutTimer);
  EXPECT_EQ(alert.Alpha(), 255);

  int ticks = 0;
  while (IsWindowVisible(alert.hwnd()) && ticks < 1000) {
    Tick(CAlertDialog::kFadeOutTimer);
    ++ticks;
  }
  EXPECT_EQ(ticks, 52);
  EXPECT_EQ(alert.Alpha(), 0);
  EXPECT_EQ(alert.FadeOutTimer(), 0u);
}

TEST_F(PopupTest, CycleFadesInStaysFadesOutAndHides) {
  struct Seen {
    bool fadingIn = false, shownAtMax = false, fadingOut = false;
    int lastAlpha = -1;
    bool alphaMatchesWindow = true;
  } seen;
  ASSERT_TRUE(alert.ShowAlert(60, 100, 40, FALSE));
  const bool hidden = PumpUntil([&] {
    if (alert.FadeInTimer() != 0) seen.fadingIn = true;
    if (alert.DisplayTimer() != 0 && alert.Alpha() == 40) seen.shownAtMax = true;
    if (alert.FadeOutTimer() != 0 && alert.Alpha() < 40) seen.fadingOut = true;
    BYTE alpha = 0;
    GetLayeredWindowAttributes(Dlg(), nullptr, &alpha, nullptr);
    if (alpha != alert.Alpha()) seen.alphaMatchesWindow = false;
    return !IsWindowVisible(Dlg());
  });
  ASSERT_TRUE(hidden);
  EXPECT_TRUE(seen.fadingIn);
  EXPECT_TRUE(seen.shownAtMax);
  EXPECT_TRUE(seen.fadingOut);
  EXPECT_TRUE(seen.alphaMatchesWindow);
  EXPECT_EQ(alert.Alpha(), 0);
  EXPECT_EQ(alert.FadeInTimer() + alert.DisplayTimer() + alert.FadeOutTimer(), 0u);

  // It can be shown again.
  ASSERT_TRUE(alert.ShowAlert(60, 100, 40, FALSE));
  EXPECT_TRUE(IsWindowVisible(Dlg()));
}

TEST_F(PopupTest, NewShowStopsTheTimersOfTheRunningOne) {
  ShowOpaque();
  ASSERT_TRUE(alert.ShowAlert(1000, 2000, 255, FALSE));
  EXPECT_EQ(alert.DisplayTimer(), 0u);
  EXPECT_EQ(alert.FadeOutTimer(), 0u);
  EXPECT_EQ(alert.FadeInTimer(), CAlertDialog::kFadeInTimer);
  EXPECT_EQ(alert.Alpha(), 0);
}

TEST_F(PopupTest, HoverChangesNothingWithoutTheFlag) {
  ASSERT_TRUE(alert.ShowAlert(1000, 2000, 255, FALSE));
  SendMessageW(Dlg(), WM_MOUSEHOVER, 0, MAKELPARAM(5, 5));
  EXPECT_FALSE(alert.IsMouseInside());
  EXPECT_EQ(alert.FadeInTimer(), CAlertDialog::kFadeInTimer);
  EXPECT_EQ(alert.Alpha(), 0);
}

TEST_F(PopupTest, HoverPausesOpaqueAndLeavingRestartsTheDisplayTime) {
  const HWND w = Dlg();
  ASSERT_TRUE(alert.ShowAlert(1000, 2000, 200, TRUE));
  SendMessageW(w, WM_MOUSEHOVER, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(alert.IsMouseInside());
  EXPECT_EQ(alert.FadeInTimer() + alert.DisplayTimer() + alert.FadeOutTimer(), 0u);
  EXPECT_EQ(alert.Alpha(), 255);  // fully opaque, not the maximum

  // A leave while the cursor is still over the notice (over a child) counts
  // for nothing.
  const RECT r = WindowRect(w);
  SetCursorPos(r.left + 3, r.top + 3);
  SendMessageW(w, WM_MOUSELEAVE, 0, 0);
  EXPECT_TRUE(alert.IsMouseInside());
  EXPECT_EQ(alert.DisplayTimer(), 0u);

  SetCursorPos(5, 5);
  SendMessageW(w, WM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(alert.IsMouseInside());
  EXPECT_EQ(alert.Alpha(), 200);
  EXPECT_EQ(alert.DisplayTimer(), CAlertDialog::kDisplayTimer);
}

TEST_F(PopupTest, PressingTheLinkPostsOneNotificationAndHides) {
  ShowOpaque();
  const HWND link = Item(IDC_ALERT_LINK);
  SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  EXPECT_NE(GetCapture(), link);
  PumpPending();
  EXPECT_THAT(alert.clicks, ::testing::ElementsAre(static_cast<WPARAM>(IDC_ALERT_LINK)));
  EXPECT_FALSE(IsWindowVisible(Dlg()));
  EXPECT_EQ(alert.FadeInTimer() + alert.DisplayTimer() + alert.FadeOutTimer(), 0u);
}

TEST_F(PopupTest, LinkHoverCapturesAndLeavingReleases) {
  ShowOpaque();
  const HWND link = Item(IDC_ALERT_LINK);
  EXPECT_EQ(SendMessageW(link, WM_NCHITTEST, 0, 0), HTCLIENT);
  EXPECT_EQ(SendMessageW(Item(IDC_ALERT_TITLE), WM_NCHITTEST, 0, 0), HTTRANSPARENT);
  SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  EXPECT_EQ(GetCapture(), link);
  SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));  // inside: nothing changes
  EXPECT_EQ(GetCapture(), link);
  SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(2, -4));
  EXPECT_EQ(GetCapture(), nullptr);
  PumpPending();
  EXPECT_TRUE(alert.clicks.empty());
  EXPECT_TRUE(IsWindowVisible(Dlg()));
}

TEST_F(PopupTest, DraggingMovesTheNoticeAndHoldsItInsideTheWorkArea) {
  ShowOpaque();
  const HWND w = Dlg();
  const RECT start = WindowRect(w);
  const RECT work = WorkArea();
  SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(150, 60));
  EXPECT_TRUE(alert.IsDragging());
  EXPECT_EQ(GetCapture(), w);

  SendMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(140, 30));
  RECT r = WindowRect(w);
  EXPECT_EQ(r.left, start.left - 10);
  EXPECT_EQ(r.top, start.top - 30);

  // Far past the top: the top edge lies on the work area's top.
  SendMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, -3000));
  r = WindowRect(w);
  EXPECT_EQ(r.top, work.top);
  EXPECT_EQ(r.left, start.left - 10);
  EXPECT_EQ(r.bottom - r.top, start.bottom - start.top);

  // Past the right edge: only that side is corrected.
  SendMessageW(w, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150 + 3000, 60));
  r = WindowRect(w);
  EXPECT_EQ(r.right, work.right);
  EXPECT_EQ(r.top, work.top);

  SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(150, 60));
  EXPECT_FALSE(alert.IsDragging());
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_TRUE(alert.clicks.empty());
}

// ---------------------------------------------------------------------------
// DPI: these run again at 144 DPI (tests/wine/popup_window.sh)

unsigned ScreenDpi() {
  const WindowDc screen(nullptr);
  return static_cast<unsigned>(GetDeviceCaps(screen.get(), LOGPIXELSX));
}

LOGFONTW FontOf(HWND control) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font;
}

// The extent of a control's text in its font against its client area.
void ExpectTextFits(HWND control, unsigned dpi) {
  wchar_t text[256] = {};
  const int length = GetWindowTextW(control, text, 256);
  RECT client{};
  GetClientRect(control, &client);
  SIZE extent{};
  const WindowDc dc(control);
  const ScopedSelection font(dc.get(), reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  GetTextExtentPoint32W(dc.get(), text, length, &extent);
  EXPECT_LE(extent.cx, client.right) << GetDlgCtrlID(control) << " at " << dpi;
  EXPECT_LE(extent.cy, client.bottom) << GetDlgCtrlID(control) << " at " << dpi;
}

// The number of frame lines the style draws, counted from the left edge in
// the middle of the window.
int FrameLines(CAlertStyle& style, HWND window) {
  const RECT r = WindowRect(window);
  const int width = r.right - r.left, height = r.bottom - r.top;
  UniqueMemoryDc dc;
  UniqueBitmap bitmap;
  {
    const WindowDc screen(nullptr);
    dc.reset(CreateCompatibleDC(screen.get()));
    bitmap.reset(CreateCompatibleBitmap(screen.get(), width, height));
  }
  const ScopedSelection selected(dc.get(), bitmap.get());
  const RECT all{0, 0, width, height};
  FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  style.DrawFrame(window, dc.get());
  int lines = 0;
  while (lines < width && GetPixel(dc.get(), lines, height / 2) == CAlertStyleFirefox::kFrameColor) ++lines;
  return lines;
}

TEST_F(PopupTest, DpiBaseUnitsAreMeasuredAsTheDialogManagerMeasuresThem) {
  // The dialog's own font is the dialog manager's, at the process's DPI.
  RECT units{0, 0, 4, 8};
  ASSERT_TRUE(MapDialogRect(Dlg(), &units));
  const AlertBaseUnits measured =
      MeasureDialogBaseUnits(reinterpret_cast<HFONT>(SendMessageW(Dlg(), WM_GETFONT, 0, 0)));
  EXPECT_EQ(measured, (AlertBaseUnits{units.right, units.bottom}));
}

TEST_F(PopupTest, DpiShowAlertLaysItOutForTheDpiTheProcessSees) {
  const unsigned dpi = ScreenDpi();
  ASSERT_TRUE(alert.ShowAlert(1000, 2000, 255, FALSE));
  EXPECT_EQ(alert.Dpi(), dpi);
  const RECT r = WindowRect(Dlg());
  const RECT work = WorkArea();
  EXPECT_EQ(r.right, work.right - ScaleForDpi(1, dpi));
  EXPECT_EQ(r.bottom, work.bottom);
  const RECT picture = WindowRect(Item(IDC_ALERT_PICTURE));
  EXPECT_EQ(picture.right - picture.left, ScaleForDpi(48, dpi));
  EXPECT_EQ(picture.bottom - picture.top, ScaleForDpi(48, dpi));
  EXPECT_EQ(FontOf(Item(IDC_ALERT_TITLE)).lfHeight, FontHeightForDpi(8, dpi));
  EXPECT_EQ(FontOf(Item(IDC_ALERT_TITLE)).lfWeight, FW_BOLD);
  EXPECT_EQ(FontOf(Item(IDC_ALERT_LINK)).lfHeight, FontHeightForDpi(8, dpi));
  EXPECT_EQ(FrameLines(shared->style, Dlg()), ScaleForDpi(2, dpi));
}

TEST_F(PopupTest, DpiChangeLaysTheNoticeOutAgainAsThe96DpiOneScaled) {
  ShowOpaque();
  alert.SetMessageText(L"Zaduze \xAC10\xC2DC\xAC00 \xC2DC\xC791\xB418\xC5C8\xC2B5\xB2C8\xB2E4.");
  const unsigned own = alert.Dpi();
  auto changeTo = [&](unsigned dpi) {
    RECT suggested = WindowRect(Dlg());
    SendMessageW(Dlg(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    RedrawWindow(Dlg(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  };
  changeTo(96);
  const RECT at96 = WindowRect(Dlg());
  const int width96 = at96.right - at96.left, height96 = at96.bottom - at96.top;
  for (unsigned dpi : {144u, 192u, 120u, 168u, 96u}) {
    SCOPED_TRACE(dpi);
    changeTo(dpi);
    EXPECT_EQ(alert.Dpi(), dpi);
    const RECT r = WindowRect(Dlg());
    EXPECT_EQ(r.left, at96.left);  // stays where the system suggests
    EXPECT_EQ(r.right - r.left, MulDiv(width96, dpi, 96));
    EXPECT_EQ(r.bottom - r.top, MulDiv(height96, dpi, 96));
    const RECT picture = WindowRect(Item(IDC_ALERT_PICTURE));
    EXPECT_EQ(picture.right - picture.left, MulDiv(48, dpi, 96));
    // The link has painted with its underline font by now: made anew from
    // the new font, not kept from the old one.
    const LOGFONTW link = FontOf(Item(IDC_ALERT_LINK));
    EXPECT_EQ(link.lfHeight, FontHeightForDpi(8, dpi));
    EXPECT_TRUE(link.lfUnderline);
    EXPECT_EQ(FontOf(Item(IDC_ALERT_TITLE)).lfHeight, FontHeightForDpi(8, dpi));
    EXPECT_EQ(FrameLines(shared->style, Dlg()), MulDiv(2, dpi, 96));
    ExpectTextFits(Item(IDC_ALERT_TITLE), dpi);
    ExpectTextFits(Item(IDC_ALERT_LINK), dpi);
  }
  changeTo(own);
  EXPECT_EQ(alert.Dpi(), own);
}

}  // namespace
}  // namespace zv
