// Identifiers of the Win32 dialog's resources: the converter (template 102), its items, the
// About box (template 100), the icon.
#pragma once

#define IDD_ABOUT 100
#define IDD_CONVERTER 102
#define IDI_QUILLFEN 128

#define IDC_STRIP 1001
#define IDC_PICTURE 1002
#define IDC_LIGHT 1003
#define IDC_OPEN_FOLDER 1004
#define IDC_SHOW_REPORT 1005
#define IDC_ROW_PROFILE 1006
#define IDC_COLUMN_PROFILE 1007
#define IDC_PROGRESS 1008
#define IDC_ABOUT_VERSION 1009
#define IDC_FIRST_RADIO 1024
#define IDC_CHOOSE_DIRECTORY 1028
#define IDC_ABOUT 1029
