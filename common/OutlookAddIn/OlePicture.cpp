#include "OlePicture.h"

#include "ErrorReport.h"
#include "ResourceBuffer.h"

namespace Quenzal::OutlookAddIn {

namespace {

PICTDESC Describe(UINT type)
{
    PICTDESC description = {};
    description.cbSizeofstruct = sizeof(description);
    description.picType = type;
    return description;
}

IPictureDispPtr CreatePicture(PICTDESC& description)
{
    IPictureDisp* picture = nullptr;
    HRESULT hr = ::OleCreatePictureIndirect(&description, IID_IPictureDisp, TRUE, reinterpret_cast<void**>(&picture));
    if (FAILED(hr))
        picture = nullptr;
    QZL_CHECK_COM_RESULT(L"Quenzal::OutlookAddIn::CreatePicture", hr);
    return IPictureDispPtr(picture, false);
}

} // namespace

Os::CIcon LoadModuleIcon(UINT id, int width, int height)
{
    UINT flags = width == 0 && height == 0 ? LR_DEFAULTSIZE : 0;
    return Os::CIcon(static_cast<HICON>(
        ::LoadImageW(Os::GetThisModule(), MAKEINTRESOURCEW(id), IMAGE_ICON, width, height, flags)));
}

CBitmap LoadModuleBitmap(UINT id)
{
    return CBitmap(static_cast<HBITMAP>(::LoadImageW(Os::GetThisModule(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0,
                                                     LR_LOADMAP3DCOLORS | LR_LOADTRANSPARENT)));
}

IPictureDispPtr CreateIconPicture(Os::CIcon icon)
{
    PICTDESC description = Describe(PICTYPE_ICON);
    description.icon.hicon = icon.Get();
    IPictureDispPtr picture = CreatePicture(description);
    icon.Detach();
    return picture;
}

IPictureDispPtr CreateBitmapPicture(CBitmap bitmap)
{
    PICTDESC description = Describe(PICTYPE_BITMAP);
    description.bmp.hbitmap = bitmap.Get();
    IPictureDispPtr picture = CreatePicture(description);
    bitmap.Detach();
    return picture;
}

} // namespace Quenzal::OutlookAddIn
