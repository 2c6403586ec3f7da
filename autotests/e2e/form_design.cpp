// Reads the design table the build writes from window/.
#include "form_design.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace e2e {

namespace {

QRect rectOf(const QJsonValue& value)
{
    const QJsonObject r = value.toObject();
    return {r["left"].toInt(), r["top"].toInt(), r["width"].toInt(), r["height"].toInt()};
}

QRgb colourOf(const QJsonValue& value)
{
    if (!value.isArray())
        return 0;
    const QJsonArray c = value.toArray();
    return qRgb(c[0].toInt(), c[1].toInt(), c[2].toInt());
}

FormDesign read()
{
    const QString path = qEnvironmentVariable("SKEETRA_DESIGN_JSON");
    if (path.isEmpty())
        qFatal("SKEETRA_DESIGN_JSON is not set; run this through CTest");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the design table %s", qPrintable(path));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (!document.isObject())
        qFatal("the design table %s is no JSON object: %s", qPrintable(path), qPrintable(error.errorString()));
    return FormDesign::fromJson(document.object());
}

} // namespace

FormDesign FormDesign::fromJson(const QJsonObject& form)
{
    FormDesign d;
    d.caption_ = form["caption"].toString();
    d.appTitle_ = form["appTitle"].toString();
    d.client_ = rectOf(form["client"]);
    for (const QJsonValue& value : form["controls"].toArray()) {
        const QJsonObject c = value.toObject();
        d.controls_.append({c["name"].toString(), c["kind"].toString(), rectOf(c["rect"]), c["visible"].toBool(),
                            c["picture"].toString(), colourOf(c["backColour"]), c["interval"].toInt()});
    }
    for (const QJsonValue& name : form["play"]["quietLabels"].toArray())
        d.quietLabels_ << name.toString();
    if (d.client_.isEmpty() || d.controls_.isEmpty() || d.quietLabels_.isEmpty())
        qFatal("the design table holds no window");
    return d;
}

const FormDesign& FormDesign::table()
{
    static const FormDesign design = read();
    return design;
}

const DesignedControl& FormDesign::control(const QString& name) const
{
    for (const DesignedControl& c : controls_)
        if (c.name == name)
            return c;
    qFatal("the design has no control %s", qPrintable(name));
}

} // namespace e2e
