// Launch probe, floor side: the least a Qt Widgets program of the game's
// size and font can do to show a window, measured like the game.
#include "first_frame.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QPainter>
#include <QWidget>

namespace {
void installProbe() { bench::quitAfterFirstFrame(); }
} // namespace
Q_COREAPP_STARTUP_FUNCTION(installProbe)

namespace {

class FloorWindow : public QWidget {
public:
    explicit FloorWindow(const QString& family)
    {
        font_.setFamilies({family});
        font_.setPixelSize(13);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setFont(font_);
        painter.drawText(20, 40, QStringLiteral("Патроны: 120"));
    }

private:
    QFont font_;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/PTSans-Regular.ttf"));
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    FloorWindow window(families.value(0));
    window.setFixedSize(434, 475);
    window.move(49, 81);
    window.show();
    return QApplication::exec();
}
