// The window as designed, read from the design table the build writes
// (SKEETRA_DESIGN_JSON): the places, colours and names the driver needs,
// in design pixels, so that none is typed out here again.
#pragma once

#include <QList>
#include <QRect>
#include <QRgb>
#include <QSize>
#include <QString>
#include <QStringList>

class QJsonObject;

namespace e2e {

struct DesignedControl {
    QString name;
    QString kind; // "label", "image" or "timer"
    QRect rect;
    bool visible = false;
    QString picture;
    QRgb backColour = 0; // rgb colours only; a system colour reads as 0
    int interval = 0;    // timers, milliseconds
};

class FormDesign {
public:
    // The table of this build, read once.
    static const FormDesign& table();

    QString caption() const { return caption_; }
    QString appTitle() const { return appTitle_; } // the title of message boxes
    QRect client() const { return client_; } // on the screen
    QSize clientSize() const { return client_.size(); }
    const QList<DesignedControl>& controls() const { return controls_; } // stacking order, topmost first
    const DesignedControl& control(const QString& name) const;
    QRect rect(const QString& name) const { return control(name).rect; }
    QRgb backColour(const QString& name) const { return control(name).backColour; }
    // The labels that take clicks and do nothing.
    const QStringList& quietLabels() const { return quietLabels_; }

    static FormDesign fromJson(const QJsonObject& form);

private:
    QString caption_;
    QString appTitle_;
    QRect client_;
    QList<DesignedControl> controls_;
    QStringList quietLabels_;
};

} // namespace e2e
