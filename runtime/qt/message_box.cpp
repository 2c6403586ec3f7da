// The Form's message boxes: modal dialogs over the game window, waited on in
// an event loop of their own while the window still paints and can be closed.
#include "qt_host.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QWindow>
#include <private/qwindow_p.h>


namespace rt {

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

void FormWindow::writeErrorLine(const std::string& line) { writeStderrLine(line); }

void FormWindow::showErrorBox(const std::string& text)
{
    QMessageBox box(QMessageBox::Critical, qs(form_.design().appTitle), qs(text), QMessageBox::Ok, this);
    box.setWindowIcon(windowIcon());
    waitOnBox(box);
}

} // namespace rt
