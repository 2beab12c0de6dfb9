#include "control/agentlink/notice_popup_win.h"

#include "control/popup/alert_dialog.h"
#include "control/popup/alert_style.h"
#include "platform/wide.h"

namespace zv {

NoticePopup::NoticePopup() : style_(std::make_unique<CAlertStyleFirefox>()) {}

NoticePopup::~NoticePopup() {
  alert_.reset();
  style_.reset();
}

bool NoticePopup::Create(HWND parent) {
  alert_.reset();
  auto alert = std::make_unique<CFirefoxAlert>(parent);
  if (!alert->Create(parent)) return false;  // no template 206 in this module
  alert->SetAlertStyle(style_.get());
  alert_ = std::move(alert);
  return true;
}

void NoticePopup::Show(const std::u16string& text) {
  shown_.push_back(text);
  if (!alert_) return;
  alert_->SetMessageText(W(text));
  alert_->ShowAlert(1000, 2000, 255, FALSE);
}

}  // namespace zv
