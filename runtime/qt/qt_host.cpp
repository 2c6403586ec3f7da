// Paints a Form one to one, routes clicks and timer ticks to it, and shows its
// message boxes.
#include "qt_host.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFontDatabase>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace rt {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QRect toQRect(const PixelRect& r) { return {r.left, r.top, r.width, r.height}; }

// Device pixel ratios the window is drawn at. Outside them Qt's own sizes
// overflow (0, nan and inf leave no window at all) or the window's buffers
// grow past any machine's memory; real dense screens stay well within.
constexpr double kMinPixelRatio = 0.25;
constexpr double kMaxPixelRatio = 8;
// Below 15 bits a screen has a colour map, and Qt cannot paint on it.
constexpr int kMinDepth = 15;
// X servers commonly refuse larger cursors.
constexpr int kMaxPointerSize = 256;

// Family names Qt reports for each loaded bundled font, by design name.
std::map<std::string, QString, std::less<>>& fontFamilies()
{
    static std::map<std::string, QString, std::less<>> families;
    return families;
}

} // namespace

std::string unusableScreen(const QScreen* screen)
{
    if (!screen)
        return "cannot open the window: the display has no screen";
    char line[256];
    const double ratio = screen->devicePixelRatio();
    if (!(ratio >= kMinPixelRatio && ratio <= kMaxPixelRatio)) {
        std::snprintf(line, sizeof line,
                      "cannot open the window: the device pixel ratio %g is not between %g and %g "
                      "(check QT_SCALE_FACTOR, QT_SCREEN_SCALE_FACTORS and QT_FONT_DPI)",
                      ratio, kMinPixelRatio, kMaxPixelRatio);
        return line;
    }
    if (screen->depth() < kMinDepth) {
        std::snprintf(line, sizeof line,
                      "cannot open the window: the display's colour depth of %d bits is not supported "
                      "(%d or more are needed)",
                      screen->depth(), kMinDepth);
        return line;
    }
    return {};
}

void loadFonts(const FormDesign& design)
{
    for (const FontFace& face : design.fonts) {
        if (fontFamilies().count(face.family))
            continue;
        const int id = QFontDatabase::addApplicationFont(qs(face.resource));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty())
            fontFamilies().emplace(std::string(face.family), families.front());
    }
}

QFont fontFor(const FormDesign& design, const FontDesign& font)
{
    const FontDesign& f = font.points > 0 ? font : design.defaultFont;
    QFont qfont;
    auto found = fontFamilies().find(f.family);
    qfont.setFamilies({found != fontFamilies().end() ? found->second : qs(f.family)});
    // Designs give points at 96 dots per inch; the pixel size keeps the text
    // the same size on every screen, and Qt scales pixels on dense displays.
    qfont.setPixelSize(static_cast<int>(std::lround(f.points * 96.0 / 72.0)));
    qfont.setWeight(QFont::Normal);
    qfont.setStyleStrategy(QFont::PreferDefault);
    qfont.setHintingPreference(QFont::PreferNoHinting);
    return qfont;
}

static void layOut(QTextLayout& layout, int width)
{
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    qreal y = 0;
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
}

QStringList labelLines(const QFont& font, int width, const QString& text)
{
    QTextLayout layout(text, font);
    layOut(layout, width);
    QStringList lines;
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        lines << text.mid(line.textStart(), line.textLength());
    }
    return lines;
}

Pictures decodePictures(const FormDesign& design)
{
    Pictures pictures;
    auto decode = [&](std::string_view path) {
        if (!path.empty() && !pictures.count(path))
            pictures.emplace(path, QImage(qs(path)));
    };
    decode(design.picture);
    for (const ControlDesign& c : design.controls)
        decode(c.picture);
    return pictures;
}

FormWindow::FormWindow(Form& form, const Pictures& decoded, QWidget* parent) : QWidget(parent), form_(form)
{
    auto pixmap = [&](std::string_view path) {
        auto found = decoded.find(path);
        return found != decoded.end() ? QPixmap::fromImage(found->second) : QPixmap(qs(path));
    };
    const FormDesign& d = form.design();
    loadFonts(d);
    setWindowTitle(qs(d.caption));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(form.clientWidth(), form.clientHeight());
    move(twipsToPixels(d.client.left), twipsToPixels(d.client.top));
    if (!d.picture.empty())
        picture_ = pixmap(d.picture);
    for (const auto& c : form.controls()) {
        const std::string_view picture = c->design().picture;
        if (!picture.empty() && !pictures_.count(picture))
            pictures_[picture] = pixmap(picture);
    }
    if (!d.icon.empty())
        setWindowIcon(QIcon(qs(d.icon)));
    updatePointer();
    for (const auto& c : form.controls()) {
        if (c->kind() != ControlKind::Timer)
            continue;
        auto* timer = static_cast<Timer*>(c.get());
        auto* qtimer = new QTimer(this);
        // A 1 ms interval means as fast as the platform allows; coarse timers
        // would stretch it to several milliseconds.
        qtimer->setTimerType(Qt::PreciseTimer);
        qtimer->setInterval(std::max(1, timer->Interval()));
        connect(qtimer, &QTimer::timeout, this, [this, timer] { form_.tick(*timer); });
        timers_.push_back({timer, qtimer});
    }
    form.setHost(this);
}

FormWindow::~FormWindow()
{
    if (form_.host() == this)
        form_.setHost(nullptr);
}

