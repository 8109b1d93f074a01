// Resource names and control ids of qz6conf, shared by qz6conf.rc and the code.
#pragma once

// The private window class, also named in the class field of MAINWIN.
#define QZ6CONF_WINDOW_CLASS "Qz6ConfWindow"

#define QZ6CONF_MAIN_TEMPLATE "MAINWIN"
#define QZ6CONF_ICON "confprog"

// MAINWIN controls.
#define IDC_QUIT 100
#define IDC_HARDWARE_GROUP 101
#define IDC_SET 110
#define IDC_CLEAR_ENTRY 111
#define IDC_DEVICE_LIST 200
#define IDC_IO_PORT 400
#define IDC_MEMORY 401
#define IDC_IRQ 402

// System menu item appended by the program.
#define ID_ABOUT 4096
