/* Identifiers shared by the resource script, the shell and the tests that drive the dialogs. */
#pragma once

#define IDR_PIPL 16000

/* Options dialog "SIMPLEDIALOG". OK and Cancel are the platform's IDOK (1) and IDCANCEL (2). */
#define IDC_USE_COLOUR_KEY 3
#define IDC_CHOOSE_COLOUR 4
#define IDC_SMOOTH_RANGE 1014
#define IDC_KEY_RED 1015
#define IDC_KEY_GREEN 1016
#define IDC_KEY_BLUE 1017

/* About box. */
#define IDD_ABOUT 16000
#define IDC_ABOUT_TEXT 3

/* String table. Only IDS_ABOUT is loaded; the others are kept for hosts and tools that list them. */
#define IDS_ABOUT 16000
#define IDS_ABOUT_ESCAPED 16002
#define IDS_NEED_INTEGER 16990
#define IDS_NEED_DECIMAL 16991
#define IDS_HOST_TOO_OLD 16992
#define IDS_HOST_INCOMPATIBLE 16993
#define IDS_SUITE_MISSING 16994
