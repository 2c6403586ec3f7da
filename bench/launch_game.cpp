// Launch probe, game side: starts the game exactly as app/main.cpp does and
// ends it once its first complete frame is on screen.
#include "first_frame.h"
#include "form1.h"

#include <QCoreApplication>

namespace {
void installProbe() { bench::quitAfterFirstFrame(); }
} // namespace
Q_COREAPP_STARTUP_FUNCTION(installProbe)

int main(int argc, char** argv) { return rt::runApplication(argc, argv, rt::project<skeetra::Form1>()); }
