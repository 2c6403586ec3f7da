// When each timer of a Form ticks next, and what happens to ticks that come
// late. The Form owns one and drives it: it reads the host's clock, asks the
// host for one wake-up at nextDue() and calls fire() when it comes. No host
// owns a due time, so every host keeps the same time, and the rule is tested
// once, on a made-up clock.
#pragma once

#include "form.h"

#include <chrono>
#include <optional>
#include <vector>

namespace rt {

class TimerSchedule {
public:
    using Time = Host::Time;

    explicit TimerSchedule(Form& form);

    // After the load event: the timers running then are due one interval
    // from now. Until this, nothing is due.
    void start(Time now);
    // Takes what the form did outside fire(): a timer that started is due
    // one interval from now, one that stopped or fell asleep has no due
    // time; ticks due by the time a message box closed are skipped.
    void takeChanges(Time now);

    // The earliest due time, or none when no timer runs (all disabled,
    // asleep, or the program ended). The host wakes itself then; a time
    // already past means at once.
    std::optional<Time> nextDue() const;

    // Delivers every tick due by `now` as its own Form::tick, the earliest
    // first (timers due at once in the order of the design), however late
    // the wake-up: after any hold-up (a busy machine, the process stopped,
    // a frozen page) the clock reads the time since it started. Each tick
    // is due one interval after the last was due, so a late one leaves the
    // next where it was, and handlers that take time do not make the clock
    // drift. Returns the ticks delivered.
    //
    // Hours of missed time cost little: a timer whose tick changes nothing
    // sleeps (see Form) and owes no further tick, so only timers that
    // change the form at every tick are made up one by one, and the form
    // tells the host of each changed control once, after the last tick.
    // A timer that one of the ticks starts is due one interval after that
    // tick was due, and takes its place among the ticks still owed.
    //
    // While a handler waits on a message box the Form takes no tick: ticks
    // that fall due then are skipped, not held, also those a late wake-up
    // still owed. The box stops the game as a pause does; the player cannot
    // shoot meanwhile, and a box left open for a while must not come back
    // to a burst of the clock.
    long long fire(Time now);

private:
    struct Slot {
        Timer* timer;
        std::optional<Time> due;
    };
    Time interval(const Slot& slot) const;
    Slot* slotOf(const Timer& timer);

    Form& form_;
    std::vector<Slot> slots_;
    bool started_ = false;
};

} // namespace rt
