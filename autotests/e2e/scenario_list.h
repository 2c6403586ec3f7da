// The list of scenarios every platform's driver plays (scenarios.txt): for
// each, the platforms that play it and the rows it is played with.
#pragma once

#include <QString>
#include <QStringList>
#include <QList>

#include <functional>

class QTestData;

namespace e2e {

struct ListedScenario {
    QString name;
    QStringList platforms; // empty: linux, wine, wayland and web
    QStringList rows;      // empty: played once, without rows
    QList<QStringList> rowPlatforms; // for each row; empty: all the scenario's

    bool playedOn(const QString& platform) const
    {
        return platforms.isEmpty() ? !kDesktops.contains(platform) : platforms.contains(platform);
    }
    bool rowPlayedOn(int row, const QString& platform) const
    {
        return rowPlatforms[row].isEmpty() ? playedOn(platform) : rowPlatforms[row].contains(platform);
    }
    // The desktops play only the scenarios that name them: the ones that
    // depend on the desktop.
    static inline const QStringList kDesktops{"weston-xwayland", "mutter", "mutter-xwayland", "kwin", "kwin-xwayland"};
};

// The list, read once from SKEETRA_SCENARIOS.
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
