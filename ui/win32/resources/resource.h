// Resource and command ids of the Win32 front end, shared by the .rc files and the code.
#pragma once

// Icons.
#define IDI_TESSALY 1

// Password dialog.
#define IDD_PASSWORD 100
#define IDC_PASSWORD_PROMPT 101
#define IDC_PASSWORD_EDIT 102

// Child windows of the main window.
#define IDC_TOOLBAR 200
#define IDC_STATUSBAR 201
#define IDC_FILELIST 202
#define IDC_FOLDERTREE 203
#define IDC_FILEBROWSER 204
#define IDC_TITLEPANEL 205
#define IDC_PROGRESS 206
#define IDC_SELECT_ALL_TOOL 207
#define IDC_SELECT_NONE_TOOL 208

// Commands (menus, toolbar, accelerators and pop-ups; the table in main_form_commands.cpp).
#define IDM_NEW 1000
#define IDM_OPEN 1001
#define IDM_FAVORITES 1002
#define IDM_CLOSE 1003
#define IDM_PROPERTIES 1004
#define IDM_PRINT 1005
#define IDM_MAIL 1006
#define IDM_CREATE_SHORTCUT 1007
#define IDM_MOVE_ARCHIVE 1008
#define IDM_COPY_ARCHIVE 1009
#define IDM_RENAME_ARCHIVE 1010
#define IDM_DELETE_ARCHIVE 1011
#define IDM_EXIT 1012
#define IDM_RECENT_FIRST 1020  // 1020..1024: recent archives 1..5

#define IDM_SELECT_ALL 1100
#define IDM_SELECT_NONE 1101
#define IDM_INVERT_SELECTION 1102
#define IDM_FIND 1103

#define IDM_ADD 1200
#define IDM_EXTRACT 1201
#define IDM_VIEW 1202
#define IDM_DELETE_ENTRIES 1203
#define IDM_RENAME_ENTRY 1204
#define IDM_COMMENT 1205
#define IDM_TEST 1206
#define IDM_VIRUS_SCAN 1207
#define IDM_CHECKOUT 1208
#define IDM_INSTALL 1209
#define IDM_MAKE_EXE 1210
#define IDM_EXE_TO_ZIP 1211
#define IDM_UUENCODE 1212

#define IDM_SORT_FIRST 1300  // 1300..1307: sort orders 1..8 (name .. listed order)
#define IDM_STYLE_CLASSIC 1310
#define IDM_STYLE_EXPLORER 1311
#define IDM_FOLDERS_BAR 1312
#define IDM_UP_FOLDER 1313
#define IDM_REFRESH 1314
#define IDM_VIEW_TOOLBAR 1315
#define IDM_VIEW_STATUSBAR 1316
#define IDM_LAST_OUTPUT 1317

#define IDM_CONFIGURATION 1400
#define IDM_SELECT_BUTTONS 1401
#define IDM_REUSE_WINDOWS 1402

#define IDM_HELP_CONTENTS 1500
#define IDM_ABOUT 1501
