// The places the driver reads and clicks, taken from the design table, and
// the phases a scenario can bring a game to.
#include "game_driver.h"

namespace e2e {

namespace {

QString name(std::string_view control) { return QString::fromUtf8(control.data(), qsizetype(control.size())); }

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
    namespace play = skeetra::play;
    p.startArea = d.rect(name(play::kStartSign));
    p.instructions = d.rect(name(play::kInstructions));
    p.ammunition = d.rect(name(play::kAmmunition));
    p.clock = d.rect(name(play::kClock));
    p.exitCaption = d.rect(name(play::kExitCaption));
    p.winBox = d.rect(name(play::kWinBox));
    p.winGreen = d.backColour(name(play::kWinBox));
    p.finalTime = d.rect(name(play::kFinalTime)); // over the end of the win box's second line
    p.kills = d.rect(name(play::kKills));
    p.titleOfAmmunition = d.rect(name(play::kAmmunitionTitle));
    for (const play::Point& bare : play::kBarePoints)
        p.barePoints << QPoint(bare.x, bare.y);
    for (const QString& label : d.quietLabels())
        p.quietLabels << d.rect(label);
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
QString boxTitle() { return '^' + QRegularExpression::escape(FormDesign::table().appTitle()) + '$'; }

int clockPeriodMs() { return FormDesign::table().control(name(skeetra::play::kClockTimer)).interval; }
int pictureRows() { return places().titleOfAmmunition.top(); }

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
