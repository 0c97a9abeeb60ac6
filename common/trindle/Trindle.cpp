#include "Trindle.h"

#include "ErrorReport.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace Quenzal::Ui {

Os::CIcon GetQuenzalIcon()
{
    // An icon from LoadIconW is shared and must not be destroyed; this one is
    // our own copy at the same (default icon) size, so the holder may free it.
    Os::CIcon icon(static_cast<HICON>(::LoadImageW(reinterpret_cast<HINSTANCE>(&__ImageBase), MAKEINTRESOURCEW(113),
                                                   IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));
    if (!icon)
        QZL_THROW(QZL_FUNCTION, CWinError(L"Unable to load Quenzal icon"));
    return icon;
}

} // namespace Quenzal::Ui
