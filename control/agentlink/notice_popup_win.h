// The control's notice popup (control/popup): the style made with the
// control, the popup window created in the creation step (dialog template
// 206, the control window as parent), then shown with a text in its message
// control 204.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace zv {

class CZaduzeCtrl;
class CFirefoxAlert;
class CAlertStyleFirefox;

class NoticePopup {
 public:
  NoticePopup();  // makes the style
  ~NoticePopup();  // the popup first, then its style
  NoticePopup(const NoticePopup&) = delete;
  NoticePopup& operator=(const NoticePopup&) = delete;

  // Creates the popup window for the control (not shown yet); a second call
  // replaces the first popup.
  bool Create(HWND parent);
  // Sets the message text and shows it with ShowAlert(1000, 2000, 255, 0).
  void Show(const std::u16string& text);

  // Every text shown so far, oldest first (for the tests and the container).
  const std::vector<std::u16string>& ShownTexts() const { return shown_; }

 private:
  std::unique_ptr<CAlertStyleFirefox> style_;
  std::unique_ptr<CFirefoxAlert> alert_;
  std::vector<std::u16string> shown_;
};

}  // namespace zv
