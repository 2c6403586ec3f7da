// Paints a Form one to one, routes clicks and timer ticks to it, and shows its
// message boxes.
#include "qt_host.h"

#include "line_breaks.h"
#include "paint_list.h"
#include "timer_schedule.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTextLayout>
#include <QTimer>
#include <QWindow>
#include <private/qwindow_p.h>
#include <qpa/qplatformnativeinterface.h>
#include <qpa/qplatformscreen.h>
#include <qpa/qplatformwindow.h>

#include <wayland-client-core.h>
#include <wayland-client-protocol.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

int fittingScale(QSize client, QSize frame, QSize workArea, double ratio)
{
    int scale = std::max(1, static_cast<int>(std::lround(ratio)));
    while (scale > 1 && (client.width() * scale + frame.width() > workArea.width() ||
                         client.height() * scale + frame.height() > workArea.height()))
        --scale;
    return scale;
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
    const FontDesign& f = fontOf(design, font);
    QFont qfont;
    auto found = fontFamilies().find(f.family);
    qfont.setFamilies({found != fontFamilies().end() ? found->second : qs(f.family)});
    // Qt scales pixels on dense displays.
    qfont.setPixelSize(fontPixels(f));
    qfont.setWeight(QFont::Normal);
    qfont.setStyleStrategy(QFont::PreferDefault);
    qfont.setHintingPreference(QFont::PreferNoHinting);
    return qfont;
}

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

namespace {

// gtk_shell1, GNOME's own Wayland protocol, as mutter reads it: only the
// requests used here, and every event of the version bound, which the
// library must know to read them.
const wl_interface* kNoTypes[6] = {};
extern const wl_interface kGtkSurface;
const wl_interface* kGetGtkSurfaceTypes[] = {&kGtkSurface, &wl_surface_interface};
const wl_message kGtkShellRequests[] = {{"get_gtk_surface", "no", kGetGtkSurfaceTypes}};
const wl_message kGtkShellEvents[] = {{"capabilities", "u", kNoTypes}};
const wl_interface kGtkShell = {"gtk_shell1", 1, 1, kGtkShellRequests, 1, kGtkShellEvents};
const wl_message kGtkSurfaceRequests[] = {{"set_dbus_properties", "?s?s?s?s?s?s", kNoTypes},
                                          {"set_modal", "", kNoTypes}};
const wl_message kGtkSurfaceEvents[] = {{"configure", "a", kNoTypes}};
const wl_interface kGtkSurface = {"gtk_surface1", 1, 2, kGtkSurfaceRequests, 1, kGtkSurfaceEvents};
constexpr uint32_t kGetGtkSurface = 0;
constexpr uint32_t kSetModal = 1;

// The compositor's gtk_shell1, bound once on a queue of Qt's display's own,
// or null where it offers none. Its events then go to Qt's queue, which
// drops them: none matters here.
wl_proxy* gtkShell(wl_display* display)
{
    static wl_display* boundOn = nullptr;
    static wl_proxy* shell = nullptr;
    if (boundOn == display)
        return shell;
    boundOn = display;
    shell = nullptr;
    wl_event_queue* queue = wl_display_create_queue(display);
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
    wl_registry* registry = wl_display_get_registry(wrapper);
    static const wl_registry_listener listener = {
        [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
            auto** found = static_cast<wl_proxy**>(data);
            if (!*found && std::strcmp(interface, kGtkShell.name) == 0)
                *found = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &kGtkShell, 1));
        },
        [](void*, wl_registry*, uint32_t) {},
    };
    wl_registry_add_listener(registry, &listener, &shell);
    wl_display_roundtrip_queue(display, queue);
    if (shell)
        wl_proxy_set_queue(shell, nullptr);
    wl_registry_destroy(registry);
    wl_proxy_wrapper_destroy(wrapper);
    wl_event_queue_destroy(queue);
    return shell;
}

} // namespace

