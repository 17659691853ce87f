// Resource ids: dialog templates, controls, icons, strings and menu commands.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_DOWNLOADER_DIALOG 102
#define IDD_MODE_CHANGE 136
#define IDD_BOOT_AREA_CONFIRM 137
#define IDD_RETRY 139

// Icons and strings.
#define IDR_MAINFRAME 128
#define IDI_ABOUT 135
#define IDS_ABOUTBOX 101

// The about entry of the system menu.
#define IDM_ABOUTBOX 0x0010

// Controls of the main dialog.
#define IDC_CODE 1003
#define IDC_FONT 1004
#define IDC_CODE_PATH 1008
#define IDC_FONT_PATH 1009
#define IDC_CHANGE_BOOT_AREA 1013
#define IDC_FONT_ADDRESS 1014
#define IDC_DOWNLOAD_TYPE 1016
#define IDC_PORT 1017
#define IDC_DOWNLOAD 1018
#define IDC_RUN_BAR 1019
#define IDC_LOG 1020
#define IDC_ADDRESS 1021
#define IDC_ELAPSED 1022
#define IDC_IDLE_BAR 1023
#define IDC_AUTO_DETECT 1026
#define IDC_DOWNLOAD_TYPE_LABEL 1036
#define IDC_PORT_LABEL 1037
#define IDC_CONTROL_GROUP 1038
#define IDC_VERSION 1039

// Controls of the small dialogs.
#define IDC_MODE_CHANGE_TEXT 1028
#define IDC_CONFIRM_TEXT 1029
