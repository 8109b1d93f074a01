// Resource identifiers of qz6mon, shared by qz6mon.rc and the code. Plain
// macros because the resource compiler reads this file too; no Windows
// header is needed to include it.
#pragma once

// ---- Resource names: the code loads these, qz6mon.rc defines them ------------
#define QZ6MON_MAIN_MENU "MAINMENU"
#define QZ6MON_PROGRAM_ICON "aaaprogicon"
#define QZ6MON_CONFIG_TEMPLATE "CONFIG"
#define QZ6MON_SELCARD_TEMPLATE "SELCARD"
#define QZ6MON_SETCONFIG_TEMPLATE "SETCONFIG"
#define QZ6MON_STREAMVIEW_TEMPLATE "STREAMVIEW"
// The monitor windows' templates and icons.
#define QZ6MON_POLLS_TEMPLATE "POLLS"
#define QZ6MON_POLLS_ICON "iconpolls"
#define QZ6MON_LSTAT_TEMPLATE "LSTAT"
#define QZ6MON_LSTAT_ICON "iconlstat"
#define QZ6MON_OPSTATS_TEMPLATE "OPSTATS"
#define QZ6MON_OPSTATS_ICON "iconopstats"
#define QZ6MON_COMES_TEMPLATE "COMES"
#define QZ6MON_COMES_ICON "iconcomes"
#define QZ6MON_MODEMS_TEMPLATE "MODEMS"
#define QZ6MON_MODEMS_ICON "iconmodems"

// ---- MAINMENU --------------------------------------------------------------
// "&File"
#define IDM_SELECT_DEVICE 1
#define IDM_CONFIGURE 10
#define IDM_CONFIGURE_DEVICE 32
#define IDM_OPEN_DEVICE 30
#define IDM_CLOSE_DEVICE 31
#define IDM_ABOUT 2
#define IDM_EXIT 101
// "&Link Monitor"
#define IDM_LINK_STATUS 102
#define IDM_OPERATIONAL_STATISTICS 105
#define IDM_COMM_ERROR_STATISTICS 108
#define IDM_MODEM_STATUS 110
// "&Configuration"
#define IDM_STREAMING 40002
// "Co&mmands"
#define IDM_ENABLE_COMMUNICATIONS 40003
#define IDM_DISABLE_COMMUNICATIONS 40004
#define IDM_BRIDGE_CONTROL 40005
#define IDM_SET_MODEM_STATUS 40006
#define IDM_CRC_ERROR_CONTROL 40009
#define IDM_SEND_FRAMES 40008
#define IDM_CAPTURE_TO_FILE 40010
#define IDM_LINE_TEST 40011
// "&Polling"
#define IDM_POLLING_WINDOW 103
#define IDM_POLL_NOW 9
#define IDM_SUSPEND_POLLING 11
// "&Window"
#define IDM_OPEN_ALL 3
#define IDM_ARRANGE_ICONS 104
#define IDM_MINIMIZE_ALL 107
#define IDM_AUTO_ARRANGE 4

// ---- CONFIG: polling configuration ----------------------------------------
#define IDC_CONFIG_TICK_INTERVAL 102
#define IDC_CONFIG_TIMER_PERIOD 104
#define IDC_CONFIG_ENABLE_TIMER 105
#define IDC_CONFIG_TIMER_GROUP 106
#define IDC_CONFIG_TIMER_STATE 200

// ---- SELCARD: device selection ---------------------------------------------
#define IDC_SELCARD_NEW_DEVICE 101
#define IDC_SELCARD_SET_DEFAULT 102
#define IDC_SELCARD_CURRENT_DEVICE 103

// ---- Monitor windows, common -------------------------------------------------
#define IDC_MONITOR_CLOSE 399
#define IDC_MONITOR_FLUSH 550
#define IDC_NO_ID -1

// ---- POLLS: Polling and Device Info ----------------------------------------
#define IDC_POLLS_TICK_INDICATOR 101
#define IDC_POLLS_RESULT 100
#define IDC_POLLS_COMMAND 900
#define IDC_POLLS_DEVICE_NAME 901
#define IDC_POLLS_DEVICE_STATUS 902
#define IDC_POLLS_ACTIVE_RESULT 903

// ---- LSTAT: Link Status ------------------------------------------------------
#define IDC_LSTAT_CHANNEL_STATUS 201
#define IDC_LSTAT_FRAMES_QUEUED 202
#define IDC_LSTAT_INTERRUPT_BYTE 203

// ---- MODEMS: Modem Status ----------------------------------------------------
#define IDC_MODEMS_DCD 200
#define IDC_MODEMS_CTS 201

// ---- OPSTATS and COMES: first counter; counters follow in id order ----------
#define IDC_STATS_FIRST_COUNTER 200

// ---- SETCONFIG: streaming configuration to send ---------------------------------
#define IDC_SETCONFIG_OK 100
#define IDC_SETCONFIG_CANCEL 101
#define IDC_SETCONFIG_PASS_CRC 200
#define IDC_SETCONFIG_BAUD 304
#define IDC_SETCONFIG_FRAME_SIZE 308
#define IDC_SETCONFIG_RS232 309
#define IDC_SETCONFIG_RS485 311
#define IDC_SETCONFIG_PERCENT_TX 320
// Modem option boxes 400 to 403 and statistics option boxes 500 to 505,
// one for each bit from bit 0 up.
#define IDC_SETCONFIG_FIRST_MODEM_OPTION 400
#define IDC_SETCONFIG_FIRST_STATISTICS_OPTION 500
#define IDC_SETCONFIG_OPTIONS_GROUP 116
#define IDC_SETCONFIG_BUFFERS_GROUP 117
#define IDC_SETCONFIG_STATISTICS_GROUP 118
#define IDC_SETCONFIG_MODEM_GROUP 119
#define IDC_SETCONFIG_HARDWARE_GROUP 210

// ---- STREAMVIEW: the configuration read at the last open ------------------------
// Nine fields, 200 to 208, in the order of the configuration record.
#define IDC_STREAMVIEW_FIRST_FIELD 200
