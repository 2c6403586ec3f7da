// The forms runtime as the game sees it: design-time descriptions of a window
// and its controls (design.h), the live controls the handlers read and write
// and the delivery of events to them (form.h), the services a handler may
// call (services.h), and program start (start.h).
//
// Nothing here names a platform, so rules written against these headers can
// be driven directly by tests. Each platform has a host that shows a Form and
// feeds it events; host.h says what a host owes and may rely on.
#pragma once

#include "design.h"
#include "form.h"
#include "host.h"
#include "services.h"
#include "start.h"
