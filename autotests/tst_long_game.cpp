// A long game: ten hours on the clock and a million referee ticks leave the
// counters exact and the memory where it was.
#include "form1.h"
#include "recording_host.h"

#include <QTest>

#include <malloc.h>

class LongGame : public QObject {
    Q_OBJECT
private slots:
    void tenHoursOfTicksKeepCountersExactAndMemoryFlat();
};

void LongGame::tenHoursOfTicksKeepCountersExactAndMemoryFlat()
{
    rt::Form form(skeetra::Form1::design());
    skeetra::Form1 f(form);
    RecordingHost host;
    form.setHost(&host);
    form.load();
    form.clickAt(212, 308); // start
    rt::Timer& clock = f.Timer1;
    rt::Timer& referee = f.Timer2;

    constexpr int kRefereeTicks = 1'000'000;
    constexpr int kClockTicks = 10 * 3600 * 1000 / 800; // ten hours at 800 ms
    std::size_t heapAfterWarmUp = 0;
    int clockTicks = 0;
    for (int i = 0; i < kRefereeTicks; ++i) {
        form.tick(referee);
        if (i % 22 == 0 && clockTicks < kClockTicks) {
            form.tick(clock);
            ++clockTicks;
        }
        if (i == 100'000)
            heapAfterWarmUp = mallinfo2().uordblks;
    }
    QCOMPARE(clockTicks, kClockTicks);
    QCOMPARE(f.Label7.Caption(), "45000");
    QCOMPARE(f.Label6.Caption(), "120");
    QCOMPARE(f.Label5.Caption(), "0");
    QVERIFY(!form.ended());
    QCOMPARE(std::count_if(f.targets.begin(), f.targets.end(), [](rt::Image* t) { return t->Visible(); }), 1);
    // A leak of a single byte a tick would show as most of a megabyte.
    const std::size_t heapAtEnd = mallinfo2().uordblks;
    QVERIFY2(heapAtEnd <= heapAfterWarmUp + 16 * 1024,
             qPrintable(QStringLiteral("heap in use grew from %1 to %2 bytes").arg(heapAfterWarmUp).arg(heapAtEnd)));
}

QTEST_APPLESS_MAIN(LongGame)
#include "tst_long_game.moc"
