// Every command, control, message and resource identifier of the resident program. The resource
// script includes this header too, so the values are plain macros.
#pragma once

#define IDR_MAINMENU 1
#define IDR_ACCELERATORS 1
#define IDD_ABOUT 1
#define IDD_OPTIONS 2
#define IDR_BROWSERMENU 2
#define IDR_BROWSERKEYS 2
#define IDI_KELVANE 1
#define IDB_TOOLBAR 1    // 16 px buttons, for 100 %
#define IDB_TOOLBAR24 2  // 150 %
#define IDB_TOOLBAR32 3  // 200 %

#define IDM_OPTIONS 1003
#define IDM_CLOSE 1006
#define IDM_EXIT 1007
#define IDM_STARTATLOGON 1008
#define IDM_OPENARCHIVE 1010
#define IDM_QUITKEEPINGJOBS 1009  // no menu item: setup's and the uninstaller's
#define IDM_DELETE 1015
#define IDM_EXTRACT 1021
#define IDM_CONTINUOUS 1022
#define IDM_PAUSE 1023
#define IDM_CANCELALL 1024
#define IDM_CANCELRUNNING 1025
#define IDM_CHANGEDEST 1031
#define IDM_ABOUT 1041
// The browser's commands.
#define IDM_BROWSE_BACK 1051
#define IDM_BROWSE_UP 1052
#define IDM_BROWSE_STOP 1053
#define IDM_BROWSE_ENTER 1054
#define IDM_BROWSE_EXTRACT 1055
#define IDM_BROWSE_EXTRACTTO 1056
#define IDM_BROWSE_CLOSE 1057
#define IDM_BROWSE_SELECTALL 1058

// The uninstaller's switch (app/RemoveDataCommand.h), and the folder beside the program where setup
// puts files it replaced while they were in use (app/ReplacedFiles.h). The installer takes these and
// the two quit commands above from here when it is made.
#define SWITCH_REMOVEDATA "/RemoveData"
#define FOLDER_REPLACED "Replaced"

#define IDC_TOOLBAR 1300
#define IDC_JOBLIST 1301
// The options dialog's controls.
#define IDC_PLUGINFOLDER 1310
#define IDC_FOLDERSOURCE 1311
#define IDC_CHANGEFOLDER 1312
#define IDC_DEFAULTFOLDER 1313
#define IDC_PLUGINLIST 1314
#define IDC_PLUGINSETTINGS 1315
#define IDC_PLUGINNOTE 1316
// The browser's controls.
#define IDC_BROWSERTOOLBAR 1320
#define IDC_ADDRESS 1321
#define IDC_BROWSERLIST 1322
#define IDC_BROWSERSTATUS 1323

// Private messages. WM_USER itself means "a hand-off block is pending"; WM_USER + 2 and + 6 are the
// worker's (jobs/Worker.h).
#define WM_TRAYNOTIFY (WM_USER + 4)
// The options dialog's, from its threads: a plug-in's facts have come, its settings dialog has closed.
#define WM_PLUGINANSWERED (WM_APP + 1)
#define WM_PLUGINCONFIGURED (WM_APP + 2)

#define IDT_FAILURES 1
#define IDT_RUNNING 2
#define IDT_FLUSH 3

#ifndef RC_INVOKED
#include <windows.h>

static_assert(WM_USER == 1024 && WM_TRAYNOTIFY == 1028);
// The system menu carries the exit command too: it must not collide with SC_* values (>= 0xF000).
static_assert(IDM_EXIT < SC_SIZE);
#endif
