// The game's window and controls as its design table gives them (the table
// the build writes, or SKEETRA_DESIGN_JSON), for the floors that stand in
// for the game at its own places, with its own counts and periods.
#pragma once

#include "play_facts.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRect>
#include <QString>

#include <string_view>

namespace bench {

// The window's place and the controls' rectangles, in design pixels.
struct Design {
    QRect client;
    QJsonArray controls;

    static Design read()
    {
        QString path = qEnvironmentVariable("SKEETRA_DESIGN_JSON");
        if (path.isEmpty())
            path = QStringLiteral(SKEETRA_DESIGN_JSON);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read the design table %s", qPrintable(path));
        const QJsonObject form = QJsonDocument::fromJson(file.readAll()).object();
        return {rect(form["client"]), form["controls"].toArray()};
    }
    QJsonValue control(std::string_view name) const
    {
        const QString wanted = QString::fromUtf8(name.data(), qsizetype(name.size()));
        for (const QJsonValue& c : controls)
            if (c["name"].toString() == wanted)
                return c;
        qFatal("the design has no control %s", qPrintable(wanted));
    }
    QRect operator[](std::string_view name) const { return rect(control(name)["rect"]); }
    // A timer's interval, in milliseconds.
    int interval(std::string_view name) const { return control(name)["interval"].toInt(); }
    static QRect rect(const QJsonValue& r)
    {
        return {r["left"].toInt(), r["top"].toInt(), r["width"].toInt(), r["height"].toInt()};
    }
};

} // namespace bench
