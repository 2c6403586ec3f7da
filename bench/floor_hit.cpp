// Hit floor: a Widgets window of the game's size that does, on a click,
// what a hit shows a player and nothing more: one 43 x 55 picture (the
// game's target) is hidden, another shown, and two labels change, each
// repainted alone. It speaks bench_hit_game's protocol, so scripts/bench
// drives both alike:
//   start X Y          where to click first: shows the first picture
//   target X Y         the picture now on screen
//   hit_us T click_us C in_click 1 paint_us P paints N
//                      release to the next picture on screen, measured the
//                      way bench_hit_game measures the game
// bench_floor_hit [hits] ends after that many hits (60 by default). The
// places are the game's own, read from its design table (SKEETRA_DESIGN_JSON,
// by default the one this build wrote).
#include "design_places.h"
#include "first_frame.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace {

int g_hitsWanted = 60;

using bench::Design;
namespace play = skeetra::play;

class Picture;

class HitWindow : public QWidget {
public:
    HitWindow();
    void shown(Picture* picture);

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void print(const char* what, QPoint at);

    QFont face_;
    Picture* pictures_[2];
    QLabel* kills_;
    QLabel* cartridges_;
    Design design_ = Design::read();
    QRect start_ = design_[play::kStartSign]; // the game's start sign
    int current_ = -1;
    int hits_ = 0;
    bool framed_ = false;
    bool waiting_ = false;
    std::int64_t releaseNs_ = 0;
    std::int64_t clickNs_ = 0;
};

class Picture : public QLabel {
public:
    Picture(HitWindow* window, const QPixmap& pixmap) : QLabel(window), window_(window) { setPixmap(pixmap); }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QLabel::paintEvent(event);
        window_->shown(this);
    }

private:
    HitWindow* window_;
};

HitWindow::HitWindow()
{
    const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/PTSans-Regular.ttf"));
    face_.setFamilies({QFontDatabase::applicationFontFamilies(id).value(0)});
    face_.setPixelSize(13);
    face_.setHintingPreference(QFont::PreferNoHinting);
    setFixedSize(design_.client.size());
    move(design_.client.topLeft());

    const QPixmap target(QStringLiteral(":/pictures/target.gif"));
    // Two of the game's openings.
    const QRect places[2] = {design_["Image2"], design_["Image5"]};
    for (int i = 0; i < 2; ++i) {
        pictures_[i] = new Picture(this, target);
        pictures_[i]->setGeometry(places[i]);
        pictures_[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
        pictures_[i]->hide();
    }
    // The cartridges (Label6) and the kills (Label5), where the game has them.
    auto label = [&](const QString& text, QRect place) {
        auto* l = new QLabel(text, this);
        l->setGeometry(place);
        l->setFont(face_);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        QPalette red = l->palette();
        red.setColor(QPalette::WindowText, Qt::red);
        l->setPalette(red);
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        return l;
    };
    cartridges_ = label(QString::number(play::kStartAmmunition), design_[play::kAmmunition]);
    kills_ = label(QStringLiteral("0"), design_[play::kKills]);
}

void HitWindow::print(const char* what, QPoint at)
{
    const QPoint p = mapToGlobal(at);
    std::printf("%s %d %d\n", what, p.x(), p.y());
    std::fflush(stdout);
}

void HitWindow::paintEvent(QPaintEvent*)
{
    if (framed_)
        return;
    framed_ = true;
    QTimer::singleShot(0, this, [this] {
        bench::waitUntilOnScreen(this);
        print("start", start_.center());
    });
}

void HitWindow::mouseReleaseEvent(QMouseEvent* event)
{
    releaseNs_ = bench::monotonicNs();
    const QPoint at = event->position().toPoint();
    const bool started = current_ < 0 && start_.contains(at);
    const bool hit = current_ >= 0 && pictures_[current_]->geometry().contains(at);
    if (!started && !hit) {
        std::printf("miss\n");
        if (current_ < 0)
            print("start", start_.center());
        else
            print("target", pictures_[current_]->geometry().center());
        return;
    }
    if (hit) {
        pictures_[current_]->hide();
        kills_->setText(QString::number(kills_->text().toInt() + 1));
        cartridges_->setText(QString::number(cartridges_->text().toInt() - 1));
    }
    current_ = current_ < 0 ? 0 : 1 - current_;
    pictures_[current_]->show();
    waiting_ = true;
    clickNs_ = bench::monotonicNs();
}

void HitWindow::shown(Picture* picture)
{
    if (!waiting_ || picture != pictures_[current_])
        return;
    waiting_ = false;
    const std::int64_t paintStart = bench::monotonicNs();
    const bool counted = kills_->text() != QStringLiteral("0");
    QTimer::singleShot(0, this, [this, picture, paintStart, counted] {
        bench::waitUntilOnScreen(this);
        const std::int64_t on = bench::monotonicNs();
        if (counted) {
            std::printf("hit_us %.1f click_us %.1f in_click 1 paint_us %.1f paints 1\n", (on - releaseNs_) / 1e3,
                        (clickNs_ - releaseNs_) / 1e3, (on - paintStart) / 1e3);
            if (++hits_ >= g_hitsWanted) {
                std::fflush(stdout);
                QCoreApplication::exit(0);
                return;
            }
        }
        print("target", picture->geometry().center());
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::atoi(argv[1]) > 0)
        g_hitsWanted = std::atoi(argv[1]);
    QApplication app(argc, argv);
    HitWindow window;
    window.show();
    return QApplication::exec();
}
