// CPU floor for a running game: the cost of waking a Qt event loop every
// millisecond and doing nothing. Runs until it is killed.
//
// Built twice: bench_floor_timer is the bare Qt program; with
// FLOOR_WITH_WINDOW (bench_floor_timer_window) the same timer runs in a
// Widgets application showing an empty window of the game's size, which
// tells the toolkit's own share of a windowed program's wake-ups apart.
#ifdef FLOOR_WITH_WINDOW
#include <QApplication>
#include <QWidget>
#else
#include <QCoreApplication>
#endif
#include <QTimer>

int main(int argc, char** argv)
{
#ifdef FLOOR_WITH_WINDOW
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(434, 475);
    window.move(49, 81);
    window.show();
#else
    QCoreApplication app(argc, argv);
#endif
    unsigned long ticks = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start();
    return QCoreApplication::exec();
}
