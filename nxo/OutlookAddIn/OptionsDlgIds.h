#pragma once
// Numbers of the options dialog and the whitelist-scan dialog and of their
// controls, shared by the resource script and the code. Dialog, control and
// message numbers are separate name spaces and overlap on purpose (dialog
// 226 holds a button 226).

#define IDD_NXO_OPTIONS 226
#define IDD_NXO_SCAN_WHITELIST 240

// Options dialog controls.
#define IDC_NXO_WHITELIST_ON_NOT_SPAM 209
#define IDC_NXO_WHITELIST_ON_SENT_MESSAGE 210
#define IDC_NXO_WHITELIST_ON_NEW_CONTACT 211
#define IDC_NXO_SPAM_COUNT 214
#define IDC_NXO_NOT_SPAM_COUNT 215
#define IDC_NXO_MOVE_TO_FOLDER 216
#define IDC_NXO_DELETE_PERMANENTLY 217
#define IDC_NXO_MOVE_TO 218
#define IDC_NXO_NOTE_LABEL 222
#define IDC_NXO_NOTE 223
#define IDC_NXO_IMPORT_WHITELIST 226
#define IDC_NXO_SPAM_ICON 230
#define IDC_NXO_SPAM_COUNT_ICON 231
#define IDC_NXO_NOT_SPAM_ICON 232
#define IDC_NXO_NOT_SPAM_COUNT_ICON 233
#define IDC_NXO_URI 237
#define IDC_NXO_URI_STATUS 239
#define IDC_NXO_REPAIR 241

// Whitelist-scan dialog controls.
#define IDC_NXO_SCAN_SENT_ITEMS 242
#define IDC_NXO_SCAN_CONTACTS 243
