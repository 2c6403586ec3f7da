// When each timer of a Form ticks next, and what happens to ticks that come
// late. A host owns no due time: it reads a monotonic clock, asks nextDue(),
// wakes itself once at that time and calls fire(). Every host so keeps the
// same time, and the rule is tested once, here, with a made-up clock.
#pragma once

#include "forms.h"

#include <chrono>
#include <optional>
#include <vector>

namespace rt {

class TimerSchedule {
public:
    // A monotonic clock's reading, from an epoch of the host's choosing.
    using Time = std::chrono::nanoseconds;

    // Missed time made up tick by tick, at most. A delay the size of a
    // busy moment, a flood of input or a process stopped and continued
    // leaves the clock where an undisturbed game would have it; a machine
    // that slept for hours should not come back to hours of ticks in a
    // burst, so a timer held up longer than this ticks once and starts
    // afresh from then, the missed time dropped.
    static constexpr std::chrono::milliseconds kMaxCatchUp{60'000};

    explicit TimerSchedule(Form& form);

    // After the load event: the timers running then are due one interval
    // from now. Until this, nothing is due.
    void start(Time now);
    // The host's Host::timerChanged: a timer that starts is due one interval
    // from now; one that stops or sleeps has no due time.
    void timerChanged(Timer& timer, Time now);

    // The earliest due time, or none when no timer runs (all disabled,
    // asleep, or the program ended). The host wakes itself then; a time
    // already past means at once.
    std::optional<Time> nextDue() const;

    // Delivers every tick due by `now` as its own Form::tick, the earliest
    // first (timers due at once in the order of the design). Each tick is
    // due one interval after the last was due, so a late one leaves the
    // next where it was and the timer catches up, and handlers that take
    // time do not make the clock drift. Returns the ticks delivered.
    //
    // While a handler waits on a message box the Form takes no tick: ticks
    // that fall due then are skipped, not held. The box stops the game as
    // a pause does; the player cannot shoot meanwhile, and a box left open
    // for a while must not come back to a burst of the clock.
    int fire(Time now);

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
