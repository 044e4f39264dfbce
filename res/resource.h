// The numbers of the resources, menu commands and dialog controls, written once for the
// resource scripts and the code. Plain #defines only: the resource compiler reads this
// file too.
#ifndef FSW_RES_RESOURCE_H
#define FSW_RES_RESOURCE_H

// Icons.
#define IDI_FSW 103           // the program's disk drum: tray, window class, dialogs
#define IDI_ROW_CHECKED 104   // a green check mark: the target is queried
#define IDI_ROW_EXCLUDED 105  // the same mark in pale grey: the target is left out

// The tray icon's menu and its commands.
#define IDM_TRAY 101
#define CMD_SETTINGS 40007  // "設定"
#define CMD_VERSION 40008   // "バージョン情報"
#define CMD_EXIT 40009      // "終了"
#define CMD_STATUS 40011    // "監視状態"
#define CMD_CHECK 40013     // "今すぐチェック"

// The status window and its list.
#define IDD_STATUS 106
#define IDC_STATUS_LIST 1020
#define IDC_STATUS_EMPTY 1025  // why the list is empty, over the list

// The status window's grade marks, one shape each (drawn by scripts/draw-icon.py), in the
// order of the grades: normal, caution, warning, danger, error.
#define IDI_GRADE_NORMAL 110   // a green circle
#define IDI_GRADE_CAUTION 111  // a yellow triangle
#define IDI_GRADE_WARNING 112  // an orange diamond
#define IDI_GRADE_DANGER 113   // a red square with a bar across
#define IDI_GRADE_ERROR 114    // a grey cross

// The settings dialog and its controls.
#define IDD_SETTINGS 102
#define IDC_HOST_LIST 1001
#define IDC_DELETE_ALL 1002
#define IDC_CHECK_NOW 1003
#define IDC_REGISTER 1004
#define IDC_HOST 1005
#define IDC_PORT 1006
#define IDC_PATH 1007
#define IDC_THRESHOLD 1008
#define IDC_UNIT 1009
#define IDC_NOTIFY 1010
#define IDC_SERVER_PORT 1011
#define IDC_SERVER 1012
#define IDC_INTERVAL 1013
#define IDC_CLIENT 1014
#define IDC_EXCLUDED 1015
#define IDC_LOG_NONE 1016
#define IDC_LOG_OVERWRITE 1017
#define IDC_LOG_APPEND 1018
#define IDC_NOTE_SAVE 1019
#define IDC_NOTE_LIVE 1020
#define IDC_DESCRIPTION 1021
#define IDC_VOLUMES 1022  // "ボリューム一覧…": the volume picker for the path

// The volume picker, opened from the settings dialog.
#define IDD_VOLUME_PICK 107
#define IDC_VOLUME_LIST 1023
#define IDC_VOLUME_NOTE 1024
// The command of the host list's context menu item "削除(DEL)".
#define CMD_DELETE_ROW 10

#endif
