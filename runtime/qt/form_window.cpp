// The game's one top-level window: sized at a whole-number scale that fits
// the screen, placed where the design puts it, and turning the mouse and
// window events into the Form's events.
#include "qt_host.h"

#include "design_pictures.h"
#include "scale_rule.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>
#include <qpa/qplatformwindow.h>

#include <wayland-client-core.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace rt {

namespace {

// Device pixel ratios the window is drawn at. Outside them Qt's own sizes
// overflow (0, nan and inf leave no window at all) or the window's buffers
// grow past any machine's memory; real dense screens stay well within.
constexpr double kMinPixelRatio = 0.25;
constexpr double kMaxPixelRatio = 8;
// Below 15 bits a screen has a colour map, and Qt cannot paint on it.
constexpr int kMinDepth = 15;

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

int fittingScale(QSize client, QSize frame, QSize workArea, double ratio)
{
    return fittingScale(PixelSize{client.width(), client.height()}, PixelSize{frame.width(), frame.height()},
                        PixelSize{workArea.width(), workArea.height()}, std::optional<int>(wholeScale(ratio)));
}

void tellWholeSizeLimits(QWindow* window)
{
    if (!window || !window->handle() || !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return;
    if (window->minimumSize() != window->maximumSize())
        return;
    auto* toplevel = static_cast<wl_proxy*>(
        QGuiApplication::platformNativeInterface()->nativeResourceForWindow("xdg_toplevel", window));
    if (!toplevel)
        return;
    // In the compositor's units, as Qt's own window geometry is given.
    const QPlatformWindow* platform = window->handle();
    const QSize whole = platform->geometry().size().grownBy(platform->frameMargins());
    // xdg_toplevel's set_max_size and set_min_size; they take effect with
    // the surface's next commit, which for a window being shown is its first
    // picture.
    constexpr uint32_t kSetMaxSize = 7;
    constexpr uint32_t kSetMinSize = 8;
    for (const uint32_t request : {kSetMaxSize, kSetMinSize})
        wl_proxy_marshal_flags(toplevel, request, nullptr, wl_proxy_get_version(toplevel), 0, whole.width(),
                               whole.height());
    window->requestUpdate();
}

FormWindow::FormWindow(Form& form, const Pictures& decoded, QWidget* parent)
    : QWidget(parent), form_(form), wake_(new QTimer(this))
{
    auto pixmap = [&](std::string_view path) {
        auto found = decoded.find(path);
        return found != decoded.end() ? QPixmap::fromImage(found->second) : QPixmap(qs(path));
    };
    const FormDesign& d = form.design();
    loadFonts(d);
    setWindowTitle(qs(d.caption));
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The window has one size, so no maximise button that does nothing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    move(twipsToPixels(d.client.left), twipsToPixels(d.client.top));
    for (const DesignPicture& p : designPictures(d)) {
        if (p.use == PictureUse::Painted)
            pictures_[p.path] = pixmap(p.path);
        else if (p.use == PictureUse::Icon)
            setWindowIcon(QIcon(qs(p.path)));
    }
    updateScale();
    // A 1 ms interval means as fast as the platform allows; a coarse timer
    // would stretch it to several milliseconds.
    wake_->setTimerType(Qt::PreciseTimer);
    wake_->setSingleShot(true);
    connect(wake_, &QTimer::timeout, this, [this] { form_.wake(); });
    form.setHost(this);
}

FormWindow::~FormWindow()
{
    if (form_.host() == this)
        form_.setHost(nullptr);
}

void FormWindow::updateScale()
{
    const QScreen* on = screen();
    const double ratio = on ? on->devicePixelRatio() : devicePixelRatioF();
    QSize workArea(form_.clientWidth() * 64, form_.clientHeight() * 64);
    QSize frame;
    if (on)
        workArea = on->availableGeometry().size() * ratio;
    // The frame is known once the window is on the screen; before that the
    // window is sized without it and looked at again when it shows.
    if (isVisible())
        frame = (frameGeometry().size() - size()) * ratio;
    const int scale = fittingScale({form_.clientWidth(), form_.clientHeight()}, frame, workArea, ratio);
    if (scale == scale_ && ratio == ratio_)
        return;
    scale_ = scale;
    ratio_ = ratio;
    // Qt sizes windows in whole logical pixels; where the design does not
    // divide evenly, the last device row or column shows the background.
    auto logical = [&](int pixels) { return static_cast<int>(std::ceil(pixels * scale / ratio - 1e-9)); };
    setFixedSize(logical(form_.clientWidth()), logical(form_.clientHeight()));
    if (isVisible())
        tellWholeSizeLimits(windowHandle());
    updatePointer();
    update();
}

// Qt gives fractions of a pixel on scaled displays; the design's pixels
// are whole, and floor keeps a point just left of the window outside it.
int FormWindow::designPixel(qreal coordinate) const
{
    return static_cast<int>(std::floor(coordinate * ratio_ / scale_ + 1e-9));
}

void FormWindow::setVisible(bool visible)
{
    QWidget::setVisible(visible);
    if (visible)
        tellWholeSizeLimits(windowHandle());
}

bool FormWindow::event(QEvent* event)
{

    // The ratio is known once the window is on a screen, and changes with
    // the screen; the frame is known once the window is shown, and moves
    // come after a window manager has framed it.
    if (event->type() == QEvent::Move && isVisible())
        updateScale();
    if (event->type() == QEvent::Show || event->type() == QEvent::ScreenChangeInternal) {
        // Start-up refuses an unusable screen; this is for a window moved
        // onto one. Nothing of the game is worth keeping at that point.
        if (const std::string why = unusableScreen(screen()); !why.empty()) {
            std::fprintf(stderr, "skeetra: %s\n", why.c_str());
            std::fflush(stderr);
            std::_Exit(kNoDisplayStatus);
        }
        updateScale();
    }
    // The platform took the mouse away from a press: no release will come
    // for it, and one that comes later belongs to another press.
    if (event->type() == QEvent::UngrabMouse)
        form_.cancelPress();
    return QWidget::event(event);
}

// Qt holds the pointer's leaving back while a button is down, so a leave
// with the button still held is the platform taking the press away: a
// compositor's move or grab on Wayland, which sends no release for it.
void FormWindow::leaveEvent(QEvent* event)
{
    if (QGuiApplication::mouseButtons() & Qt::LeftButton)
        form_.cancelPress();
    QWidget::leaveEvent(event);
}

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

} // namespace rt
