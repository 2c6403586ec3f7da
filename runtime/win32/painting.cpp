// Paints the Form with GDI through a back buffer: the form's picture, then
// every visible control from the bottom of the stack up, labels as wrapped
// text in the bundled fonts.
#include "pictures.h"

namespace rt::win32 {

std::vector<std::wstring> labelLines(HDC dc, int width, const std::wstring& text)
{
    auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    auto widthOf = [&](size_t from, size_t to) {
        SIZE size{};
        GetTextExtentPoint32W(dc, text.data() + from, static_cast<int>(to - from), &size);
        return static_cast<int>(size.cx);
    };
    std::vector<std::wstring> lines;
    size_t lineStart = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        // A word and the blanks after it; only its visible part has to fit.
        size_t wordEnd = pos;
        while (wordEnd < text.size() && !blank(text[wordEnd]))
            ++wordEnd;
        size_t next = wordEnd;
        while (next < text.size() && blank(text[next]))
            ++next;
        if (pos > lineStart && wordEnd > pos && widthOf(lineStart, wordEnd) > width) {
            lines.push_back(text.substr(lineStart, pos - lineStart));
            lineStart = pos;
        }
        pos = next;
    }
    if (lineStart < text.size() || lines.empty())
        lines.push_back(text.substr(lineStart));
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
    const auto& controls = form_.controls();
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        const Control& c = **it;
        if (!c.Visible() || c.kind() == ControlKind::Timer)
            continue;
        const RECT r = scaled(c.rect());
        RECT overlap;
        if (!IntersectRect(&overlap, &r, &update))
            continue;
        if (c.kind() == ControlKind::Label)
            paintLabel(backDc_, static_cast<const Label&>(c));
        else if (!c.design().picture.empty())
            draw(*pictures_.at(c.design().picture), r.left, r.top);
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
    for (const std::wstring& line : labelLines(dc, r.right - r.left, widen(label.Caption()))) {
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
