// Resource and control ids of FaultCourier, shared by the code and
// resources/faultcourier.rc (so only preprocessor definitions here).
#pragma once

// Resources.
#define IDR_WATERMARK_JPEG 101
#define IDR_TEXT_TABLE 102
#define IDB_HEADER 103
#define IDI_FAULTCOURIER 112
#define IDR_PROGRESS_AVI 150

// Dialogs: the wizard's pages (page moves name these ids) and the details.
#define IDD_DETAILS 104
#define IDD_INTRO_PAGE 106
#define IDD_OUTRO_PAGE 108
#define IDD_REPRO_STEPS_PAGE 111
#define IDD_SUBMIT_PAGE 112

// Controls.
#define IDC_DETAILS 1001
#define IDC_DESCRIPTION 1002
#define IDC_DETAILS_TEXT 1003
#define IDC_REPRO_PROMPT 1005
#define IDC_PROGRESS_TEXT 1009
#define IDC_REPRO_EDIT 1012
#define IDC_PROGRESS_ANIMATION 1013
#define IDC_SUMMARY 1014
#define IDC_REPRO_THANKS 1017
#define IDC_BUG_NUMBER 1018
