// The bundled fonts: loaded into the process from the embedded files, named
// as GDI knows them, and made at the sizes the labels ask for with the line
// metrics the Linux build lays text out by.
#include "win32_host.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace rt::win32 {

// GDI can load a font from memory but names no family for it; CreateFontW
// needs the name, which the font's own name table holds.
std::wstring fontFamilyName(std::string_view font)
{
    auto has = [&](size_t at, size_t n) { return at <= font.size() && n <= font.size() - at; };
    auto u16 = [&](size_t at) -> unsigned {
        return static_cast<unsigned>(static_cast<unsigned char>(font[at])) << 8 | static_cast<unsigned char>(font[at + 1]);
    };
    auto u32 = [&](size_t at) -> size_t { return size_t{u16(at)} << 16 | u16(at + 2); };
    if (!has(0, 12))
        return {};
    size_t table = 0;
    bool found = false;
    for (unsigned i = 0, n = u16(4); i < n && has(12 + 16 * size_t{i}, 16); ++i) {
        const size_t record = 12 + 16 * size_t{i};
        if (font.substr(record, 4) == "name") {
            table = u32(record + 8);
            found = true;
            break;
        }
    }
    if (!found || !has(table, 6))
        return {};
    const size_t strings = table + u16(table + 4);
    std::wstring best;
    int bestRank = 0;
    for (unsigned i = 0, n = u16(table + 2); i < n && has(table + 6 + 12 * size_t{i}, 12); ++i) {
        const size_t r = table + 6 + 12 * size_t{i};
        const unsigned platform = u16(r), encoding = u16(r + 2), language = u16(r + 4), id = u16(r + 6);
        const size_t length = u16(r + 8), offset = u16(r + 10);
        // Windows platform, Unicode, family name; US English first.
        if (platform != 3 || (encoding != 0 && encoding != 1) || id != 1 || !has(strings + offset, length))
            continue;
        const int rank = language == 0x409 ? 2 : 1;
        if (rank <= bestRank)
            continue;
        bestRank = rank;
        best.clear();
        for (size_t k = 0; k + 1 < length; k += 2)
            best.push_back(static_cast<wchar_t>(u16(strings + offset + k)));
    }
    return best;
}

void FormWindow::loadFonts()
{
    for (const FontFace& face : form_.design().fonts) {
        if (families_.count(face.family))
            continue;
        const std::string_view bytes = resourceBytes(face.resource);
        DWORD count = 0;
        HANDLE handle = AddFontMemResourceEx(const_cast<char*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                                             nullptr, &count);
        if (!handle)
            fail("cannot load the font " + std::string(face.resource));
        loadedFonts_.push_back(handle);
        std::wstring family = fontFamilyName(bytes);
        families_.emplace(std::string(face.family), family.empty() ? widen(face.family) : family);
    }
}

// Lines stand as far apart as in the Linux build, whose layout takes the
// font's own line metrics (hhea, or OS/2's typographic ones where the font
// asks for them) unrounded and each line's height rounded up. GDI's text
// metrics use the OS/2 Windows extents instead, which for some faces
// (Comfortaa) are far taller.
static void lineMetrics(HDC dc, int pixels, int& lineHeight, int& ascent)
{
    TEXTMETRICW text{};
    GetTextMetricsW(dc, &text);
    lineHeight = text.tmHeight;
    ascent = text.tmAscent;
    auto table = [&](const char* tag, DWORD offset, BYTE* into, DWORD size) {
        DWORD name = 0;
        std::memcpy(&name, tag, 4);
        return GetFontData(dc, name, offset, into, size) == size;
    };
    auto s16 = [](const BYTE* p) { return static_cast<std::int16_t>(p[0] << 8 | p[1]); };
    BYTE head[2], hhea[6], os2[64 + 10];
    if (!table("head", 18, head, sizeof head) || !table("hhea", 4, hhea, sizeof hhea))
        return;
    const double unitsPerEm = static_cast<std::uint16_t>(head[0] << 8 | head[1]);
    if (unitsPerEm <= 0)
        return;
    double up = s16(hhea), down = -s16(hhea + 2);
    constexpr int kUseTypoMetrics = 1 << 7;
    if (table("OS/2", 0, os2, sizeof os2) && (s16(os2 + 62) & kUseTypoMetrics)) {
        up = s16(os2 + 68);
        down = -s16(os2 + 70);
    }
    if (up + down <= 0)
        return;
    lineHeight = static_cast<int>(std::ceil((up + down) * pixels / unitsPerEm - 1e-9));
    ascent = static_cast<int>(std::lround(up * pixels / unitsPerEm));
}

const FormWindow::LoadedFont& FormWindow::fontFor(const FontDesign& font)
{
    const FontDesign& f = fontOf(form_.design(), font);
    auto family = families_.find(f.family);
    FontKey key{family != families_.end() ? family->second : widen(f.family), fontPixels(f) * scale_};
    auto found = fonts_.find(key);
    if (found != fonts_.end())
        return found->second;
    LOGFONTW logical{};
    logical.lfHeight = -key.pixels; // the em, as Qt's pixel size
    logical.lfWeight = FW_NORMAL;
    logical.lfCharSet = DEFAULT_CHARSET; // the face by name; the text is Unicode
    logical.lfOutPrecision = OUT_TT_PRECIS;
    logical.lfQuality = ANTIALIASED_QUALITY;
    key.family.copy(logical.lfFaceName, LF_FACESIZE - 1);
    LoadedFont loaded;
    loaded.handle = CreateFontIndirectW(&logical);
    const int saved = SaveDC(backDc_);
    SelectObject(backDc_, loaded.handle);
    lineMetrics(backDc_, key.pixels, loaded.lineHeight, loaded.ascent);
    RestoreDC(backDc_, saved);
    return fonts_.emplace(key, loaded).first->second;
}

} // namespace rt::win32
