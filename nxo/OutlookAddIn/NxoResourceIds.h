#pragma once
// Resource numbers of the add-in module that code and resource script share.
// Dialog and control numbers are separate namespaces; some numbers recur.

// The encryption confirmation.
#define IDD_ENCRYPT_CONFIRM 239
#define IDC_ENCRYPT_DONT_ASK 236
#define IDC_ENCRYPT_TEXT 1000

// Command-bar bitmaps and ribbon icons of the classification buttons.
#define IDB_NOT_SPAM 207
#define IDB_SPAM 208
#define IDI_NOT_SPAM 228
#define IDI_SPAM 229
