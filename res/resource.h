#pragma once

// Shared by the resource script and the C++ code, so only plain #defines belong here.

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_CONVERTER_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_PROGRESS_LIST 1001
#define IDC_ABOUT_BUTTON 1002

// System menu ids must keep their low four bits clear; Windows uses them itself.
#define IDM_ABOUTBOX 0x0010
