/* Numbers of Ostrel's resources and controls, shared by the resource script and the code. */
#ifndef OSTREL_RES_RESOURCE_H
#define OSTREL_RES_RESOURCE_H

#define IDD_ABOUTBOX 100
#define IDD_OSTREL_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_SOURCE_EDIT 1000
#define IDC_BROWSE_SOURCE 1001
#define IDC_TARGET_EDIT 1002
#define IDC_BROWSE_TARGET 1003
#define IDC_CONVERT 1004
#define IDC_RESULTS_EDIT 1006

/* The About command on the main dialog's system menu. */
#define IDM_ABOUTBOX 0x0010

#endif
