// Resource identifiers of the control (Zaduze.dll). The popup's own resources
// (dialog 206, bitmap 207, control 204 ...) are in popup_resource.h.
#pragma once

#define IDS_ZADUZE 1              // type name "Zaduze Control"
#define IDS_ZADUZE_PPG 2          // type name "Zaduze Property Page"
#define IDS_ZADUZE_PPG_CAPTION 200  // property page caption "General"

#define IDD_ABOUTBOX_ZADUZE 1
#define IDD_PROPPAGE_ZADUZE 200
#define IDB_ZADUZE 1              // tool-box bitmap
#define IDI_ABOUTDLL 1

#define IDC_ABOUT_VERSION 101
#define IDC_ABOUT_NOTE 102
#define IDC_PPG_NOTE 201
