// Program start: the project a host's runApplication builds and runs. The
// game's main() names its form here; each host implements runApplication.
#pragma once

#include <functional>
#include <memory>

namespace rt {

class Form;
struct FormDesign;

// The project: the one form, and what binds the game's handlers to it.
struct Project {
    const FormDesign& form;
    std::function<std::shared_ptr<void>(Form&)> bind;
};

template <class Module> Project project()
{
    return {Module::design(), [](Form& form) -> std::shared_ptr<void> { return std::make_shared<Module>(form); }};
}

// Builds the form, raises its load event, shows it and delivers events until
// the program ends; returns the process exit status.
int runApplication(int argc, char** argv, const Project& project);

} // namespace rt
