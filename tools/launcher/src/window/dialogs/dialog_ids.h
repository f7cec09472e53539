// Resource ids of the settings, dedicated-server and versions dialogs. Read
// by the resource script as well, so it holds only #defines.
#pragma once

#define IDD_SETTINGS 103
#define IDD_DEDICATED_SERVER 105
#define IDD_VERSIONS 106

// Settings dialog.
#define IDC_FULL_SCREEN 1001
#define IDC_BULK_DOWNLOAD 1006
#define IDC_AGGRESSIVE_DOWNLOAD 1007
#define IDC_THREADED_RENDERING 1008
#define IDC_LAUNCHER_GPU 1009
#define IDC_VERIFY 1010
#define IDC_DEFRAG 1011
#define IDC_SETTINGS_GROUP 1018
#define IDC_CACHE_GROUP 1019
#define IDC_SERVER_GROUP 1021
#define IDC_START_SERVER 1022
#define IDC_DIAGNOSTICS_GROUP 1050
#define IDC_GET_LOGS 1051
#define IDC_VERSIONS 1052
#define IDC_GRAPHICS_API 1053
#define IDC_GRAPHICS_API_GROUP 1054
#define IDC_GRAPHICS_ENGINE 1055
#define IDC_GRAPHICS_ENGINE_GROUP 1056

// Shared by the three dialogs.
#define IDC_DIALOG_OK 1016
#define IDC_DIALOG_CANCEL 1017

// Versions dialog.
#define IDC_LAUNCHER_LABEL 1012
#define IDC_LAUNCHER_VERSION 1013
#define IDC_ENGINE_LABEL 1014
#define IDC_ENGINE_VERSION 1015

// Dedicated-server dialog.
#define IDC_SERVER_MODE 1032
#define IDC_CLAN_ONLY 1033
#define IDC_SERVER_MOTD 1034
#define IDC_SERVER_MOTD_LABEL 1035
#define IDC_ALT_MODE 1036
