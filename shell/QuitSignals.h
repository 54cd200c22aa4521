// Ending the window program from outside: SIGTERM (a logout, `kill`),
// SIGINT (Ctrl+C in the terminal that started it) and SIGHUP (that terminal
// closed) end it as closing its window does, so its clean-up runs (the
// offline banner's picture is removed) instead of the process just dying.
#pragma once

#include <functional>

class QWidget;

namespace tessor::shell {

// From the next time the event loop runs, each of those signals calls
// `quit` on the UI thread. False when the signals could not be taken over.
bool QuitOnTerminationSignals(std::function<void()> quit);

// Another program may destroy the window itself (without a window manager
// there is nobody to ask it to close first). Qt then has a widget without a
// window and would run on unseen; `quit` is called instead, on the UI
// thread. Call it once the window is shown.
void QuitWhenWindowDestroyed(QWidget* window, std::function<void()> quit);

}  // namespace tessor::shell
