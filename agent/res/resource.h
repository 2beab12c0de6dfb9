#pragma once
#define IDD_ABOUTBOX 100
#define IDR_MAINFRAME 128
#define IDR_TRAYMENU 310
#define IDC_ABOUT_ICON 1000
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
