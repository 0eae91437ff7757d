#pragma once

// Resources of the framework's window tests; far above the program's own ids.
#define IDD_FW_TEST     5000
#define IDC_FW_LABEL    5001
#define IDC_FW_CHECK    5002
#define IDC_FW_LIST     5003
#define IDR_FW_MENU     5010
#define IDM_FW_ITEM     5011
#define IDS_FW_TEXT     5020
#define IDD_FW_MISSING  5099
