#pragma once

#include <functional>
#include <memory>

namespace platform {

// While it lives, the first Ctrl-C (SIGINT) or SIGTERM calls `onInterrupt` on a thread of its own,
// never inside a signal handler, so the call may use the database driver. A second one, or one
// after this object has gone, ends the program at once as the signal would. Create it before the
// program starts any other thread.
class InterruptWatcher {
public:
    explicit InterruptWatcher(std::function<void()> onInterrupt);
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace platform
