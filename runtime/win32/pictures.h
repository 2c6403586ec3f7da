// The window's pictures, icon and pointer, decoded from the embedded files
// by the Windows Imaging Component.
#pragma once

#include "win32_host.h"

#include <cstdint>
#include <string_view>

namespace rt::win32 {

// A picture as GDI draws it: a DIB section at the window's scale. Pictures
// are decoded again when the scale changes, so no decoded copy is kept.
struct FormWindow::Picture {
    int width = 0, height = 0; // design pixels
    bool opaque = true;
    HBITMAP scaled = nullptr;

    ~Picture()
    {
        if (scaled)
            DeleteObject(scaled);
    }
};

// An embedded picture decoded by WIC straight into a DIB section, each
// pixel repeated scale × scale times: never smoothed. A picture with a
// palette and no transparent entry keeps its palette, a quarter of the
// memory of the window picture's 32 bits a pixel; any other becomes
// premultiplied BGRA.
struct Decoded {
    HBITMAP dib = nullptr;
    int width = 0, height = 0;
    bool opaque = true;
    const std::uint32_t* pixels = nullptr; // BGRA, top row first; null when indexed
};

Decoded decodeAt(IWICImagingFactory* wic, std::string_view path, int scale, bool mayKeepPalette);

// An icon or pointer from an embedded ICO file, its transparency in both
// the alpha channel and the mask.
HICON iconFrom(IWICImagingFactory* wic, std::string_view path, int scale, bool isIcon, int hotX, int hotY);

} // namespace rt::win32
