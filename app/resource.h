// Identifiers of the program's resources (Tavrin.rc) and of its menu
// commands. Shared by the resource script and the C++ sources.
#pragma once

#define IDS_APP_TITLE 103
#define IDC_TAVRIN 109

#define IDD_ABOUTBOX 103
#define IDC_CONTACT_LINK 1000

// The prompt before a new phone takes control.
#define IDD_PHONE_PROMPT 104
#define IDC_PROMPT_TEXT 1001
#define IDC_PROMPT_ALLOW 1002
#define IDC_PROMPT_ALWAYS 1003
#define IDC_PROMPT_DENY 1004
#define IDC_PROMPT_NOTE 1005

#define IDR_TRAY_MENU 129
#define IDI_TAVRIN 135

#define IDM_EXIT 105
#define IDM_AUTORUN 32772
#define IDM_ABOUT 32773
#define IDM_MAIL_TO_US 32779
#define IDM_DOWNLOAD_LATEST 32778
#define IDM_IP_ADDRESS 32781
#define IDM_WEBSITE 32782
#define IDM_FACEBOOK 32784
#define IDM_STORE_IPHONE_1 32790
#define IDM_STORE_IPHONE_2 32791
#define IDM_STORE_IPAD_1 32792
#define IDM_STORE_IPAD_2 32793
#define IDM_STORE_ANDROID_1 32794
#define IDM_STORE_ANDROID_2 32795
#define IDM_STORE_ANDROID_3 32796
#define IDM_STORE_ANDROID_4 32797

// The "Phones" submenu. Each connected phone's "Disconnect" is
// IDM_DISCONNECT_FIRST + its place in the list, in order of connection.
#define IDM_NO_PHONE 32800
#define IDM_PAUSE_PHONES 32801
#define IDM_ASK_FIRST 32802
#define IDM_FORGET_ALLOWED 32803
#define IDM_DISCONNECT_FIRST 33000
#define IDM_DISCONNECT_LAST 33255

// The "Recent Messages" submenu: the placeholder, and the newest message
// first from IDM_RECENT_FIRST.
#define IDM_NO_MESSAGE 32804
#define IDM_RECENT_FIRST 33300
#define IDM_RECENT_LAST 33309
// Shown while the firewall blocks phones: the menu's command that allows them,
// and the grayed line at the top of the "Phones" submenu that says why.
#define IDM_ALLOW_FIREWALL 32810
#define IDM_FIREWALL_CAUSE 32811
