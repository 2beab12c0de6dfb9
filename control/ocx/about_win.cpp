// The About box: dialog 1, modal over the control's window, with the
// module's file version filled in.
#include "control/ocx/zaduze_ctrl.h"
#include "control/res/control_resource.h"
#include "platform/window.h"

namespace zv {

namespace {

class AboutDialog final : public Dialog {
 public:
  explicit AboutDialog(std::wstring version) : version_(std::move(version)) {}

 protected:
  BOOL OnInitDialog() override {
    if (!version_.empty()) {
      const std::wstring line = L"Zaduze ActiveX Control, Version " + version_;
      SetDlgItemTextW(hwnd(), IDC_ABOUT_VERSION, line.c_str());
    }
    return TRUE;
  }

 private:
  std::wstring version_;
};

}  // namespace

void CZaduzeCtrl::AboutBox() {
  if (m_version.fileVersion.empty()) ReadModuleVersion();
  AboutDialog dialog(m_version.fileVersion);
  HWND owner = m_wnd.hwnd() != nullptr ? GetAncestor(m_wnd.hwnd(), GA_ROOT) : GetActiveWindow();
  dialog.DoModal(ThisModule(), IDD_ABOUTBOX_ZADUZE, owner);
}

}  // namespace zv
