// Resource ids of Kestrolin, the installer: shared by its resource script and its code.

// Dialog templates
#define IDD_ABOUTBOX 100
#define IDD_INSTALLER_DIALOG 102

// Icon
#define IDI_CARD 128

// Strings
#define IDS_ABOUTBOX 101
#define IDS_INSTALL_IN_PROGRESS 102
#define IDS_REINSTALL_QUESTION 103
#define IDS_UPDATE_ABORTED 104
#define IDS_INSTALLED_RESTART 105
#define IDS_INSTALLED_NO_RESTART 106
#define IDS_INSTALL_ABORTED 107
#define IDS_READY 108

// Controls
#define IDC_STATIC (-1)
#define IDC_STATUS_TEXT 1000

// The About entry the installer appends to its system menu
#define IDM_ABOUTBOX 0x0010
