// Identifiers of the Win32 dialog's resources: the converter (template 102), its items, the
// About box (template 100), the Output Options panel (template 103), the report (104), the icon.
#pragma once

#define IDD_ABOUT 100
#define IDD_CONVERTER 102
#define IDD_OUTPUT_OPTIONS 103
#define IDD_REPORT 104
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
#define IDC_READOUT 1010
#define IDC_FIRST_RADIO 1024
#define IDC_CHOOSE_DIRECTORY 1028
#define IDC_ABOUT 1029
#define IDC_OUTPUT_OPTIONS 1030
#define IDC_OPTIONS_SUMMARY 1031
// The frame view's commands (Ctrl +, Ctrl -, Ctrl+1, Ctrl+0 and its context menu).
#define IDC_ZOOM_IN 1040
#define IDC_ZOOM_OUT 1041
#define IDC_ZOOM_ACTUAL 1042
#define IDC_ZOOM_FIT 1043

// The Output Options panel.
#define IDC_OO_LAYOUT 1101
#define IDC_OO_STACK 1102
#define IDC_OO_COMPRESSION 1103
#define IDC_OO_PREDICTOR 1104
#define IDC_OO_PIXEL_SIZE 1105
#define IDC_OO_FOLDER 1106
#define IDC_OO_BROWSE 1107
#define IDC_OO_PATTERN 1108
#define IDC_OO_SUGGEST 1109
#define IDC_OO_RECURSIVE 1110
#define IDC_OO_MIRROR 1111
#define IDC_OO_INPUT_BITS 1112
#define IDC_OO_FRAMES 1113
#define IDC_OO_EXCLUDE 1114
#define IDC_OO_ONLY_ORX 1115
#define IDC_OO_SALVAGE 1116
#define IDC_OO_PROBLEM 1117
#define IDC_OO_KEEP_WATCHING 1118
#define IDC_OO_LEVEL 1119
#define IDC_OO_LEVEL_SPIN 1120
#define IDC_OO_OME 1121
#define IDC_OO_BIGTIFF 1122

// The report.
#define IDC_REPORT_TEXT 1201
#define IDC_REPORT_COPY 1202
#define IDC_REPORT_SAVE 1203