BoxMark markModal(QWindow* box)
{
    if (!box || !box->handle() || !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return {nullptr, wl_proxy_destroy};
    QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
    auto* display = static_cast<wl_display*>(native->nativeResourceForIntegration("wl_display"));
    auto* surface = static_cast<wl_proxy*>(native->nativeResourceForWindow("surface", box));
    wl_proxy* shell = display && surface ? gtkShell(display) : nullptr;
    if (!shell)
        return {nullptr, wl_proxy_destroy};
    wl_proxy* marked = wl_proxy_marshal_flags(shell, kGetGtkSurface, &kGtkSurface, wl_proxy_get_version(shell), 0,
                                              nullptr, surface);
    if (marked)
        wl_proxy_marshal_flags(marked, kSetModal, nullptr, wl_proxy_get_version(marked), 0);
    return {marked, wl_proxy_destroy};
}

namespace {

Host::Time monotonicNow()
{
    return std::chrono::steady_clock::now().time_since_epoch() + testClockOffset();
}

} // namespace

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
    if (!d.picture.empty())
        picture_ = pixmap(d.picture);
    for (const auto& c : form.controls()) {
        const std::string_view picture = c->design().picture;
        if (!picture.empty() && !pictures_.count(picture))
            pictures_[picture] = pixmap(picture);
    }
    if (!d.icon.empty())
        setWindowIcon(QIcon(qs(d.icon)));
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

QRect FormWindow::toWindow(const PixelRect& r) const
{
    const double k = scale_ / ratio_;
    const int left = static_cast<int>(std::floor(r.left * k));
    const int top = static_cast<int>(std::floor(r.top * k));
    return QRect(QPoint(left, top), QPoint(static_cast<int>(std::ceil((r.left + r.width) * k)) - 1,
                                           static_cast<int>(std::ceil((r.top + r.height) * k)) - 1));
}

// Qt gives fractions of a pixel on scaled displays; the design's pixels
// are whole, and floor keeps a point just left of the window outside it.
int FormWindow::designPixel(qreal coordinate) const
{
    return static_cast<int>(std::floor(coordinate * ratio_ / scale_ + 1e-9));
}

void FormWindow::updatePointer()
{
    const FormDesign& d = form_.design();
    if (d.mouseIcon.empty())
        return;
    const QPixmap pointer(qs(d.mouseIcon));
    if (pointer.isNull())
        return;
    // The pointer grows with the window, pixel for pixel like the pictures,
    // up to the largest cursor servers commonly take. Platforms read the
    // pointer's picture in device pixels but its hot spot in their own
    // units: device pixels on X11, surface units (device pixels divided by
    // the output's scale) on Wayland, whose scale Qt takes from the
    // pixmap's ratio. Qt's own scale factor plays no part in either.
    const int largest = std::max(1, kMaxPointerSize / std::max({pointer.width(), pointer.height(), 1}));
    const int scale = std::clamp(scale_, 1, largest);
    const QScreen* on = screen();
    const int native = on && on->handle() ? std::max(1, static_cast<int>(on->handle()->devicePixelRatio())) : 1;
    QPixmap dense = scale == 1 ? pointer
                               : pointer.scaled(pointer.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    dense.setDevicePixelRatio(native);
    setCursor(QCursor(dense, d.mouseHotX * scale / native, d.mouseHotY * scale / native));
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
    return QWidget::event(event);
}

Host::Time FormWindow::now() const { return monotonicNow(); }

// The box is modal, but a compositor may leave the keyboard with the game
// window (Wayland lets no program take it), where Qt would drop the keys as
// meant for a window the box blocks: they are the box's. Watched on the
// game's QWindow, which has them before the widget's modality check.
bool FormWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (box_ && watched == windowHandle() &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        QWidget* to = box_->focusWidget() ? box_->focusWidget() : box_;
        QCoreApplication::sendEvent(to, event);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FormWindow::wakeAt(std::optional<Time> at)
{
    if (!at) {
        wake_->stop();
        return;
    }
    const auto ahead = std::chrono::ceil<std::chrono::milliseconds>(*at - monotonicNow());
    wake_->start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, ahead.count())));
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
    painter.drawPixmap(0, 0, picture_);
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

// The box is a modal dialog of the game window, so that window managers and
// compositors keep it over the game (modal to the application, the one
// window: Qt's Wayland platform draws no title bar on a window-modal one).
// Qt itself would drop the close request of the window the box blocks, and
// closing the window must end the program even then, so Qt is told the game
// window is not blocked; Form keeps every click and tick away while the
// handler waits.
void FormWindow::waitOnBox(QMessageBox& box)
{
    QEventLoop loop;
    connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    tellWholeSizeLimits(box.windowHandle());
    const BoxMark modal = markModal(box.windowHandle());
    if (QWindow* game = windowHandle())
        qt_window_private(game)->blockedByModalWindow = false;
    box.activateWindow();
    boxLoop_ = &loop;
    box_ = &box;
    if (QWindow* game = windowHandle())
        game->installEventFilter(this);
    loop.exec();
    if (QWindow* game = windowHandle())
        game->removeEventFilter(this);
    box_ = nullptr;
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
    std::fprintf(stderr, "%s\n", runtimeErrorLine(number, description).c_str());
    std::fflush(stderr);
    QMessageBox box(QMessageBox::Critical, qs(form_.design().appTitle), qs(runtimeErrorText(number, description)),
                    QMessageBox::Ok, this);
    box.setWindowIcon(windowIcon());
    waitOnBox(box);
}

void FormWindow::programEnded(int status)
{
    wake_->stop();
    if (boxLoop_) // the program's end takes an open box with it
        boxLoop_->quit();
    hide();
    emit ended(status);
    if (quitOnEnd_)
        QCoreApplication::exit(status);
}

} // namespace rt
