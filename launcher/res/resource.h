// Identifiers of the launcher's resources. Strings: 2001-2008 captions and
// titles, 3000-3016 messages (text, ESC, caption), 3017-3019 and 3021 parts
// of messages, 3020 and 3030-3041 messages added since (the settings file,
// the command dialogs, the hot key). Icon and menu: 160-161.
// Menu commands: 40001-40004 fixed, 50000 up the command history.
#pragma once

#define IDS_SETTINGS_CAPTION            2001
#define IDS_COLUMN_COMMAND              2002
#define IDS_COLUMN_COMMAND_LINE         2003
#define IDS_BROWSE_PROGRAM_TITLE        2004
#define IDS_AUTOSTART_DESCRIPTION       2006
#define IDS_COLUMN_ITEM_COUNT           2007
#define IDS_COLUMN_FIRST_COMMAND_LINE   2008

#define IDS_ENTER_COMMAND_WORD          3000
#define IDS_ENTER_PROGRAM               3001
#define IDS_COMMAND_EXISTS              3002
#define IDS_COMMAND_RESERVED            3003
#define IDS_NO_HOT_KEY                  3004
#define IDS_EXECUTE_FAILED              3006
#define IDS_COMMAND_HAS_SPACE           3007
#define IDS_ADD_COMMAND_FAILED          3008
#define IDS_REMOVE_COMMAND_FAILED       3009
#define IDS_INIT_FAILED                 3011
#define IDS_SETTINGS_UNREADABLE         3012
#define IDS_AUTOSTART_FAILED            3013
#define IDS_SAVE_SETTINGS_FAILED        3014
#define IDS_SYSTEM_RENAMED              3015
#define IDS_COMMAND_LINE_TOO_LONG       3016

// The hot key is taken: told once at start-up, naming the key.
#define IDS_HOT_KEY_TAKEN               3040

// Reasons inserted into message 3012.
#define IDS_XML_STRUCTURE_ERROR         3017
#define IDS_XML_INCOMPLETE              3018
#define IDS_OUT_OF_MEMORY               3019

// A save that leaves an unreadable settings file alone; the reason a file
// that is there could not be opened.
#define IDS_SETTINGS_NOT_SAVED          3020
#define IDS_OPEN_FAILED                 3021

#define IDI_TARNIC                      160
#define IDR_CONTEXT_MENU                161

// The notification icon's menu.
#define ID_SETTING                      40001
#define ID_QUIT                         40002
#define ID_HELP                         40003
#define ID_ABOUT                        40004

// The history sub-menu is rebuilt on each opening: entry i gets
// ID_HISTORY_BASE + i. The history holds at most 255 entries, so those ids
// stay below the placeholder's, which is the sub-menu's only (greyed) item
// in the script and stands in whenever the history is empty.
#define ID_HISTORY_BASE                 50000
#define IDM_HISTORY_PLACEHOLDER         50999

// About box: dialog 101 with its version static, home-page link and
// version-check button; dialog 177 holds the browser of the version check.
#define IDD_ABOUT                       101
#define IDD_CONNECT                     177
#define IDC_VERSION_TEXT                1000
#define IDC_HOMEPAGE_LINK               4000
#define IDC_CHECK_VERSION               4004
#define IDS_VERSION_UNKNOWN             2100

// Command editing dialogs (CommandDialogs.rc). A control's help text is the
// string with the control's id.
#define IDD_ENTRY                       102
#define IDD_EDIT_COMMAND                103
#define IDC_COMMAND_WORD                1050
#define IDC_COMMAND_LINES               1051
#define IDC_ADD_LINE                    1052
#define IDC_EDIT_LINE                   1053
#define IDC_DELETE_LINE                 1054
#define IDC_MOVE_LINE_UP                1055
#define IDC_MOVE_LINE_DOWN              1056
#define IDC_PROGRAM                     1060
#define IDC_ENTRY_NOTE                  1061
#define IDC_OPTIONS                     1062
#define IDC_BROWSE_OPTIONS              1063
#define IDC_BROWSE_PROGRAM              4005
#define IDS_COMMAND_WORD_TOO_LONG       3030
#define IDS_DROP_ONE_PROGRAM            3031
#define IDS_PROGRAM_QUOTES              3032
#define IDS_DROP_TOO_LONG               3033
#define IDS_FIELD_FULL                  3034

// Settings sheet: page templates 110-119, grip bitmaps 150-152, control ids
// 1100-1204 and 4001-4002 (each also the string id of its help text), and
// message 3041.
#define IDD_PROPPAGE_COMMAND            110
#define IDD_PROPPAGE_WINDOW             111
#define IDD_PROPPAGE_INPUT              112
#define IDD_PROPPAGE_OTHERS             119
#define IDB_GRIP_HELD                   150
#define IDB_GRIP_MOVE                   151
#define IDB_GRIP_SIZE                   152
#define IDC_SHEET_SEPARATOR             100

#define IDC_COMMAND_LIST                1100
#define IDC_COMMAND_ADD                 1101
#define IDC_COMMAND_EDIT                1102
#define IDC_COMMAND_DELETE              1103

#define IDC_WINDOW_MOVE_GRIP            1110
#define IDC_WINDOW_SIZE_GRIP            1111
#define IDC_WINDOW_X                    1112
#define IDC_WINDOW_Y                    1113
#define IDC_WINDOW_CX                   1114
#define IDC_WINDOW_CY                   1115
#define IDC_WINDOW_TEXT_COLOR           1116
#define IDC_WINDOW_BG_COLOR             1117
#define IDC_WINDOW_FONT                 1118
#define IDC_WINDOW_SAMPLE               1119
#define IDC_WINDOW_TRANSPARENCY         1120
#define IDC_WINDOW_TRANSPARENT_LABEL    1121
#define IDC_WINDOW_OPAQUE_LABEL         1122

#define IDC_OTHERS_STATIONED            1190
#define IDC_OTHERS_AUTOSTART            1191
#define IDC_OTHERS_HOTKEY               1192
#define IDC_OTHERS_HOTKEY_LABEL         1193
#define IDC_INPUT_AUTOCOMPLETE          1194
#define IDC_INPUT_INTELLISENSE          1195
#define IDC_INPUT_HISTORY_SIZE          1202
#define IDC_INPUT_HISTORY_SPIN          1203
#define IDC_INPUT_CLEAR_HISTORY         1204
#define IDC_INPUT_HISTORY_LIST          4001
#define IDC_INPUT_APPLY_RESERVED        4002

// The hot key the Others page applies is held by another program.
#define IDS_SHEET_HOT_KEY_TAKEN         3041
