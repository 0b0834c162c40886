#pragma once

#include <functional>
#include <memory>

namespace cli {

// While it lives, the first Ctrl-C (SIGINT), SIGTERM or hang-up (SIGHUP, a lost terminal or ssh
// session) calls `onInterrupt` on a thread of its own, never inside a signal handler, so the call
// may use the database driver. A second one, or one after this object has gone, ends the program
// at once as the signal would. Create it before the program starts any other thread.
class InterruptWatcher {
public:
    explicit InterruptWatcher(std::function<void()> onInterrupt);
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    // The signal that called `onInterrupt` (SIGINT for a Windows console's Ctrl-C or Ctrl-Break);
    // 0 while none has.
    int signalNumber() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace cli
