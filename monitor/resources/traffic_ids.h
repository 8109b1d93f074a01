// Resource ids of the line traffic windows and dialogs, shared by
// traffic.rc and the code in monitor/traffic/, monitor/capture/ and
// monitor/line_test/. Plain macros: the resource compiler reads this file
// too.
#pragma once

// Resource names: the code loads these, traffic.rc defines them.
#define QZ6MON_RDETAIL_TEMPLATE "RDETAIL"
#define QZ6MON_DENTRY_TEMPLATE "DENTRY"
#define QZ6MON_SETMODEM_TEMPLATE "SETMODEM"
#define QZ6MON_LINETEST_TEMPLATE "LINETEST"
#define QZ6MON_CAPTURE_TEMPLATE "CAPTURE"

// ---- RDETAIL: Receive Detail -------------------------------------------------
#define IDC_RDETAIL_LIST 102
#define IDC_RDETAIL_DUMP 103
#define IDC_RDETAIL_DISPLAY 160
#define IDC_RDETAIL_COUNTER 161
#define IDC_RDETAIL_COUNT 162

// ---- DENTRY: Send Frames -----------------------------------------------------
#define IDC_DENTRY_SEND 100
#define IDC_DENTRY_CLOSE 101
#define IDC_DENTRY_DATA_IS_TEXT 106
#define IDC_DENTRY_HISTORY 107
#define IDC_DENTRY_DATA 113
#define IDC_DENTRY_LENGTH 114
#define IDC_DENTRY_STATUS 150
#define IDC_DENTRY_START_STOP 151
#define IDC_DENTRY_DATA_LABEL 201

// ---- SETMODEM: Set Modem Status ----------------------------------------------
#define IDC_SETMODEM_DTR 200
#define IDC_SETMODEM_RTS 201

// ---- LINETEST: Line Test -------------------------------------------------------
#define IDC_LINETEST_START_STOP 1
#define IDC_LINETEST_CLOSE 2
#define IDC_LINETEST_FRAMES 100
#define IDC_LINETEST_LENGTH 101
#define IDC_LINETEST_PARTNER 102
#define IDC_LINETEST_RATE 103
#define IDC_LINETEST_SENT 200
#define IDC_LINETEST_RECEIVED 201
#define IDC_LINETEST_LOST 202
#define IDC_LINETEST_OUT_OF_ORDER 203
#define IDC_LINETEST_CORRUPTED 204
#define IDC_LINETEST_FRAMES_PER_SECOND 205
#define IDC_LINETEST_BITS_PER_SECOND 206
#define IDC_LINETEST_PERCENT 207
#define IDC_LINETEST_VERDICT 208
#define IDC_LINETEST_PROGRESS 300

// ---- CAPTURE: Capture to File ---------------------------------------------------
#define IDC_CAPTURE_PATH 100
#define IDC_CAPTURE_LINK_TYPE 101
#define IDC_CAPTURE_INCLUDE_SENT 102
#define IDC_CAPTURE_BROWSE 103
