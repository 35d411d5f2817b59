// Resource ids of VELODvr.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_VELODVR_DIALOG 102
#define IDD_INIT 154

// Strings.
#define IDS_ABOUTBOX 101
#define IDS_SOCKETS_INIT_FAILED 103
#define IDS_PORT 104

// Icons.
#define IDR_MAINFRAME 128
#define IDI_VIEWER 132
#define IDI_SPARE 133

// Start-up dialog controls.
#define IDC_PORT 1007
#define IDC_LABEL_PORT 1006
#define IDC_ADDRESS_LIST 1016
#define IDC_LABEL_ADDRESS 1014
#define IDC_DELETE 1018
#define IDC_RADIO_SIMPLIFIED 1019
#define IDC_RADIO_ENGLISH 1020
#define IDC_RADIO_TRADITIONAL 1021
#define IDC_OK 1022
#define IDC_LEAVE 1023
#define IDC_REGISTER 1024
#define IDC_UNREGISTER 1025
#define IDC_TEST 1027

// Viewer dialog controls.
#define IDC_SET_IP_PORT 1001
#define IDC_FRAME_TOP 1002
#define IDC_FRAME_BOTTOM 1003
#define IDC_LABEL_VIEWER_ADDRESS 1004
#define IDC_VIEWER_ADDRESS 1005
#define IDC_VIEWER_LABEL_PORT 1006
#define IDC_VIEWER_PORT 1007
#define IDC_EXIT 1008
#define IDC_BUTTON1 1010
#define IDC_DVROCX 1011
#define IDC_BUTTON2 1012
#define IDC_BUTTON3 1013

// The About entry of the viewer's system menu.
#define IDM_ABOUTBOX 0x0010
