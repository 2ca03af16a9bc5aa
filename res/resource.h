// Resource identifiers, shared by the resource script and the code.
#pragma once

#define IDD_WYINSTALLER_DIALOG 102
#define IDB_BANNER             110
#define IDR_MAINFRAME          128

#define IDS_CONNECTING         141
#define IDS_NO_INTERNET        142
#define IDS_HELP_LINK          146
#define IDS_CLOSE              147
#define IDS_RETRY              148
#define IDS_CANCEL_CAPTION     150
#define IDS_TITLE              152
#define IDS_DOWNLOAD_FAILED    153
#define IDS_DOWNLOADING        154
#define IDS_CANCEL_PROMPT      155
#define IDS_FIREWALL_HINT      156

#define IDC_STATUS_TEXT        1000
#define IDC_DETAIL_TEXT        1001
#define IDC_HELP_LINK          1002
#define IDC_PROGRESS           1003
#define IDC_BANNER             1004
