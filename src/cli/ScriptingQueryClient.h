#pragma once

#include "db/QueryClient.h"

#include <QTextStream>

#include <utility>

namespace cli {

// Passes reading statements to the server and prints the changing ones instead of sending them,
// so a restore can be reviewed before it is run. A read after the first changing statement asks
// about what the script would change (the restored database's state), so it is printed too and
// answers no row.
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
    void open() override {
        unanswered_ = changed_;
        if (unanswered_) {
            script_ << statement_ << "\nGO\n" << Qt::flush;
            return;
        }
        server_.open();
    }
    void first() override {
        if (!unanswered_) {
            server_.first();
        }
    }
    void next() override {
        if (!unanswered_) {
            server_.next();
        }
    }
    bool atEnd() const override { return unanswered_ || server_.atEnd(); }
    QString fieldText(const QString& column) const override { return server_.fieldText(column); }
    void execute() override {
        changed_ = true;
        script_ << statement_ << "\nGO\n" << Qt::flush;
    }
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
    bool changed_ = false;
    bool unanswered_ = false;
};

} // namespace cli
