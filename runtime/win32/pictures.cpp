// Decodes the embedded pictures with WIC straight into DIB sections at the
// window's scale, and builds the icon and the aiming pointer from them.
#include "pictures.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <vector>

namespace rt::win32 {

using Microsoft::WRL::ComPtr;

namespace {

void check(HRESULT hr, const char* what, std::string_view path)
{
    if (FAILED(hr))
        fail(std::string(what) + " " + std::string(path), hr);
}

} // namespace

Decoded decodeAt(IWICImagingFactory* wic, std::string_view path, int scale, bool mayKeepPalette)
{
    const std::string_view bytes = resourceBytes(path);
    ComPtr<IWICStream> stream;
    check(wic->CreateStream(&stream), "cannot read", path);
    check(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                       static_cast<DWORD>(bytes.size())),
          "cannot read", path);
    ComPtr<IWICBitmapDecoder> decoder;
    check(wic->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &decoder),
          "cannot decode", path);
    ComPtr<IWICBitmapFrameDecode> frame;
    check(decoder->GetFrame(0, &frame), "cannot decode", path);

    WICPixelFormatGUID format{};
    ComPtr<IWICPalette> palette;
    BOOL paletteHasAlpha = TRUE;
    WICColor colours[256]{};
    UINT colourCount = 0;
    const bool indexed = mayKeepPalette && SUCCEEDED(frame->GetPixelFormat(&format)) &&
                         format == GUID_WICPixelFormat8bppIndexed && SUCCEEDED(wic->CreatePalette(&palette)) &&
                         SUCCEEDED(frame->CopyPalette(palette.Get())) &&
                         SUCCEEDED(palette->HasAlpha(&paletteHasAlpha)) && !paletteHasAlpha &&
                         SUCCEEDED(palette->GetColors(256, colours, &colourCount));
    ComPtr<IWICBitmapSource> source;
    if (indexed) {
        source = frame;
    } else {
        ComPtr<IWICFormatConverter> converter;
        check(wic->CreateFormatConverter(&converter), "cannot convert", path);
        check(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                    0.0, WICBitmapPaletteTypeCustom),
              "cannot convert", path);
        source = converter;
    }
    UINT w = 0, h = 0;
    check(source->GetSize(&w, &h), "cannot decode", path);
    if (scale > 1) {
        ComPtr<IWICBitmapScaler> scaler;
        check(wic->CreateBitmapScaler(&scaler), "cannot scale", path);
        check(scaler->Initialize(source.Get(), w * scale, h * scale, WICBitmapInterpolationModeNearestNeighbor),
              "cannot scale", path);
        source = scaler;
        w *= scale;
        h *= scale;
    }

    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = static_cast<LONG>(w);
    info.header.biHeight = -static_cast<LONG>(h); // top-down, like WIC's rows
    info.header.biPlanes = 1;
    info.header.biBitCount = indexed ? 8 : 32;
    info.header.biCompression = BI_RGB;
    if (indexed) {
        info.header.biClrUsed = colourCount;
        for (UINT i = 0; i < colourCount; ++i)
            info.colours[i] = {static_cast<BYTE>(colours[i]), static_cast<BYTE>(colours[i] >> 8),
                               static_cast<BYTE>(colours[i] >> 16), 0};
    }
    const UINT stride = indexed ? (w + 3) / 4 * 4 : w * 4; // DIB rows end on a 4-byte boundary
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib)
        fail("cannot create a bitmap for " + std::string(path));
    const HRESULT copied = source->CopyPixels(nullptr, stride, stride * h, static_cast<BYTE*>(bits));
    if (FAILED(copied)) {
        DeleteObject(dib);
        check(copied, "cannot decode", path);
    }
    Decoded image{dib, static_cast<int>(w), static_cast<int>(h), true, nullptr};
    if (!indexed) {
        image.pixels = static_cast<const std::uint32_t*>(bits);
        const std::uint32_t* end = image.pixels + size_t{w} * h;
        image.opaque = std::all_of(image.pixels, end, [](std::uint32_t pixel) { return (pixel >> 24) == 0xFF; });
    }
    return image;
}

HICON iconFrom(IWICImagingFactory* wic, std::string_view path, int scale, bool isIcon, int hotX, int hotY)
{
    const Decoded image = decodeAt(wic, path, scale, false);
    const int maskStride = (image.width + 15) / 16 * 2; // rows of whole words
    std::vector<BYTE> mask(static_cast<size_t>(maskStride) * image.height, 0);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if ((image.pixels[static_cast<size_t>(y) * image.width + x] >> 24) == 0)
                mask[static_cast<size_t>(y) * maskStride + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    ICONINFO info{};
    info.fIcon = isIcon;
    info.xHotspot = static_cast<DWORD>(hotX * scale);
    info.yHotspot = static_cast<DWORD>(hotY * scale);
    info.hbmMask = CreateBitmap(image.width, image.height, 1, 1, mask.data());
    info.hbmColor = image.dib;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(info.hbmMask);
    DeleteObject(image.dib);
    return icon;
}

} // namespace rt::win32
