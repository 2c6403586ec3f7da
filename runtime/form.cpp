// The live window and its controls, and the delivery of one event at a time.
//
// Program end and runtime errors unwind the running handler as exceptions;
// deliver() is the only place that catches them, so a handler never sees its
// own end and nothing after endProgram() runs.
#include "forms.h"

#include <stdexcept>

namespace rt {

namespace {

struct ProgramEnd {};

Form* g_current = nullptr;

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

Timer::Timer(Form& form, const ControlDesign& design)
    : Control(form, design), enabled_(design.enabled)
{
}

void Timer::setEnabled(bool enabled)
{
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    if (form_.host_ && !form_.ended_)
        form_.host_->timerChanged(*this);
}

Form::Form(const FormDesign& design) : design_(design)
{
    for (const ControlDesign& c : design.controls) {
        switch (c.kind) {
        case ControlKind::Label: controls_.push_back(std::make_unique<Label>(*this, c)); break;
        case ControlKind::Image: controls_.push_back(std::make_unique<Image>(*this, c)); break;
        case ControlKind::Timer: controls_.push_back(std::make_unique<Timer>(*this, c)); break;
        }
    }
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

void Form::load() { deliver(onLoad); }

void Form::click(Control* target)
{
    if (target && target->kind() == ControlKind::Timer)
        return;
    // A label the game does not handle still takes its click: it never
    // falls through to the window.
    deliver(target ? target->handler : onClick);
}

void Form::tick(Timer& timer)
{
    if (!timer.Enabled())
        return;
    deliver(timer.handler);
}

void Form::close() { end(0); }

void Form::deliver(const std::function<void()>& handler)
{
    // While a handler waits on a message box, the host keeps running its
    // event loop; nothing may enter the game again until it returns, nor
    // while an error box reports the handler's failure.
    if (ended_ || depth_ > 0 || !handler)
        return;
    struct Running {
        int& depth;
        explicit Running(int& d) : depth(++d) {}
        ~Running() { --depth; }
    } running(depth_);
    g_current = this;
    try {
        handler();
    } catch (const ProgramEnd&) {
        end(0);
    } catch (const RuntimeError& error) {
        if (host_)
            host_->errorReported(static_cast<int>(error.number), error.description);
        end(kRuntimeErrorStatus);
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
    if (host_ && !ended_)
        host_->controlChanged(control);
}

void messageBox(std::string_view text)
{
    Form* form = Form::current();
    if (form && form->host())
        form->host()->messageBox(text);
}

void endProgram() { throw ProgramEnd{}; }

} // namespace rt
