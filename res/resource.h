#pragma once

// Resource and control identifiers, shared by the code and the resource script.

#define IDD_ABOUTBOX            100
#define IDS_ABOUTBOX            101
#define IDD_PROGRAM_LIST        102
#define IDS_COLUMN_DESCRIPTION  103
#define IDS_COLUMN_UNINSTALL    104
#define IDS_APP_TITLE           105
#define IDS_CANNOT_START        106

#define IDR_MAINFRAME           128
#define IDR_ACCELERATORS        129
#define IDI_DEFAULT_PROGRAM     130
#define IDB_SORT_UP             131
#define IDB_SORT_DOWN           132
#define IDC_HAND_CURSOR         133
#define IDR_CONTEXT_MENU        134

#define IDC_PROGRAM_LIST        1000
#define IDC_REMOVE              1001
#define IDC_REFRESH             1002
#define IDC_CLOSE               1003
#define IDC_HOMEPAGE_LINK       1004
#define IDC_LIST_LABEL          1005
#define IDC_SHOW_UPDATES        1006

// System-menu command: the low four bits of system commands belong to the system.
#define IDM_ABOUTBOX            0x0010

#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif
