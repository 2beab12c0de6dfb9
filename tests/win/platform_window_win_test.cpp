// The window layer: messages reach the owning object, superclassed and
// subclassed windows keep their original behaviour, destruction is seen once.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/handles.h"
#include "platform/window.h"

namespace zv {
namespace {

class Recorder : public Window {
 public:
  std::vector<UINT> seen;
  int finalDestroys = 0;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    seen.push_back(msg);
    if (msg == WM_APP + 1) return 42;
    return Default(msg, wParam, lParam);
  }
  void OnFinalDestroy() override { ++finalDestroys; }
};

bool Saw(const Recorder& r, UINT msg) {
  for (UINT m : r.seen)
    if (m == msg) return true;
  return false;
}

TEST(PlatformWindow, MessagesReachTheObjectFromCreationToDestruction) {
  Recorder r;
  WindowClass cls;
  cls.name = L"ZvTestRecorder";
  ASSERT_TRUE(r.Create(cls, 0, L"recorder", WS_OVERLAPPED, RECT{0, 0, 50, 50}, nullptr, nullptr));
  EXPECT_TRUE(Saw(r, WM_NCCREATE));
  EXPECT_TRUE(Saw(r, WM_CREATE));
  EXPECT_EQ(SendMessageW(r.hwnd(), WM_APP + 1, 0, 0), 42);
  HWND hwnd = r.hwnd();
  r.Destroy();
  EXPECT_EQ(r.hwnd(), nullptr);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_TRUE(Saw(r, WM_DESTROY));
  EXPECT_EQ(r.finalDestroys, 1);
  // A second object of the same class registers nothing twice.
  Recorder again;
  EXPECT_TRUE(again.Create(cls, 0, L"again", WS_OVERLAPPED, RECT{0, 0, 10, 10}, nullptr, nullptr));
}

TEST(PlatformWindow, SuperclassKeepsTheBaseBehaviour) {
  Recorder r;
  WindowClass cls;
  cls.name = L"ZvTestStatic";
  cls.base = L"STATIC";
  ASSERT_TRUE(r.Create(cls, 0, L"text of a static", WS_POPUP, RECT{0, 0, 50, 50}, nullptr, nullptr));
  wchar_t text[64] = {};
  GetWindowTextW(r.hwnd(), text, 64);
  EXPECT_STREQ(text, L"text of a static");
  EXPECT_TRUE(Saw(r, WM_CREATE));
}

TEST(PlatformWindow, SubclassedControlKeepsItsOwnBehaviour) {
  HWND edit = CreateWindowExW(0, L"EDIT", L"abc", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(edit, nullptr);
  {
    Recorder r;
    ASSERT_TRUE(r.Subclass(edit));
    SetWindowTextW(edit, L"changed");
    EXPECT_TRUE(Saw(r, WM_SETTEXT));
    wchar_t text[32] = {};
    GetWindowTextW(edit, text, 32);
    EXPECT_STREQ(text, L"changed");
    r.Destroy();
    EXPECT_EQ(r.finalDestroys, 1);
  }
}

TEST(PlatformHandles, OwnersCloseOnceAndMove) {
  UniqueKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  HANDLE raw = event.get();
  UniqueKernelHandle moved(std::move(event));
  EXPECT_FALSE(event);
  EXPECT_EQ(moved.get(), raw);
  moved.reset();
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(raw, &flags));  // closed
  UniqueFileHandle none;
  EXPECT_FALSE(none);
  EXPECT_EQ(none.get(), INVALID_HANDLE_VALUE);
}

}  // namespace
}  // namespace zv
