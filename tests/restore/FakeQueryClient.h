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
    using Row = QMap<QString, QString>; // column name in upper case → value

    QStringList calls;        // "close", "connect:<string>", "open:<sql>", "execute:<sql>"
    QStringList sent;         // statements that reached the server
    std::vector<Row> rows;    // the result of every open after the connection test
    int failAtStatement = -1; // index into `sent` of the statement that fails
    QString failure = QStringLiteral("boom");
    std::vector<db::ServerMessage> messages; // reported by every statement before it ends
    bool failureLosesKeptConnection = false;

    void close() override { calls << "close"; }
    void setConnectionString(const QString& text) override { calls << "connect:" + text; }
    void setStatement(const QString& text) override { statement_ = text; }
    void open() override {
        calls << "open:" + statement_;
        send();
        result_ = sent.size() == 1 ? std::vector<Row>{Row{}} : rows;
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

private:
    void send() {
        sent << statement_;
        for (const db::ServerMessage& message : messages) {
            if (observer_) {
                observer_(message);
            }
        }
        if (sent.size() - 1 == failAtStatement) {
            if (failureLosesKeptConnection) {
                throw db::KeptConnectionLost(failure);
            }
            throw db::QueryError(failure);
        }
    }

    QString statement_;
    db::MessageObserver observer_;
    std::vector<Row> result_;
    std::size_t cursor_ = 0;
};
