// The places the driver reads and clicks, taken from the design table, and
// the phases a scenario can bring a game to.
#include "game_driver.h"

namespace e2e {

namespace {

Places readPlaces()
{
    const FormDesign& d = FormDesign::table();
    Places p;
    p.clientSize = d.clientSize();
    // The openings are the pictures that show the figure; Image1, the start
    // sign, shows none.
    QList<const DesignedControl*> openings;
    for (const DesignedControl& c : d.controls())
        if (c.kind == QLatin1String("image") && !c.picture.isEmpty())
            openings << &c;
    std::sort(openings.begin(), openings.end(), [](const DesignedControl* a, const DesignedControl* b) {
        return a->name.mid(5).toInt() < b->name.mid(5).toInt();
    });
    for (const DesignedControl* c : openings)
        p.targets << c->rect;
    p.startArea = d.rect(QStringLiteral("Image1"));
    p.instructions = d.rect(QStringLiteral("Label8"));
    p.ammunition = d.rect(QStringLiteral("Label6"));
    p.clock = d.rect(QStringLiteral("Label7"));
    p.exitCaption = d.rect(QStringLiteral("Label1"));
    p.winBox = d.rect(QStringLiteral("Label11"));
    p.winGreen = d.backColour(QStringLiteral("Label11"));
    p.finalTime = d.rect(QStringLiteral("Label12")); // over the end of the win box's second line
    p.kills = d.rect(QStringLiteral("Label5"));
    p.titleOfAmmunition = d.rect(QStringLiteral("Label3"));
    p.barePoints = {{420, 300}, {10, 300}, {300, 410}, {110, 70}};
    for (const DesignedControl& c : d.controls())
        if (c.kind == QLatin1String("label") && c.visible && c.name != QLatin1String("Label1"))
            p.quietLabels << c.rect;
    return p;
}

} // namespace

const Places& places()
{
    static const Places p = readPlaces();
    return p;
}

QRect Places::target(const QString& name) const { return FormDesign::table().rect(name); }

QString mainTitle() { return '^' + QRegularExpression::escape(FormDesign::table().caption()) + '$'; }

bool reach(Game& game, Phase phase)
{
    if (!game.launch())
        return false;
    switch (phase) {
    case Phase::Waiting: return true;
    case Phase::Playing: return game.start() && game.shownTarget().has_value();
    case Phase::LossBox: return game.missBurst(kStartAmmunition) && game.lossBox().has_value();
    case Phase::Won: return game.playToWin();
    }
    return false;
}
} // namespace e2e
