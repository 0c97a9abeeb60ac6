#pragma once
// Resource numbers of the framework's own resources (OutlookAddInResources.rc),
// which every add-in module of the family carries. Only #define lines: the
// resource compiler reads this file too.

// The maker's icon (the core library loads it by this number).
#define IDI_QUENZAL 113

// The log manager dialog and its controls.
#define IDD_LOG_MANAGER 907
#define IDC_LOG_MANAGER_VIEW_LOG 906
#define IDC_LOG_MANAGER_SEND_LOG 912
#define IDC_LOG_MANAGER_DEBUG_LOGGING 918
#define IDC_LOG_MANAGER_CLOSE 8

// The banner at the foot of the options page.
#define IDI_QUENZAL_BANNER 908

// The family members' panel icons and backstage bitmaps, by family index 0, 1, 2.
#define IDI_FAMILY_INBOX_RAMPART 909
#define IDI_FAMILY_LEDGER_VAULT 910
#define IDI_FAMILY_VOICE_RELAY 911
#define IDB_FAMILY_INBOX_RAMPART 904
#define IDB_FAMILY_LEDGER_VAULT 902
#define IDB_FAMILY_VOICE_RELAY 905
