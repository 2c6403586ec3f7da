// Drives the referee timer without Qt, for an instruction count of its
// handler under callgrind: bench_referee waiting|playing [ticks].
//   waiting: before the start sign is clicked (the target index is 13)
//   playing: after it, with a target index written and its target shown
#include "form1.h"
#include "play_facts.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    const bool playing = argc > 1 && std::strcmp(argv[1], "playing") == 0;
    if (argc < 2 || (!playing && std::strcmp(argv[1], "waiting") != 0)) {
        std::fprintf(stderr, "usage: bench_referee waiting|playing [ticks]\n");
        return 2;
    }
    const long ticks = argc > 2 ? std::atol(argv[2]) : 100000;

    rt::Form form(skeetra::Form1::design());
    skeetra::Form1 game(form);
    rt::seedRandom(1);
    if (playing)
        form.click(&game.Image1);
    rt::Timer& referee = form.timer(skeetra::play::kRefereeTimer);

    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < ticks; ++i)
        form.tick(referee);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    int shown = 0;
    for (rt::Image* target : game.targets)
        shown += target->Visible() ? 1 : 0;
    std::printf("state %s index %s targets_shown %d ticks %ld ns_per_tick %.1f\n", argv[1],
                game.Label10.Caption().c_str(), shown, ticks,
                std::chrono::duration<double, std::nano>(elapsed).count() / static_cast<double>(ticks));
    // Either end of play would stop the referee and leave nothing to measure.
    return form.ended() || !referee.Enabled() || shown != (playing ? 1 : 0) ? 1 : 0;
}
