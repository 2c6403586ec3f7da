// The Qt side of the forms runtime: the one widget that paints a Form and
// turns mouse presses and timer events into the Form's events.
//
// The whole client area is a single widget that draws every control itself
// and hit-tests against the Form, so a click can never be passed on to a
// parent the way Qt passes ignored mouse events.
#pragma once

#include "error_box.h"
#include "form.h"
#include "services.h"
#include "start.h"

#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QEventLoop;
class QMessageBox;
class QScreen;
class QWindow;
class QTimer;
struct wl_proxy;

namespace rt {

// UTF-8 from the design and the core, as Qt's text.
inline QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// Why the window cannot be shown on the screen, or empty when it can.
std::string unusableScreen(const QScreen* screen);

// The whole number of device pixels a design pixel takes, by the scale rule
// (scale_rule.h) with the screen's ratio as its ceiling. Frame and work
// area in device pixels.
int fittingScale(QSize client, QSize frame, QSize workArea, double ratio);

// Registers the design's bundled fonts with Qt; safe to call more than once.
void loadFonts(const FormDesign& design);
// The bundled face for a design font, at the pixel size its points have at 96 dpi.
QFont fontFor(const FormDesign& design, const FontDesign& font);
// A label's caption as the lines it is drawn in, measured in `font` (the
// rule is breakLines', line_breaks.h).
QStringList labelLines(const QFont& font, int width, const QString& text);

// The design's pictures (design_pictures.h), decoded. Safe on any thread, also before the
// application object exists, so start-up can decode while Qt connects.
using Pictures = std::map<std::string_view, QImage>;
Pictures decodePictures(const FormDesign& design);

// Qt 6.4's Wayland platform gives the compositor a window's fixed size
// without the title bar and borders it draws itself, though the window it
// shows has them: a smaller maximum than the window. A compositor that keeps
// to the limits (mutter) then holds the window's placement back until the
// window shrinks, which it never does, and places it at the next event, the
// player's first click, moving it from under the pointer. This tells the
// compositor the whole window's size instead; elsewhere it does nothing.
void tellWholeSizeLimits(QWindow* window);

// To mutter a Wayland window with a parent is one more window, placed by
// its own rules (below the game, where the box went unseen); one marked
// modal through GNOME's gtk_shell1 is its parent's dialog, put over it and
// centred. Marks a box shown but not yet drawn (mutter places a window at
// its first picture); the mark is let go with the returned handle.
// Elsewhere, and where the compositor offers no gtk_shell1, it does nothing.
using BoxMark = std::unique_ptr<wl_proxy, void (*)(wl_proxy*)>;
BoxMark markModal(QWindow* box);

class FormWindow : public QWidget, public ReportingHost {
    Q_OBJECT
public:
    // Pictures missing from `decoded` are loaded here.
    explicit FormWindow(Form& form, const Pictures& decoded = {}, QWidget* parent = nullptr);
    ~FormWindow() override;

    Form& form() { return form_; }
    // Tests keep their own process alive and watch the ended() signal.
    void setQuitOnEnd(bool quit) { quitOnEnd_ = quit; }
    void setVisible(bool visible) override;

    Time now() const override;
    void wakeAt(std::optional<Time> at) override;
    void controlChanged(Control& control) override;
    void messageBox(std::string_view text) override;
    void programEnded(int status) override;

signals:
    void ended(int status);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void writeErrorLine(const std::string& line) override;
    void showErrorBox(const std::string& text) override;

private:
    QColor colour(const Colour& c) const;
    void paintLabel(QPainter& painter, const Label& label);
    // Chooses the scale for the window's screen and sizes the window to it.
    void updateScale();
    void updatePointer();
    void waitOnBox(QMessageBox& box);
    QRect toWindow(const PixelRect& r) const;
    int designPixel(qreal coordinate) const;

    Form& form_;
    std::map<std::string_view, QPixmap> pictures_; // the painted ones, by path: each file once
    // The one wake-up the Form asks for.
    QTimer* wake_ = nullptr;
    bool quitOnEnd_ = true;
    QEventLoop* boxLoop_ = nullptr;
    QMessageBox* box_ = nullptr;
    // Device pixels a design pixel takes, and the screen's own ratio of
    // device pixels to Qt's logical ones; the two differ where the window
    // would not fit the screen at its ratio, or where the ratio has a fraction.
    int scale_ = 0;
    double ratio_ = 1;

public:
    int scale() const { return scale_; }
};

} // namespace rt
