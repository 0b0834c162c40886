#pragma once

#include "db/QueryClient.h"

#include <QMap>
#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

// A scripted query client: records every call, answers opens with prepared rows, and raises the
// prepared error on the n-th statement sent.
class FakeQueryClient : public db::QueryClient {
public:
    // Raised as the real client raises its cancel: by the stopped statement and every later one
    // until resumeAfterCancel().
    struct Cancelled {};
    enum class Failure { Error, ConnectionLost, Cancel };

    using Row = QMap<QString, QString>; // column name in upper case → value

    QStringList calls;     // "close", "connect:<string>", "open:<sql>", "execute:<sql>"
    QStringList sent;      // statements that reached the server
    std::vector<Row> rows; // the result of every open after the connection test
    // ... unless the statement starts with one of these keys: then its rows.
    // The users read after a restore finds nobody orphaned unless a test says otherwise.
    QMap<QString, std::vector<Row>> answers{{QStringLiteral("SELECT u.uid, u.name"), {}}};
    int failAtStatement = -1; // index into `sent` of the statement that fails
    QString failure = QStringLiteral("boom");
    std::vector<db::ServerMessage> messages; // reported by every statement before it ends
    bool failureLosesKeptConnection = false;
    Failure failureKind = Failure::Error;
    int alsoFailAt = -1; // a second failing statement, with the same text
    bool connected = true;
    QString version; // the server's, as its login reports it; empty: not known

    void close() override { calls << "close"; }
    void setConnectionString(const QString& text) override { calls << "connect:" + text; }
    void setStatement(const QString& text) override { statement_ = text; }
    void open() override {
        calls << "open:" + statement_;
        send();
        result_ = sent.size() == 1 ? std::vector<Row>{Row{}} : answerTo(statement_);
        cursor_ = 0;
    }
    void first() override { cursor_ = 0; }
    void next() override { ++cursor_; }
    bool atEnd() const override { return cursor_ >= result_.size(); }
    QString fieldText(const QString& column) const override {
        const Row& row = result_.at(cursor_);
        const auto it = row.find(column.toUpper());
        if (it == row.end()) {
            throw db::QueryError("qry: Field '" + column + "' not found");
        }
        return *it;
    }
    void execute() override {
        calls << "execute:" + statement_;
        send();
    }
    void setMessageObserver(db::MessageObserver observer) override {
        observer_ = std::move(observer);
    }
    bool isConnected() const override { return connected; }
    void resumeAfterCancel() override { cancelled_ = false; }
    QString serverVersion() const override { return version; }

private:
    std::vector<Row> answerTo(const QString& statement) const {
        for (auto it = answers.begin(); it != answers.end(); ++it) {
            if (statement.startsWith(it.key())) {
                return it.value();
            }
        }
        return rows;
    }

    void send() {
        if (cancelled_) {
            throw Cancelled();
        }
        sent << statement_;
        for (const db::ServerMessage& message : messages) {
            if (observer_) {
                observer_(message);
            }
        }
        if (sent.size() - 1 == alsoFailAt) {
            throw db::QueryError(failure);
        }
        if (sent.size() - 1 != failAtStatement) {
            return;
        }
        if (failureLosesKeptConnection) {
            throw db::KeptConnectionLost(failure);
        }
        switch (failureKind) {
        case Failure::Error:
            throw db::QueryError(failure);
        case Failure::ConnectionLost:
            connected = false;
            throw db::QueryError(failure);
        case Failure::Cancel:
            cancelled_ = true;
            throw Cancelled();
        }
    }

    QString statement_;
    bool cancelled_ = false;
    db::MessageObserver observer_;
    std::vector<Row> result_;
    std::size_t cursor_ = 0;
};
