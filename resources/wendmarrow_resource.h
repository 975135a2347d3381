// Resource ids of Wendmarrow, the uninstaller: shared by its resource script and its code.

// Dialog templates
#define IDD_ABOUTBOX 100
#define IDD_UNINSTALLER_DIALOG 102

// Icon
#define IDI_CARD 128

// Strings
#define IDS_ABOUTBOX 101
#define IDS_UNINSTALL_BUSY 102
#define IDS_UNINSTALLED_RESTART 103
#define IDS_UNINSTALLED_NO_RESTART 104
#define IDS_NOT_UNINSTALLED 105

// Controls
#define IDC_STATIC (-1)
#define IDC_PROGRESS 1002
#define IDC_STATUS_TEXT 1003

// The About entry the uninstaller appends to its system menu
#define IDM_ABOUTBOX 0x0010
