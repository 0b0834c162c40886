#include "ui/ResponsiveQueryClient.h"

#include <QEventLoop>
#include <QThread>

#include <exception>
#include <memory>
#include <utility>

namespace ui {

ResponsiveQueryClient::ResponsiveQueryClient(db::QueryClient& client) : client_(client) {
    // Called on the worker thread; the observer runs on this object's thread.
    client_.setMessageObserver([this](const db::ServerMessage& message) {
        QMetaObject::invokeMethod(
            this,
            [this, message] {
                if (observer_) {
                    observer_(message);
                }
            },
            Qt::QueuedConnection);
    });
}

void ResponsiveQueryClient::open() {
    waitFor([this] { client_.open(); });
}

void ResponsiveQueryClient::execute() {
    waitFor([this] { client_.execute(); });
}

void ResponsiveQueryClient::setMessageObserver(db::MessageObserver observer) {
    observer_ = std::move(observer);
}

// The worker's messages are queued before its end, so all of them are delivered before the loop
// quits.
void ResponsiveQueryClient::waitFor(const std::function<void()>& call) {
    std::exception_ptr failure;
    QEventLoop loop;
    const std::unique_ptr<QThread> worker(QThread::create([&call, &failure] {
        try {
            call();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace ui
