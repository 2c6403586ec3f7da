// Reads scenarios.txt: one scenario a line with the platforms that play it,
// and below it, indented after "- ", the rows it is played with, each with
// the platforms that play it when not all the scenario's.
#include "scenario_list.h"

#include "display.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace e2e {

namespace {

QList<ListedScenario> read()
{
    QFile file(QStringLiteral(SKEETRA_SCENARIOS));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("cannot read the scenario list %s", SKEETRA_SCENARIOS);
    static const QRegularExpression row(QStringLiteral("^\\s+- (.*)$"));
    QList<ListedScenario> list;
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine());
        line = line.section('#', 0, 0);
        line.chop(line.endsWith('\n') ? 1 : 0);
        if (const QRegularExpressionMatch m = row.match(line); m.hasMatch()) {
            if (list.isEmpty())
                qFatal("the scenario list has a row before any scenario");
            // A row may name the platforms that play it, after a '|'.
            const QString row = m.captured(1);
            list.back().rows << row.section('|', 0, 0).trimmed();
            list.back().rowPlatforms << row.section('|', 1).split(QRegularExpression(QStringLiteral("\\s+")),
                                                                  Qt::SkipEmptyParts);
            continue;
        }
        const QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        // A word -ENGINE keeps the scenario from one of the web's engines
        // alone: no platform here.
        QStringList platforms = words.mid(1);
        platforms.removeIf([](const QString& w) { return w.startsWith('-'); });
        if (!words.isEmpty())
            list.append({words.front(), platforms, {}, {}});
    }
    return list;
}

} // namespace

const QList<ListedScenario>& scenarioList()
{
    static const QList<ListedScenario> list = read();
    return list;
}

const ListedScenario* listedScenario(const QString& name)
{
    for (const ListedScenario& s : scenarioList())
        if (s.name == name)
            return &s;
    return nullptr;
}

QString platformName() { return platform(); }

QString addListedRows(const QList<RowCase>& cases)
{
    const QString scenario = QString::fromLatin1(QTest::currentTestFunction());
    const ListedScenario* listed = listedScenario(scenario);
    QStringList rows;
    if (listed)
        for (int i = 0; i < listed->rows.size(); ++i)
            if (listed->rowPlayedOn(i, platformName()))
                rows << listed->rows[i];
    for (const RowCase& c : cases)
        if (!listed || !listed->rows.contains(c.row))
            return QStringLiteral("%1 has the row \"%2\", which scenarios.txt does not list").arg(scenario, c.row);
    for (const QString& row : rows) {
        const auto c = std::find_if(cases.begin(), cases.end(), [&](const RowCase& c) { return c.row == row; });
        if (c == cases.end())
            return QStringLiteral("scenarios.txt lists the row \"%1\" of %2, which is not played here").arg(row, scenario);
        c->values(QTest::newRow(qPrintable(row)));
    }
    return {};
}

} // namespace e2e
