// Starting where no window can be opened: the player gets one clear line
// and status 2, not a page of platform advice and a core dump.
#include <QProcess>
#include <QTest>

class NoDisplay : public QObject {
    Q_OBJECT
private slots:
    void noDisplayGivesOneLineAndStatusTwo_data();
    void noDisplayGivesOneLineAndStatusTwo();
};

void NoDisplay::noDisplayGivesOneLineAndStatusTwo_data()
{
    QTest::addColumn<QString>("display");     // empty: unset
    QTest::addColumn<QString>("platform");    // empty: unset
    QTest::addColumn<QString>("mustMention"); // besides the word "display"

    QTest::newRow("display with no server") << ":9999" << "" << ":9999";
    QTest::newRow("display on a socket path that does not exist") << "/nonexistent/socket:0" << ""
                                                                   << "/nonexistent/socket:0";
    QTest::newRow("no display named") << "" << "" << "DISPLAY";
    QTest::newRow("X11 platform asked for, no display named") << "" << "xcb" << "display";
}

void NoDisplay::noDisplayGivesOneLineAndStatusTwo()
{
    QFETCH(QString, display);
    QFETCH(QString, platform);
    QFETCH(QString, mustMention);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
        env.remove(QString::fromLatin1(name));
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);
    if (!platform.isEmpty())
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);

    QProcess game;
    game.setProcessEnvironment(env);
    game.start(qEnvironmentVariable("SKEETRA"), {});
    QVERIFY2(game.waitForStarted(20000), qPrintable(game.errorString()));
    QVERIFY2(game.waitForFinished(60000), "the game neither opened a window nor gave up");

    const QString err = QString::fromUtf8(game.readAllStandardError());
    QCOMPARE(game.exitStatus(), QProcess::NormalExit); // no abort, no core dump
    QCOMPARE(game.exitCode(), 2);
    const QStringList lines = err.split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.size() == 1, qPrintable("expected one line, got:\n" + err));
    QVERIFY2(lines.front().contains(QLatin1String("display"), Qt::CaseInsensitive), qPrintable(err));
    QVERIFY2(lines.front().contains(mustMention), qPrintable(err));
    QVERIFY(game.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(NoDisplay)
#include "tst_e2e_display.moc"
