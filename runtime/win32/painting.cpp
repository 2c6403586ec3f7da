// Paints the Form with GDI through a back buffer: the form's picture, then
// the entries of the core's paint list, labels as lines of text in the
// bundled fonts, broken where the core's rule says.
#include "pictures.h"

#include "line_breaks.h"
#include "paint_list.h"

namespace rt::win32 {

std::vector<std::wstring> labelLines(HDC dc, int width, std::string_view text)
{
    auto widthOf = [dc](std::string_view run) {
        const std::wstring wide = widen(run);
        SIZE size{};
        GetTextExtentPoint32W(dc, wide.data(), static_cast<int>(wide.size()), &size);
        return static_cast<double>(size.cx);
    };
    std::vector<std::wstring> lines;
    for (std::string_view line : breakLines(text, width, widthOf))
        lines.push_back(widen(line));
    return lines;
}

RECT FormWindow::scaled(const PixelRect& r) const
{
    return {r.left * scale_, r.top * scale_, (r.left + r.width) * scale_, (r.top + r.height) * scale_};
}

COLORREF FormWindow::colour(const Colour& c) const
{
    if (c.kind == Colour::Kind::Rgb)
        return RGB(c.r, c.g, c.b);
    // The designs' system colour numbers are Windows' own.
    return GetSysColor(c.system);
}

void FormWindow::paint(HDC target, const RECT& update)
{
    const int saved = SaveDC(backDc_);
    IntersectClipRect(backDc_, update.left, update.top, update.right, update.bottom);
    HBRUSH background = CreateSolidBrush(colour(form_.design().backColour));
    FillRect(backDc_, &update, background);
    DeleteObject(background);

    auto draw = [&](const Picture& picture, int x, int y) {
        const int w = picture.width * scale_, h = picture.height * scale_;
        HGDIOBJ old = SelectObject(pictureDc_, picture.scaled);
        if (picture.opaque) {
            BitBlt(backDc_, x, y, w, h, pictureDc_, 0, 0, SRCCOPY);
        } else {
            const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            GdiAlphaBlend(backDc_, x, y, w, h, pictureDc_, 0, 0, w, h, blend); // AlphaBlend without msimg32.dll
        }
        SelectObject(pictureDc_, old);
    };
    const FormDesign& d = form_.design();
    if (!d.picture.empty())
        draw(*pictures_.at(d.picture), 0, 0);
    for (const PaintEntry& entry : paintList(form_)) {
        const RECT r = scaled(entry.rect);
        RECT overlap;
        if (!IntersectRect(&overlap, &r, &update))
            continue;
        if (entry.control->kind() == ControlKind::Label)
            paintLabel(backDc_, static_cast<const Label&>(*entry.control));
        else
            draw(*pictures_.at(entry.control->design().picture), r.left, r.top);
    }
    RestoreDC(backDc_, saved);
    BitBlt(target, update.left, update.top, update.right - update.left, update.bottom - update.top, backDc_,
           update.left, update.top, SRCCOPY);
}

void FormWindow::paintLabel(HDC dc, const Label& label)
{
    const ControlDesign& d = label.design();
    const RECT r = scaled(label.rect());
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    if (d.backStyle == BackStyle::Opaque) {
        HBRUSH brush = CreateSolidBrush(colour(d.backColour));
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
    const LoadedFont& font = fontFor(d.font);
    SelectObject(dc, font.handle);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour(d.foreColour));
    SetTextAlign(dc, TA_LEFT | TA_BASELINE | TA_NOUPDATECP);
    int y = r.top + font.ascent;
    for (const std::wstring& line : labelLines(dc, r.right - r.left, label.Caption())) {
        ExtTextOutW(dc, r.left, y, 0, nullptr, line.data(), static_cast<UINT>(line.size()), nullptr);
        y += font.lineHeight;
    }
    RestoreDC(dc, saved);
}

void FormWindow::controlChanged(Control& control)
{
    if (!window_)
        return;
    const RECT r = scaled(control.rect());
    InvalidateRect(window_, &r, FALSE);
}

} // namespace rt::win32
