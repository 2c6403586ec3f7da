// The live window: the controls the handlers read and write, and the Form
// that builds them from a design and delivers one event at a time to them.
#pragma once

#include "design.h"
#include "host.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

class Form;
class TimerSchedule;

class Control {
public:
    Control(Form& form, const ControlDesign& design);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const ControlDesign& design() const { return design_; }
    std::string_view name() const { return design_.name; }
    ControlKind kind() const { return design_.kind; }
    PixelRect rect() const;

    bool Visible() const { return visible_; }
    void setVisible(bool visible);

    // The handler of the control's one event: a click for labels and pictures,
    // a tick for timers. Empty: the event is taken and nothing happens.
    std::function<void()> handler;

protected:
    Form& form_;
    const ControlDesign& design_;
    bool visible_;

private:
    friend class Form;
    bool changeHeld_ = false; // changed while the form holds changes back
};

class Label : public Control {
public:
    Label(Form& form, const ControlDesign& design);
    const std::string& Caption() const { return caption_; }
    void setCaption(std::string caption);

private:
    std::string caption_;
};

class Image : public Control {
public:
    using Control::Control;
};

class Timer : public Control {
public:
    Timer(Form& form, const ControlDesign& design);
    int Interval() const { return design_.interval; }
    bool Enabled() const { return enabled_; }
    void setEnabled(bool enabled);
    // Whether it is due to tick on its own (it has a due time): enabled
    // and not asleep (see Form). Nothing the handlers read depends on it.
    bool running() const;

private:
    friend class Form;
    bool enabled_;
    std::size_t number_ = 0; // its place among the form's timers, where the form keeps its sleep
};

// The window and its controls, built from a design, and the one place that
// delivers events to handlers.
//
// The rule every handler keeps: it holds no state of its own between events
// (everything it knows lives in the controls) and it reaches the outside
// only through the runtime's services (services.h). So what a timer's tick
// does depends on the form alone, and once a tick has changed nothing, each
// further tick would change nothing either until something changes the form.
// Form uses this to let timers sleep instead of waking the process for
// nothing; a handler that broke the rule (counted its own ticks, read a
// clock) could sleep through a tick that would have done something.
//
// Sleeping timers:
// - After a tick that changed nothing the timer sleeps: it stays Enabled,
//   running() turns false and it has no due time.
// - "Changed" is strict: a property taking a new value (writing the value a
//   property already has is no change), a random number drawn or the
//   generator seeded, a message box, the program's end, a runtime error.
// - Any change wakes every sleeping timer. A woken timer ticks at once,
//   inside the delivery of the event that changed the form and so before
//   any other event, and again after each further change until its own
//   due time comes; from then on it ticks at its interval for as
//   long as its ticks change something. A timer whose every tick changes
//   something never sleeps, and its due times are never moved.
// - Within one event each woken timer ticks again only after another
//   timer's tick has changed the form, and each changes the form at most
//   once, so timers answering one another cannot keep the event going.
// - Enabling a disabled timer starts it as always; the program's end stops
//   every timer.
// - Timers sleep once the host has started them (startTimers). Before that
//   no tick falls due on its own: every tick is one given by hand (as a
//   test gives them, on a script of its own), and each is delivered and
//   none sleeps.
class Form {
public:
    explicit Form(const FormDesign& design);
    ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const FormDesign& design() const { return design_; }
    int clientWidth() const { return twipsToPixels(design_.client.width); }
    int clientHeight() const { return twipsToPixels(design_.client.height); }

    void setHost(Host* host) { host_ = host; }
    Host* host() const { return host_; }

    Label& label(std::string_view name);
    Image& image(std::string_view name);
    Timer& timer(std::string_view name);
    Control* find(std::string_view name);
    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }

    std::function<void()> onLoad;
    std::function<void()> onClick; // a click where no shown control lies

    // The shown label or picture highest in the stacking order under the
    // point, or null where the click belongs to the window itself.
    Control* controlAt(int x, int y) const;

    // Event delivery. Each returns at once when the program has ended or a
    // handler is still running (a message box is open).
    void load();
    void click(Control* target); // null: the window
    void clickAt(int x, int y) { click(controlAt(x, y)); }
    void tick(Timer& timer);

    // The mouse button, at points of the client area in design pixels. A
    // click is a press and a release on the same control, or both where no
    // shown control lies, released inside the client area; the second press
    // of a double click is a press like any other.
    void press(int x, int y);
    void release(int x, int y);
    // The press will see no release here: the platform took the mouse away.
    void cancelPress() { pressed_ = false; }

    // Closing the window ends the program; no handler runs for it.
    void close();

    // Time. After load(), unless it ended the program, the host starts the
    // timers: those enabled are due one interval from its now(). From then
    // on the Form asks the host for one wake-up at the earliest due time
    // (Host::wakeAt), and wake() is the host's one entry point when it
    // comes: every tick due by now() is delivered (timer_schedule.h), and
    // the next wake-up asked for. Returns the ticks delivered.
    void startTimers();
    long long wake();

    bool ended() const { return ended_; }
    // A handler is running (waiting on a message box): no event is taken.
    bool busy() const { return depth_ > 0; }
    int exitStatus() const { return exitStatus_; }

    // Runtime services reach the form whose handler is running through this.
    static Form* current();
    // A service did something a handler could observe other than through a
    // property (drew a random number, showed a box): the form has changed.
    void markChanged();

    // While held, the host hears of each changed control once, when the
    // hold ends or before a message box opens, not at every change: ticks
    // made up after a hold-up repaint once, not once a tick.
    void holdChanges() { ++holding_; }
    void releaseChanges();
    // Tells the host now of the changes held so far; the hold goes on.
    void reportHeldChanges();

private:
    friend class Control;
    friend class Label;
    friend class Timer;
    friend class TimerSchedule;
    // Each public entry point is one: when the outermost returns, the
    // timers started and stopped meanwhile reach the schedule and the host
    // is asked for the next wake-up.
    struct Entry;
    void askForWakeUp();
    void boxClosed();
    friend void messageBox(std::string_view text);
    bool deliver(const std::function<void()>& handler); // whether the form changed
    void end(int status);
    void changed(Control& control);
    bool timersMaySleep() const { return timersStarted_; }
    void runningChanged(Timer& timer, bool wasRunning);
    void afterTick(Timer& timer, bool changed);
    void wakeSleepers();
    void answerChange(Timer* ticked);

    const FormDesign& design_;
    std::vector<std::unique_ptr<Control>> controls_;
    std::vector<Timer*> timers_;
    Host* host_ = nullptr;
    bool ended_ = false;
    int exitStatus_ = 0;
    int depth_ = 0;
    bool pressed_ = false;
    Control* pressTarget_ = nullptr;
    bool changed_ = false; // by the handler now running
    int holding_ = 0;
    std::vector<Control*> held_; // changed while holding, in the order of their first change

    std::unique_ptr<TimerSchedule> schedule_;
    bool timersStarted_ = false; // by the host: from then on ticks fall due on its clock
    struct TimerChange {
        Timer* timer;
        bool running;
    };
    std::vector<TimerChange> timerChanges_; // not yet taken by the schedule, in order
    std::optional<Host::Time> boxClosedAt_; // a box closed since the schedule last looked
    int entered_ = 0;
    std::optional<std::optional<Host::Time>> asked_; // the wake-up the host holds, if any is known
    // Each timer's sleep (form.cpp), by its number.
    struct Sleep;
    std::vector<Sleep> sleep_;
    Sleep& sleepOf(const Timer& timer);
};

} // namespace rt
