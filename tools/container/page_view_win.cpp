#include "tools/container/page_view_win.h"

#include <deque>
#include <fstream>
#include <iterator>

#include "common/text/text_util.h"
#include "platform/handles.h"
#include "platform/wide.h"

namespace zv {
namespace {

constexpr size_t kStatusLines = 14;

struct PageView {
  HWND host = nullptr;
  std::u16string title;
  std::deque<std::u16string> status;
};

PageView& View() {
  static PageView view;
  return view;
}

// The text between <title> and </title>, case-insensitive, trimmed.
std::u16string TitleOf(const std::u16string& html) {
  const std::u16string upper = ToUpperAscii(html);
  const size_t open = upper.find(u"<TITLE>");
  if (open == std::u16string::npos) return {};
  const size_t start = open + 7;
  const size_t end = upper.find(u"</TITLE>", start);
  if (end == std::u16string::npos) return {};
  std::u16string title = html.substr(start, end - start);
  while (!title.empty() && (title.back() == u' ' || title.back() == u'\n' || title.back() == u'\r')) title.pop_back();
  size_t first = 0;
  while (first < title.size() && (title[first] == u' ' || title[first] == u'\n' || title[first] == u'\r')) ++first;
  return title.substr(first);
}

UniqueGdiObject MakeFont(int height, int weight, const wchar_t* face) {
  return UniqueGdiObject(CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face));
}

}  // namespace

void PageViewInit(HWND host, const std::wstring& page) {
  PageView& view = View();
  view.host = host;
  std::ifstream in(page.c_str(), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  view.title = TitleOf(FromUtf8(bytes));
  const std::wstring caption =
      (view.title.empty() ? std::wstring() : Wide(view.title) + L" - ") + L"Zaduze test container";
  SetWindowTextW(host, caption.c_str());
  SetWindowPos(host, nullptr, 540, 60, 700, 460, SWP_NOZORDER | SWP_NOACTIVATE);
}

void PageViewStatus(const std::u16string& line) {
  PageView& view = View();
  if (view.host == nullptr) return;
  // Multi-line results are shown one line each.
  for (auto& piece : SplitLines(line)) view.status.push_back(std::move(piece));
  while (view.status.size() > kStatusLines) view.status.pop_front();
  InvalidateRect(view.host, nullptr, TRUE);
  UpdateWindow(view.host);
}

bool PageViewPaint(HWND hwnd) {
  PageView& view = View();
  if (view.host != hwnd) return false;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  RECT client;
  GetClientRect(hwnd, &client);
  SetBkMode(dc, TRANSPARENT);
  const UniqueGdiObject heading = MakeFont(-28, FW_BOLD, L"Tahoma");
  const UniqueGdiObject body = MakeFont(-15, FW_NORMAL, L"Tahoma");
  HGDIOBJ old = SelectObject(dc, heading.get());
  SetTextColor(dc, RGB(0x1f, 0x3a, 0x68));
  RECT r{client.left + 16, client.top + 12, client.right - 16, client.top + 52};
  const std::wstring title = view.title.empty() ? L"(page without a title)" : Wide(view.title);
  DrawTextW(dc, title.c_str(), -1, &r, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
  // A rule under the heading, then the status text.
  RECT rule{client.left + 16, client.top + 56, client.right - 16, client.top + 58};
  const UniqueGdiObject ruleBrush(CreateSolidBrush(RGB(0x1f, 0x3a, 0x68)));
  FillRect(dc, &rule, static_cast<HBRUSH>(ruleBrush.get()));
  SelectObject(dc, body.get());
  SetTextColor(dc, RGB(0x20, 0x20, 0x20));
  int y = client.top + 66;
  r = RECT{client.left + 16, y, client.right - 16, y + 20};
  DrawTextW(dc, L"Status:", -1, &r, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
  y += 22;
  size_t i = 0;
  for (const auto& line : view.status) {
    ++i;
    if (i == view.status.size()) SetTextColor(dc, RGB(0x00, 0x60, 0x20));
    r = RECT{client.left + 28, y, client.right - 16, y + 20};
    const std::wstring text = Wide(line);
    DrawTextW(dc, text.c_str(), -1, &r, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    y += 20;
  }
  SelectObject(dc, old);  // the fonts are deleted once no longer selected
  EndPaint(hwnd, &ps);
  return true;
}

std::vector<std::u16string> SplitLines(const std::u16string& text) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t nl = text.find(u'\n', start);
    if (nl == std::u16string::npos) nl = text.size();
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return lines;
}

}  // namespace zv
