// CPU floor for play without shots: a Widgets window of the game's size
// whose only work is the game's clock, one label whose text changes at the
// clock timer's period (800 ms) and is repainted alone, in the game's face
// and size, at the game's places (its design table). Runs until it is
// killed.
#include "design_places.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLabel>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/PTSans-Regular.ttf"));
    QFont face;
    face.setFamilies({QFontDatabase::applicationFontFamilies(id).value(0)});
    face.setPixelSize(13);
    face.setHintingPreference(QFont::PreferNoHinting);

    namespace play = skeetra::play;
    const bench::Design design = bench::Design::read();
    QWidget window;
    window.setFixedSize(design.client.size());
    window.move(design.client.topLeft());
    QLabel clock(QStringLiteral("0"), &window);
    clock.setGeometry(design[play::kClock]);
    clock.setFont(face);
    clock.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette red = clock.palette();
    red.setColor(QPalette::WindowText, Qt::red);
    clock.setPalette(red);
    window.show();

    int seconds = 0;
    QTimer timer;
    timer.setInterval(design.interval(play::kClockTimer));
    QObject::connect(&timer, &QTimer::timeout, [&] { clock.setText(QString::number(++seconds)); });
    timer.start();
    return QApplication::exec();
}
