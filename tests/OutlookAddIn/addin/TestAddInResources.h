#pragma once
// The test add-in's images: its command's ribbon icon and command-bar bitmap,
// and an icon number that names no resource.
#define IDI_TEST_COMMAND 301
#define IDB_TEST_COMMAND 311
#define IDI_TEST_MISSING 399
