#pragma once
// Office shows ribbon and backstage images and command-bar button faces from
// OLE pictures; these are made here from the module's icons and bitmaps. A
// picture owns its handle once it is made: the handle is destroyed with the
// picture, or by its holder when no picture could be made.

#include "GdiObjects.h"
#include "OsHelperObjects.h"

#include <comdef.h>
#include <olectl.h>

namespace Quenzal::OutlookAddIn {

using Ui::CBitmap;

using IPictureDispPtr = _com_ptr_t<_com_IIID<IPictureDisp, &IID_IPictureDisp>>;

// Resources of the module this code is linked into; an empty holder when the
// resource is missing. Icons are owned copies (never the shared ones that
// LoadIcon gives, which a picture must not destroy); width and height 0 mean
// the system's icon size.
Os::CIcon LoadModuleIcon(UINT id, int width = 0, int height = 0);
// Bitmaps with the 3D colours mapped and the corner pixel's colour made transparent.
CBitmap LoadModuleBitmap(UINT id);

// Raise CComError when the picture cannot be made.
IPictureDispPtr CreateIconPicture(Os::CIcon icon);
IPictureDispPtr CreateBitmapPicture(CBitmap bitmap);

} // namespace Quenzal::OutlookAddIn
