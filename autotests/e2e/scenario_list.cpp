// Reads the scenario table that the build writes from scenarios.txt (the
// list's syntax is read there alone): each scenario with the platforms that
// play it and its rows, each row with its own platforms.
#include "scenario_list.h"

#include "display.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace e2e {

namespace {

QStringList strings(const QJsonValue& array)
{
    QStringList out;
    for (const QJsonValue& v : array.toArray())
        out << v.toString();
    return out;
}

QList<ListedScenario> read()
{
    QFile file(QStringLiteral(SKEETRA_SCENARIOS));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the scenario table %s", SKEETRA_SCENARIOS);
    QJsonParseError error;
    const QJsonDocument table = QJsonDocument::fromJson(file.readAll(), &error);
    if (table.isNull())
        qFatal("the scenario table %s: %s", SKEETRA_SCENARIOS, qPrintable(error.errorString()));
    QList<ListedScenario> list;
    for (const QJsonValue& v : table[QLatin1String("scenarios")].toArray()) {
        const QJsonObject s = v.toObject();
        ListedScenario listed{s[QLatin1String("name")].toString(), strings(s[QLatin1String("platforms")]), {}, {}};
        for (const QJsonValue& row : s[QLatin1String("rows")].toArray()) {
            listed.rows << row[QLatin1String("name")].toString();
            listed.rowPlatforms << strings(row[QLatin1String("platforms")]);
        }
        list << listed;
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
