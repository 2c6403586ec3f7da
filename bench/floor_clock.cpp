// CPU floor for play without shots: a Widgets window of the game's size
// whose only work is the game's clock, one label whose text changes every
// 800 ms and is repainted alone, in the game's face and size. Runs until it
// is killed.
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

    QWidget window;
    window.setFixedSize(434, 475);
    window.move(49, 81);
    // The clock's place in the game (Label7).
    QLabel clock(QStringLiteral("0"), &window);
    clock.setGeometry(272, 424, 41, 17);
    clock.setFont(face);
    clock.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette red = clock.palette();
    red.setColor(QPalette::WindowText, Qt::red);
    clock.setPalette(red);
    window.show();

    int seconds = 0;
    QTimer timer;
    timer.setInterval(800);
    QObject::connect(&timer, &QTimer::timeout, [&] { clock.setText(QString::number(++seconds)); });
    timer.start();
    return QApplication::exec();
}