void FormWindow::updatePointer()
{
    const FormDesign& d = form_.design();
    if (d.mouseIcon.empty())
        return;
    const QPixmap pointer(qs(d.mouseIcon));
    if (pointer.isNull())
        return;
    // On a dense display the pointer grows with the window, pixel for
    // pixel like the pictures. Qt 6.4 takes the hot spot of a pixmap whose
    // device pixel ratio is not 1 in device pixels, so it is scaled here too.
    // Beyond the largest cursor the server takes, the pointer stays at that.
    const int largest = std::max(1, kMaxPointerSize / std::max({pointer.width(), pointer.height(), 1}));
    const double ratio = devicePixelRatioF();
    int scale = 1;
    if (ratio >= largest)
        scale = largest;
    else if (ratio > 1)
        scale = static_cast<int>(std::lround(ratio));
    if (scale == 1) {
        setCursor(QCursor(pointer, d.mouseHotX, d.mouseHotY));
        return;
    }
    QPixmap dense = pointer.scaled(pointer.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    dense.setDevicePixelRatio(scale);
    setCursor(QCursor(dense, d.mouseHotX * scale, d.mouseHotY * scale));
}

bool FormWindow::event(QEvent* event)
{
    // The ratio is known once the window is on a screen, and changes with the screen.
    if (event->type() == QEvent::Show || event->type() == QEvent::ScreenChangeInternal) {
        // Start-up refuses an unusable screen; this is for a window moved
        // onto one. Nothing of the game is worth keeping at that point.
        if (const std::string why = unusableScreen(screen()); !why.empty()) {
            std::fprintf(stderr, "skeetra: %s\n", why.c_str());
            std::fflush(stderr);
            std::_Exit(kNoDisplayStatus);
        }
        updatePointer();
    }
    return QWidget::event(event);
}

void FormWindow::startTimers()
{
    timersStarted_ = true;
    for (auto& slot : timers_)
        if (slot.timer->running() && !form_.ended())
            slot.qtimer->start();
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
    // One to one and never smoothed: on a dense display each picture pixel
    // becomes a sharp block.
    painter.drawPixmap(0, 0, picture_);
    const auto& controls = form_.controls();
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        const Control& c = **it;
        if (!c.Visible() || c.kind() == ControlKind::Timer)
            continue;
        // Laying out every label's text for each small update would cost
        // more than the referee's whole tick.
        if (!event->region().intersects(toQRect(c.rect())))
            continue;
        if (c.kind() == ControlKind::Label) {
            paintLabel(painter, static_cast<const Label&>(c));
        } else if (!c.design().picture.empty()) {
            const PixelRect r = c.rect();
            painter.drawPixmap(r.left, r.top, pictures_.at(c.design().picture));
        }
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
    QTextLayout layout(QString::fromStdString(label.Caption()), fontFor(form_.design(), d.font));
    layOut(layout, r.width());
    painter.setPen(colour(d.foreColour));
    layout.draw(&painter, r.topLeft());
    painter.restore();
}

void FormWindow::controlChanged(Control& control) { update(toQRect(control.rect())); }

void FormWindow::timerChanged(Timer& timer)
{
    for (auto& slot : timers_) {
        if (slot.timer != &timer)
            continue;
        if (timer.running() && timersStarted_)
            slot.qtimer->start();
        else
            slot.qtimer->stop();
    }
}

// Qt gives fractions of a pixel on scaled displays; the design's pixels
// are whole, and floor keeps a point just left of the window outside it.
static int designPixel(qreal coordinate) { return static_cast<int>(std::floor(coordinate)); }

void FormWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        form_.press(designPixel(event->position().x()), designPixel(event->position().y()));
    event->accept();
}

// The second press of a double click is a shot like any other.
void FormWindow::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void FormWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        form_.release(designPixel(event->position().x()), designPixel(event->position().y()));
    event->accept();
}

void FormWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    form_.close();
}

// The box is modal to the game, not to Qt: Qt drops the close request of a
// window that a modal box blocks, and closing the window must end the program
// even then. Form keeps every click and tick away while the handler waits.
void FormWindow::waitOnBox(QMessageBox& box)
{
    QEventLoop loop;
    connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
    box.setWindowModality(Qt::NonModal);
    box.show();
    box.activateWindow();
    boxLoop_ = &loop;
    loop.exec();
    boxLoop_ = nullptr;
}

void FormWindow::messageBox(std::string_view text)
{
    QMessageBox box(QMessageBox::NoIcon, qs(form_.design().appTitle), qs(text), QMessageBox::Ok, this);
    box.setWindowIcon(windowIcon());
    waitOnBox(box);
}

void FormWindow::errorReported(int number, std::string_view description)
{
    std::fprintf(stderr, "skeetra: runtime error %d: %.*s\n", number, static_cast<int>(description.size()),
                 description.data());
    std::fflush(stderr);
    const QString text = QStringLiteral("Ошибка выполнения %1:\n\n%2").arg(number).arg(qs(description));
    QMessageBox box(QMessageBox::Critical, qs(form_.design().appTitle), text, QMessageBox::Ok, this);
    box.setWindowIcon(windowIcon());
    waitOnBox(box);
}

void FormWindow::programEnded(int status)
{
    for (auto& slot : timers_)
        slot.qtimer->stop();
    if (boxLoop_) // the program's end takes an open box with it
        boxLoop_->quit();
    hide();
    emit ended(status);
    if (quitOnEnd_)
        QCoreApplication::exit(status);
}

} // namespace rt
