#pragma once

#include "db/QueryClient.h"

#include <QObject>

#include <functional>

namespace ui {

// Runs the blocking calls of another query client (open and execute) on a worker thread while the
// window's thread waits in a local event loop, so the window keeps painting and answering the
// desktop through a restore of many minutes. To its caller it stays synchronous: each call returns
// when the statement has ended, and the client is used by one thread at a time. Server messages
// reach the observer on the window's thread, in order, before the call returns.
class ResponsiveQueryClient : public QObject, public db::QueryClient {
public:
    explicit ResponsiveQueryClient(db::QueryClient& client);
    ~ResponsiveQueryClient() override { client_.setMessageObserver({}); }
    ResponsiveQueryClient(const ResponsiveQueryClient&) = delete;
    ResponsiveQueryClient& operator=(const ResponsiveQueryClient&) = delete;

    void close() override { client_.close(); }
    void setConnectionString(const QString& text) override { client_.setConnectionString(text); }
    void setStatement(const QString& text) override { client_.setStatement(text); }
    void open() override;
    void first() override { client_.first(); }
    void next() override { client_.next(); }
    bool atEnd() const override { return client_.atEnd(); }
    QString fieldText(const QString& column) const override { return client_.fieldText(column); }
    void execute() override;
    void setMessageObserver(db::MessageObserver observer) override;
    bool isConnected() const override { return client_.isConnected(); }
    void resumeAfterCancel() override { client_.resumeAfterCancel(); }
    QString serverVersion() const override { return client_.serverVersion(); }

private:
    void waitFor(const std::function<void()>& call);

    db::QueryClient& client_;
    db::MessageObserver observer_;
};

} // namespace ui
