#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace db {

// One diagnostic record as SQLGetDiagRecW reports it.
struct OdbcDiagRecord {
    QString sqlState;
    int nativeError = 0;
    QString message;
};

// The driver's description without its bracketed component prefixes ("[FreeTDS][SQL Server]",
// "[unixODBC][Driver Manager]") and without trailing blanks, control characters and full stops.
QString cleanDriverMessage(QStringView message);

// True for records that report an error rather than a warning or an informational message
// (SQLSTATE class 01, e.g. the 10 per cent reports of a RESTORE, arrive as 01000).
bool isErrorRecord(const OdbcDiagRecord& record);

// The record a failed ODBC call reports: the first error record with a description, else the first
// record with one; null when none carries one.
const OdbcDiagRecord* failureRecord(const std::vector<OdbcDiagRecord>& records);

// The record of a connection lost during a call that did not fail: the driver adds its report of
// the loss after any server message of the same call, so the last one with a description.
const OdbcDiagRecord* connectionLossRecord(const std::vector<OdbcDiagRecord>& records);

// The text a failed ODBC call raises: its failure record's cleaned description; when no record
// carries one, the call's name and its return code.
QString failureText(const std::vector<OdbcDiagRecord>& records, QStringView callName,
                    int returnCode);

// The text when a call that did not fail left the connection dead (FreeTDS reports a server that
// hung up as an informational "Unexpected EOF from the server"): its connection-loss record's.
QString connectionLossText(const std::vector<OdbcDiagRecord>& records, QStringView callName,
                           int returnCode);

} // namespace db
