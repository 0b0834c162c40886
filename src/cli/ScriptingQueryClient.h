#pragma once

#include "db/QueryClient.h"

#include <QTextStream>

#include <utility>

namespace cli {

// Passes reading statements to the server and prints the changing ones instead of sending them,
// so a restore can be reviewed before it is run.
class ScriptingQueryClient : public db::QueryClient {
public:
    ScriptingQueryClient(db::QueryClient& server, QTextStream& script)
        : server_(server), script_(script) {}

    void close() override { server_.close(); }
    void setConnectionString(const QString& text) override { server_.setConnectionString(text); }
    void setStatement(const QString& text) override {
        statement_ = text;
        server_.setStatement(text);
    }
    void open() override { server_.open(); }
    void first() override { server_.first(); }
    void next() override { server_.next(); }
    bool atEnd() const override { return server_.atEnd(); }
    QString fieldText(const QString& column) const override { return server_.fieldText(column); }
    void execute() override { script_ << statement_ << "\nGO\n" << Qt::flush; }
    void setMessageObserver(db::MessageObserver observer) override {
        server_.setMessageObserver(std::move(observer));
    }
    bool isConnected() const override { return server_.isConnected(); }
    void resumeAfterCancel() override { server_.resumeAfterCancel(); }
    QString serverVersion() const override { return server_.serverVersion(); }

private:
    db::QueryClient& server_;
    QTextStream& script_;
    QString statement_;
};

} // namespace cli
