#include "cli/InterruptWatcher.h"

#include <QtGlobal>

#include <atomic>
#include <csignal>
#include <mutex>
#include <utility>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <pthread.h>
#include <thread>
#include <unistd.h>
#endif

namespace cli {

struct InterruptWatcher::State {
    std::mutex mutex;
    std::function<void()> onInterrupt;
    std::atomic<int> signal = 0;

    // Runs the callback once, holding the lock so that its owner cannot go meanwhile. False when
    // there is none (any more) or it is running already.
    bool runOnce(int arrived) {
        const std::unique_lock lock(mutex, std::try_to_lock);
        if (!lock.owns_lock() || !onInterrupt) {
            return false;
        }
        signal = arrived;
        std::exchange(onInterrupt, {})();
        return true;
    }

    void forget() {
        const std::lock_guard lock(mutex);
        onInterrupt = {};
    }
};

#ifdef Q_OS_WIN

namespace {

std::shared_ptr<InterruptWatcher::State> watched;

// The console calls this on a thread of its own; FALSE hands the event on to the default handler,
// which ends the process.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    return watched->runOnce(SIGINT) ? TRUE : FALSE;
}

} // namespace

InterruptWatcher::InterruptWatcher(std::function<void()> onInterrupt)
    : state_(std::make_shared<State>()) {
    state_->onInterrupt = std::move(onInterrupt);
    watched = state_;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

#else

namespace {

sigset_t interruptSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    return signals;
}

// Back to their default action and open to this thread only, the signals end the process from
// now on, even while the callback waits for the server.
void endOnTheNextSignal(const sigset_t& signals) {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

} // namespace

// Threads started later inherit the blocked signals, so only the watching thread takes them.
InterruptWatcher::InterruptWatcher(std::function<void()> onInterrupt)
    : state_(std::make_shared<State>()) {
    state_->onInterrupt = std::move(onInterrupt);
    const sigset_t signals = interruptSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([state = state_, signals] {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) {
            return;
        }
        endOnTheNextSignal(signals);
        if (!state->runOnce(signal)) {
            std::raise(signal);
        }
        for (;;) {
            pause();
        }
    }).detach();
}

#endif

int InterruptWatcher::signalNumber() const {
    return state_->signal;
}

InterruptWatcher::~InterruptWatcher() {
    state_->forget();
}

} // namespace cli
