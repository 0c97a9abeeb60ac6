#pragma once
// Holders for what GDI hands out: a window's device context, an object
// selected into a device context, and bitmaps.

#include "SmartPointer.h"

namespace Quenzal::Ui {

// A window's device context, released with the window it came from.
class CWindowDC {
public:
    explicit CWindowDC(HWND window) : m_window(window), m_dc(::GetDC(window)) {}
    ~CWindowDC()
    {
        if (m_dc != nullptr)
            ::ReleaseDC(m_window, m_dc);
    }
    CWindowDC(const CWindowDC&) = delete;
    CWindowDC& operator=(const CWindowDC&) = delete;
    HDC Get() const { return m_dc; }

private:
    HWND m_window;
    HDC m_dc;
};

// Selects an object into a device context and puts the previous one back.
class CSelectedObject {
public:
    CSelectedObject(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(::SelectObject(dc, object)) {}
    ~CSelectedObject()
    {
        if (m_previous != nullptr && m_previous != HGDI_ERROR)
            ::SelectObject(m_dc, m_previous);
    }
    CSelectedObject(const CSelectedObject&) = delete;
    CSelectedObject& operator=(const CSelectedObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

struct BitmapDestructor {
    static bool IsValid(HBITMAP bitmap) { return bitmap != nullptr; }
    static void Destroy(HBITMAP bitmap) { ::DeleteObject(bitmap); }
};
using CBitmap = SmartPointer<HBITMAP, BitmapDestructor>;

} // namespace Quenzal::Ui
