#pragma once
// The add-in's own folder for the files it keeps between runs (the log, the
// cached whitelist): "Quenzal\Inbox Rampart\Outlook Add-In" in the user's
// local application data.

#include "StringW.h"

// Ends in a backslash; the folder itself is not created here.
Quenzal::StringW GetNxoDataDirectory();
