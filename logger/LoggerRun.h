// One recording run of pondus-log: drives a recording session at the run's
// period until the count, the duration, constant mass of every sample or
// a stop signal ends it, and says
// why it ended. What the run records goes to the session's observers (the
// journal, the publisher, the row file and the screen).
#pragma once

#include "ExitCodes.h"
#include "LiveView.h"
#include "LoggerOptions.h"
#include "recording/RecordingSession.h"

#include <string>

#include <signal.h>

namespace pondus::logger {

// How the run ended and, for exit codes other than done, why.
struct RunEnd {
    ExitCode code = done;
    std::string reason;
};

// Runs until done, showing every poll on the view; the diagnosis looks, while the line does not come on
// line, for why. stopSignals must be blocked in every thread, they are
// taken with sigtimedwait. An observer's exception passes through, after
// the observers were told that the run stopped.
RunEnd runLogger(RecordingSession &session, const LoggerOptions &options, pondus::ports::LinkDiagnosis diagnosis,
                 LiveView &view, const sigset_t &stopSignals);

} // namespace pondus::logger
