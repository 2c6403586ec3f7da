// The live window and its controls, the delivery of one event at a time, and
// the sleeping and waking of timers whose ticks would change nothing.
//
// Program end and runtime errors unwind the running handler as exceptions;
// deliver() is the only place that catches them, so a handler never sees its
// own end and nothing after endProgram() runs.
#include "form.h"

#include "services.h"
#include "timer_schedule.h"

#include <stdexcept>

namespace rt {

namespace {

struct ProgramEnd {};

Form* g_current = nullptr;

// The one call of a handler whose end and runtime errors deliver() must
// catch. It stays a function of its own so that deliver's try ends in a
// direct call to it: a handler called right inside the try (std::function
// calls it indirectly) ends the try in an indirect call, and WebKit's
// WebAssembly interpreter, which runs each function of a freshly loaded
// page until it has been called a few hundred times, skips the catch of a
// try whose last instruction is an indirect call that throws. The game's
// end would then escape as an internal error.
void callHandler(const std::function<void()>& handler) { handler(); }

} // namespace

Control::Control(Form& form, const ControlDesign& design)
    : form_(form), design_(design), visible_(design.visible)
{
}

PixelRect Control::rect() const
{
    const TwipRect& p = design_.place;
    return {twipsToPixels(p.left), twipsToPixels(p.top), twipsToPixels(p.width), twipsToPixels(p.height)};
}

void Control::setVisible(bool visible)
{
    if (visible_ == visible)
        return;
    visible_ = visible;
    form_.changed(*this);
}

Label::Label(Form& form, const ControlDesign& design)
    : Control(form, design), caption_(design.caption)
{
}

void Label::setCaption(std::string caption)
{
    if (caption_ == caption)
        return;
    caption_ = std::move(caption);
    form_.changed(*this);
}

// What the form keeps of a timer's sleep: whether it is asleep, and where it
// stands in the round of ticks that answer a change.
struct Form::Sleep {
    bool asleep = false;   // its last tick changed nothing, nor has anything since
    bool woken = false;    // woken by a change; it has not ticked on its own since
    bool due = false;      // in a wake round: the form changed since its last tick
    bool answered = false; // in a wake round: one of its ticks changed the form
};

Timer::Timer(Form& form, const ControlDesign& design)
    : Control(form, design), enabled_(design.enabled)
{
}

Form::Sleep& Form::sleepOf(const Timer& timer) { return sleep_[timer.number_]; }

bool Timer::running() const { return enabled_ && !form_.sleepOf(*this).asleep; }

void Timer::setEnabled(bool enabled)
{
    if (enabled_ == enabled)
        return;
    const bool wasRunning = running();
    enabled_ = enabled;
    // Enabled again, it starts afresh, as if it had never slept.
    Form::Sleep& sleep = form_.sleepOf(*this);
    sleep.asleep = sleep.woken = false;
    form_.markChanged();
    form_.runningChanged(*this, wasRunning);
}

struct Form::Entry {
    Form& form;
    explicit Entry(Form& f) : form(f) { ++form.entered_; }
    ~Entry()
    {
        if (--form.entered_ == 0)
            form.askForWakeUp();
    }
};

Form::Form(const FormDesign& design) : design_(design)
{
    for (const ControlDesign& c : design.controls) {
        switch (c.kind) {
        case ControlKind::Label: controls_.push_back(std::make_unique<Label>(*this, c)); break;
        case ControlKind::Image: controls_.push_back(std::make_unique<Image>(*this, c)); break;
        case ControlKind::Timer:
            controls_.push_back(std::make_unique<Timer>(*this, c));
            timers_.push_back(static_cast<Timer*>(controls_.back().get()));
            timers_.back()->number_ = timers_.size() - 1;
            break;
        }
    }
    sleep_.resize(timers_.size());
    schedule_ = std::make_unique<TimerSchedule>(*this);
    g_current = this;
}

Form::~Form()
{
    if (g_current == this)
        g_current = nullptr;
}

Form* Form::current() { return g_current; }

Control* Form::find(std::string_view name)
{
    for (auto& c : controls_)
        if (c->name() == name)
            return c.get();
    return nullptr;
}

template <class T> static T& findAs(Form& form, std::string_view name, ControlKind kind)
{
    Control* c = form.find(name);
    if (!c || c->kind() != kind)
        throw std::logic_error("the window has no control named " + std::string(name) + " of that kind");
    return static_cast<T&>(*c);
}

Label& Form::label(std::string_view name) { return findAs<Label>(*this, name, ControlKind::Label); }
Image& Form::image(std::string_view name) { return findAs<Image>(*this, name, ControlKind::Image); }
Timer& Form::timer(std::string_view name) { return findAs<Timer>(*this, name, ControlKind::Timer); }

Control* Form::controlAt(int x, int y) const
{
    for (const auto& c : controls_) {
        if (c->kind() == ControlKind::Timer || !c->Visible())
            continue;
        if (c->rect().contains(x, y))
            return c.get();
    }
    return nullptr;
}

void Form::load()
{
    if (ended_ || depth_ > 0)
        return;
    Entry entry(*this);
    if (deliver(onLoad))
        answerChange(nullptr);
}

void Form::click(Control* target)
{
    if (target && target->kind() == ControlKind::Timer)
        return;
    // While a handler waits on a message box, the host keeps running its
    // event loop; nothing may enter the game again until it returns, nor
    // while an error box reports the handler's failure.
    if (ended_ || depth_ > 0)
        return;
    Entry entry(*this);
    // A label the game does not handle still takes its click: it never
    // falls through to the window.
    if (deliver(target ? target->handler : onClick))
        answerChange(nullptr);
}

void Form::tick(Timer& timer)
{
    if (!timer.Enabled() || ended_ || depth_ > 0)
        return;
    Entry entry(*this);
    sleepOf(timer).woken = false; // its own due time has caught up with it
    const bool changed = deliver(timer.handler);
    afterTick(timer, changed);
    if (changed)
        answerChange(&timer);
}

void Form::press(int x, int y)
{
    pressed_ = true;
    pressTarget_ = controlAt(x, y);
}

void Form::release(int x, int y)
{
    if (!pressed_)
        return;
    pressed_ = false;
    if (x < 0 || y < 0 || x >= clientWidth() || y >= clientHeight())
        return;
    Control* target = controlAt(x, y);
    if (target == pressTarget_)
        click(target);
}

void Form::close()
{
    Entry entry(*this);
    end(0);
}

void Form::startTimers()
{
    if (!host_ || ended_)
        return;
    Entry entry(*this);
    timersStarted_ = true;
    timerChanges_.clear(); // the schedule starts from the timers as they are
    schedule_->start(host_->now());
}

long long Form::wake()
{
    asked_.reset(); // the wake-up the host held is spent: ask again
    // While a handler waits on a message box no tick is taken; those that
    // fall due meanwhile are skipped once it closes (boxClosed).
    if (!host_ || ended_ || depth_ > 0)
        return 0;
    Entry entry(*this);
    return schedule_->fire(host_->now());
}

void Form::askForWakeUp()
{
    if (!host_) {
        timerChanges_.clear();
        return;
    }
    if (!timerChanges_.empty() || boxClosedAt_)
        schedule_->takeChanges(host_->now());
    const std::optional<Host::Time> next = ended_ ? std::nullopt : schedule_->nextDue();
    if (asked_ && *asked_ == next)
        return;
    asked_ = next;
    host_->wakeAt(next);
}

void Form::boxClosed()
{
    if (host_)
        boxClosedAt_ = host_->now();
}

bool Form::deliver(const std::function<void()>& handler)
{
    struct Running {
        int& depth;
        explicit Running(int& d) : depth(++d) {}
        ~Running() { --depth; }
    } running(depth_);
    g_current = this;
    changed_ = false;
    if (!handler)
        return false;
    // Its address, used where no optimiser can see through, keeps the
    // WebAssembly optimiser from inlining callHandler back into the try
    // (it inlines a function of one caller whatever the source asks).
    asm volatile("" : : "r"(&callHandler));
    try {
        callHandler(handler);
    } catch (const ProgramEnd&) {
        end(0);
    } catch (const RuntimeError& error) {
        reportHeldChanges();
        if (host_)
            host_->errorReported(static_cast<int>(error.number), error.description);
        end(kRuntimeErrorStatus);
    }
    return changed_ || ended_;
}

void Form::markChanged()
{
    if (ended_)
        return;
    if (depth_ > 0)
        changed_ = true;
    else
        wakeSleepers(); // changed from outside any handler: they tick when they fall due
}

void Form::runningChanged(Timer& timer, bool wasRunning)
{
    if (timer.running() == wasRunning || !host_ || ended_)
        return;
    timerChanges_.push_back({&timer, timer.running()});
    host_->timerChanged(timer);
    if (entered_ == 0) // changed from outside any event: a test, or a service
        askForWakeUp();
}

void Form::afterTick(Timer& timer, bool changed)
{
    if (changed || ended_ || !timer.enabled_ || !timersMaySleep())
        return;
    const bool wasRunning = timer.running();
    sleepOf(timer).asleep = true;
    sleepOf(timer).woken = false;
    runningChanged(timer, wasRunning);
}

void Form::wakeSleepers()
{
    for (Timer* t : timers_) {
        Sleep& sleep = sleepOf(*t);
        if (!sleep.asleep)
            continue;
        sleep.asleep = false;
        sleep.woken = true;
        runningChanged(*t, false);
    }
}

// The event that just ran changed the form: every woken timer ticks before
// the host can deliver anything else. A timer whose tick changed the form
// has answered and does not tick again in this event; one whose tick changed
// nothing ticks again only if a later answer changes the form. Each answer
// takes one timer out of the round, so the round ends.
void Form::answerChange(Timer* ticked)
{
    if (ended_)
        return;
    for (Timer* t : timers_) {
        sleepOf(*t).due = true;
        sleepOf(*t).answered = t == ticked;
    }
    wakeSleepers();
    for (;;) {
        Timer* next = nullptr;
        for (Timer* t : timers_) {
            const Sleep& sleep = sleepOf(*t);
            if (t->enabled_ && sleep.woken && sleep.due && !sleep.answered) {
                next = t;
                break;
            }
        }
        if (!next || ended_)
            return;
        sleepOf(*next).due = false;
        const bool changed = deliver(next->handler);
        afterTick(*next, changed);
        if (!changed)
            continue;
        sleepOf(*next).answered = true;
        for (Timer* t : timers_)
            sleepOf(*t).due = true;
        wakeSleepers();
    }
}

void Form::end(int status)
{
    // A window closed while a handler waits on a message box ends the
    // program first; the handler's own end that follows changes nothing.
    if (ended_)
        return;
    ended_ = true;
    exitStatus_ = status;
    for (auto& c : controls_)
        if (c->kind() == ControlKind::Timer)
            static_cast<Timer&>(*c).setEnabled(false);
    if (host_)
        host_->programEnded(status);
}

void Form::changed(Control& control)
{
    markChanged();
    if (!host_ || ended_)
        return;
    if (holding_ == 0) {
        host_->controlChanged(control);
    } else if (!control.changeHeld_) {
        control.changeHeld_ = true;
        held_.push_back(&control);
    }
}

void Form::reportHeldChanges()
{
    // A report may run a host's event loop; a change made meanwhile is held anew.
    std::vector<Control*> held;
    held.swap(held_);
    for (Control* c : held) {
        c->changeHeld_ = false;
        if (host_ && !ended_)
            host_->controlChanged(*c);
    }
}

void Form::releaseChanges()
{
    if (holding_ > 0 && --holding_ == 0)
        reportHeldChanges();
}

void messageBox(std::string_view text)
{
    Form* form = Form::current();
    if (!form)
        return;
    form->markChanged(); // the player saw it, and the box may have let time pass
    form->reportHeldChanges(); // the box opens over what the handlers have done so far
    if (form->host()) {
        form->host()->messageBox(text);
        form->boxClosed();
    }
}

void endProgram() { throw ProgramEnd{}; }

} // namespace rt
