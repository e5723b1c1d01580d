#pragma once
// Resource ids of the development update library.
#define IDD_SIM_PROGRESS 200
#define IDD_SIM_SETTINGS 201
#define IDC_SIM_LIST 1001
#define IDC_SIM_PROGRESS 1002
#define IDC_SIM_STATE 1003
#define IDC_SIM_SCENARIO 1010
#define IDC_SIM_CLOSE 1011
#define IDC_SIM_DELAY 1012
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
