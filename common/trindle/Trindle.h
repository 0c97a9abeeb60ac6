#pragma once
// The maker's icon, carried as icon resource 113 of the module this code is
// linked into.

#include "OsHelperObjects.h"

namespace Quenzal::Ui {

Os::CIcon GetQuenzalIcon();

} // namespace Quenzal::Ui
