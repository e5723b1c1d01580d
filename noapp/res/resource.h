#pragma once
// Resource ids of the unknown-file handler.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
#define IDR_MAINFRAME 128
#define IDB_BANNER 130
#define IDD_NOAPP_DIALOG 102
#define IDC_BANNER 1000
#define IDC_FILENAME 1001
#define IDC_USE_KAVENDOR 1002
#define IDC_USE_WINDOWS 1004
