// Resource and command ids of the windowed script host.
#pragma once

#define IDD_KESTRUN 101
#define IDR_KESTRUN_MENU 102

#define IDC_OUTPUT 1000
#define IDC_INPUT 1001
#define IDC_SUBMIT 1002

// Commands the window posts to itself.
#define IDM_RUN_COMMAND_LINE 667
#define IDM_SHOW_INPUT 668

#define IDM_RUN 40001
#define IDM_ABOUT 40004
#define IDM_EXIT 40007
#define IDM_CUT 40013
#define IDM_COPY 40014
#define IDM_PASTE 40015
#define IDM_CLEAR 40016
#define IDM_REPAIR_REGISTRATIONS 40020
#define IDM_SELECT_INPUT 40021
#define IDM_SELECT_OUTPUT 40022
#define IDM_SUBMIT_INPUT 40023
#define IDM_REGISTER_DLL 40024
#define IDM_UNREGISTER_DLL 40025

// Labels of the menu bar's four buttons.
#define IDS_MENU_EDIT 200
#define IDS_MENU_TOOLS 201
#define IDS_MENU_RUN 202
#define IDS_MENU_ABOUT 203
