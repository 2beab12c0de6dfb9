// Resource ids of the notification popup (control/res/popup.rc).
#pragma once

#define IDD_ALERT 206          // the popup's dialog template
#define IDB_ALERT_PICTURE 207  // 48 x 48, 24 bits, background RGB(236, 233, 216) drawn transparent
#define IDB_ALERT_PICTURE_72 208  // the same picture at 72 x 72 (144 DPI), 8 bits, same background
#define IDB_ALERT_PICTURE_96 209  // the same picture at 96 x 96 (192 DPI), 8 bits, same background
#define IDB_ALERT_BANNER 204   // 135 x 43, 8 bits; carried by the module, not shown by the popup

#define IDC_ALERT_TITLE 202    // title label ("Zaduze", bold)
#define IDC_ALERT_PICTURE 203  // picture (becomes bitmap 207)
#define IDC_ALERT_LINK 204     // the message, shown as a link
