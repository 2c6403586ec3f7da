// Paints the Form: its picture, then the entries of the core's paint list,
// labels as lines of text in the bundled fonts, broken where the core's rule
// says; every design pixel a whole block of device pixels.
#include "qt_host.h"

#include "line_breaks.h"
#include "paint_list.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

namespace rt {

namespace {

QRect toQRect(const PixelRect& r) { return {r.left, r.top, r.width, r.height}; }

} // namespace

QStringList labelLines(const QFont& font, int width, const QString& text)
{
    const QFontMetricsF metrics(font);
    const std::string utf8 = text.toStdString();
    QStringList lines;
    for (std::string_view line : breakLines(utf8, width, [&](std::string_view run) {
             return metrics.horizontalAdvance(qs(run));
         }))
        lines << qs(line);
    return lines;
}

QRect FormWindow::toWindow(const PixelRect& r) const
{
    const double k = scale_ / ratio_;
    const int left = static_cast<int>(std::floor(r.left * k));
    const int top = static_cast<int>(std::floor(r.top * k));
    return QRect(QPoint(left, top), QPoint(static_cast<int>(std::ceil((r.left + r.width) * k)) - 1,
                                           static_cast<int>(std::ceil((r.top + r.height) * k)) - 1));
}

QColor FormWindow::colour(const Colour& c) const
{
    if (c.kind == Colour::Kind::Rgb)
        return QColor(c.r, c.g, c.b);
    switch (c.system) {
    case kButtonFace: return palette().color(QPalette::Button);
    case kButtonText: return palette().color(QPalette::ButtonText);
    case kTooltipText: return palette().color(QPalette::ToolTipText);
    default: return palette().color(QPalette::WindowText);
    }
}

void FormWindow::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.fillRect(rect(), colour(form_.design().backColour));
    // Design pixels from here on. Never smoothed: on a dense display each
    // picture pixel becomes a sharp block of device pixels.
    painter.scale(scale_ / ratio_, scale_ / ratio_);
    if (const std::string_view picture = form_.design().picture; !picture.empty())
        painter.drawPixmap(0, 0, pictures_.at(picture));
    for (const PaintEntry& entry : paintList(form_)) {
        // Laying out every label's text for each small update would cost
        // more than the referee's whole tick.
        if (!event->region().intersects(toWindow(entry.rect)))
            continue;
        if (entry.control->kind() == ControlKind::Label)
            paintLabel(painter, static_cast<const Label&>(*entry.control));
        else
            painter.drawPixmap(entry.rect.left, entry.rect.top, pictures_.at(entry.control->design().picture));
    }
}

void FormWindow::paintLabel(QPainter& painter, const Label& label)
{
    const ControlDesign& d = label.design();
    const QRect r = toQRect(label.rect());
    painter.save();
    painter.setClipRect(r, Qt::IntersectClip);
    if (d.backStyle == BackStyle::Opaque)
        painter.fillRect(r, colour(d.backColour));
    const QFont font = fontFor(form_.design(), d.font);
    painter.setPen(colour(d.foreColour));
    // Each line laid out on its own, one under the other at the font's own
    // line height, as one layout of the whole caption would place them.
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::NoWrap);
    qreal y = r.top();
    for (const QString& line : labelLines(font, r.width(), QString::fromStdString(label.Caption()))) {
        QTextLayout layout(line, font);
        layout.setTextOption(option);
        layout.beginLayout();
        QTextLine text = layout.createLine();
        layout.endLayout();
        if (!text.isValid())
            break;
        layout.draw(&painter, QPointF(r.left(), y));
        y += text.height();
    }
    painter.restore();
}

void FormWindow::controlChanged(Control& control) { update(toWindow(control.rect())); }

} // namespace rt
