/* The Windows resources' identifiers (res/nandell.rc and winui/), as the program's design numbers
   them. Plain defines, so that the resource compiler reads them too. */
#pragma once

/* Dialog templates. */
#define IDD_ABOUTBOX 100
#define IDD_MAIN 102
#define IDD_OPTIONS 103

/* The system menu's About entry ("关于 Nandell(&A)..."). */
#define IDS_ABOUTBOX 101

/* Artwork: icon, skins (bitmaps), link cursor, PNG strips (type "png"). */
#define IDI_APP 128
#define IDB_SKIN_MAIN 129
#define IDB_SKIN_ABOUT 144
#define IDB_SKIN_OPTIONS 146
#define IDC_LINK_CURSOR 143
#define IDP_OPTIONS 134
#define IDP_ABOUT 135
#define IDP_CLOSE 136
#define IDP_MINIMIZE 137
#define IDP_PHOTO_FOLDER 138
#define IDP_OUTPUT_FOLDER 140
#define IDP_ORGANIZE 141
#define IDP_STOP 142
#define IDP_ABOUT_CLOSE 145
#define IDP_OPTIONS_OK 147
#define IDP_OPTIONS_CANCEL 148

/* Main window controls. */
#define IDC_PHOTO_FOLDER 1001
#define IDC_OUTPUT_FOLDER 1003
#define IDC_EDIT 1004
#define IDC_ORGANIZE 1005
#define IDC_DELETE_SOURCE 1006
#define IDC_STOP 1007
#define IDC_CLOSE 1009
#define IDC_MINIMIZE 1010
#define IDC_OPTIONS 1011
#define IDC_ABOUT 1012
#define IDC_FOOTER 1013
#define IDC_MESSAGE 1018
#define IDC_PHOTO_TEXT 1019
#define IDC_OUTPUT_TEXT 1020
/* Beyond the designed ones: the failure list's line under the summary, and the line saying
   why the list (or the run's journal) could not be written. */
#define IDC_FAILURE_LIST 1021
#define IDC_REPORT_PROBLEM 1022

/* About box controls (IDOK is its close button). */
#define IDC_ABOUT_WEB 1014
#define IDC_ABOUT_EMAIL 1015
#define IDC_ABOUT_TITLE 1016
#define IDC_ABOUT_ICON 1017
#define IDC_ABOUT_MESSENGER 1018
/* The version, rights and maker lines (unnumbered in the design; numbered so that their
   English can be set). */
#define IDC_ABOUT_VERSION 1030
#define IDC_ABOUT_RIGHTS 1031
#define IDC_ABOUT_MAKER 1032

/* The system menu's About command. */
#define IDM_ABOUTBOX 0x0010
