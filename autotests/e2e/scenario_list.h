// The list of scenarios every platform's driver plays (scenarios.txt, as
// the build's table holds it): for each, the platforms that play it and the
// rows it is played with.
#pragma once

#include <QString>
#include <QStringList>
#include <QList>

#include <functional>

class QTestData;

namespace e2e {

struct ListedScenario {
    QString name;
    QStringList platforms; // every platform that plays it
    QStringList rows;      // empty: played once, without rows
    QList<QStringList> rowPlatforms; // for each row, every platform that plays it

    bool playedOn(const QString& platform) const { return platforms.contains(platform); }
    bool rowPlayedOn(int row, const QString& platform) const { return rowPlatforms[row].contains(platform); }
};

// The list, read once from the table at SKEETRA_SCENARIOS.
const QList<ListedScenario>& scenarioList();
const ListedScenario* listedScenario(const QString& name);

// The platform this run plays on, as the list names it.
QString platformName();

// One case of a scenario played with rows: the row's name in the list, and
// what it puts in the row's columns.
struct RowCase {
    QString row;
    std::function<void(QTestData&)> values;
};

// Adds to the running scenario's table the rows the list gives it, each
// with the values of its case. Returns why not when a listed row has no
// case here, or a case here is no row in the list (it would never run);
// empty when every row is both.
QString addListedRows(const QList<RowCase>& cases);

} // namespace e2e
