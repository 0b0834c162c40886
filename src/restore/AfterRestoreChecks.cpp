#include "restore/AfterRestoreChecks.h"

#include "restore/BackupHeaders.h"
#include "restore/StatementTexts.h"

#include <QScopeGuard>

namespace restore {

namespace {

const QString OkMark = QStringLiteral(" OK！");
const QString VerifyLine = QStringLiteral("正在校验备份集 %1/%2 / verifying backup set %1 of %2: "
                                          "%3, set %4...");
const QString CheckDbLine =
    QStringLiteral("正在检查数据库一致性 / checking the database's consistency (DBCC CHECKDB)...");
const QString CheckCatalogLine =
    QStringLiteral("正在检查系统目录 / checking the system catalog (DBCC CHECKCATALOG)...");
const QString LevelLine = QStringLiteral(
    "正在把兼容级别从 %1 提高到 %2 / raising the compatibility level from %1 to %2...");
const QString LevelKeptLine =
    QStringLiteral("兼容级别已是 %1 / the compatibility level is %1 already");
const QString PageVerifyLine = QStringLiteral(
    "正在把页验证从 %1 改为 CHECKSUM / changing page verification from %1 to CHECKSUM...");
const QString PageVerifyKeptLine =
    QStringLiteral("页验证已是 CHECKSUM / page verification is CHECKSUM already");
const QString UsageLine = QStringLiteral(
    "正在更正空间使用计数 / correcting the space usage counts (DBCC UPDATEUSAGE)...");
const QString UsageKeptLine =
    QStringLiteral("没有需要更正的计数 / no usage count needed correcting");
const QString NothingToDoLine = QStringLiteral(
    "无需处理：数据库 %1 已完成升级 / nothing to do: the database %1 is upgraded already");
constexpr int DbccCompletedMessage = 2528;

// What RESTORE VERIFYONLY looked at, in the documentation's words: every version reads the whole
// set; from SQL Server 2005 on it also checks page ids, the checksums a set carries, and the space
// at the targets. None looks at the structure of the data.
QString verifiedWords(bool server2000, const BackupSetHeader& set, bool checksums) {
    QString verified = QStringLiteral("已校验：备份集完整且全部可读");
    QString verifiedEnglish = QStringLiteral("verified: the set is complete and all of it reads");
    if (!server2000) {
        verified += QStringLiteral("，页的标头与目标位置的空间");
        verifiedEnglish += QStringLiteral(", page headers and the space at the targets");
    }
    QString unverified;
    QString unverifiedEnglish;
    if (checksums) {
        verified += QStringLiteral("，校验和");
        verifiedEnglish += QStringLiteral(", checksums");
    } else if (server2000) {
        unverified = QStringLiteral("校验和（SQL Server 2000 不校验）");
        unverifiedEnglish = QStringLiteral("checksums (SQL Server 2000 verifies none)");
    } else if (!set.madeBy.isNewerThan2000()) {
        unverified = QStringLiteral("校验和（SQL Server 2000 的备份不带校验和）");
        unverifiedEnglish = QStringLiteral("checksums (a SQL Server 2000 backup carries none)");
    } else {
        unverified = QStringLiteral("校验和（该备份集不带校验和）");
        unverifiedEnglish = QStringLiteral("checksums (the set was made without them)");
    }
    if (!unverified.isEmpty()) {
        unverified += QStringLiteral("、");
        unverifiedEnglish += QStringLiteral(" and ");
    }
    unverified += QStringLiteral("数据的结构（恢复后的一致性检查查看它）");
    unverifiedEnglish +=
        QStringLiteral("the structure of the data (a consistency check after the restore sees it)");
    return QStringLiteral("    %1；未校验：%2。\n    %3; not verified: %4.")
        .arg(verified, unverified, verifiedEnglish, unverifiedEnglish);
}

// The files each step's restore moves: the full backup's two main files and every other file
// that step makes.
QList<FileMove> movesOfStep(const RestoreRequest& request, const BackupContents& contents,
                            qsizetype step) {
    QList<FileMove> moves;
    if (step == 0) {
        moves.append({contents.dataLogicalName, QStringLiteral("D"), targetDataFilePath(request)});
        moves.append({contents.logLogicalName, QStringLiteral("L"), targetLogFilePath(request)});
    }
    for (const FileMove& move : otherFileMoves(request, contents)) {
        if (move.step == step) {
            moves.append(move);
        }
    }
    return moves;
}

} // namespace

QString verifyStatement(const BackupSetHeader& set, const QList<FileMove>& moves, bool checksum) {
    QString statement = "RESTORE VERIFYONLY FROM DISK = " + unicodeLiteral(set.file) +
                        " WITH FILE = " + QString::number(set.position);
    for (const FileMove& move : moves) {
        statement +=
            ", MOVE " + unicodeLiteral(move.logicalName) + " TO " + unicodeLiteral(move.target);
    }
    if (checksum) {
        statement += QStringLiteral(", CHECKSUM");
    }
    return statement;
}

QString checkDatabaseStatement(const QString& databaseName, bool dataPurity) {
    return "DBCC CHECKDB (" + unicodeLiteral(databaseName) + ")" +
           (dataPurity ? QStringLiteral(" WITH DATA_PURITY") : QString());
}

QString checkCatalogStatement(const QString& databaseName) {
    return "DBCC CHECKCATALOG (" + unicodeLiteral(databaseName) + ")";
}

QString databaseSettingsStatement(const QString& databaseName) {
    return "SELECT compatibility_level, page_verify_option_desc FROM sys.databases WHERE name = " +
           unicodeLiteral(databaseName);
}

QString compatibilityLevelStatement(const QString& databaseName, int level,
                                    const ServerVersion& server) {
    if (server.major == 9) {
        return "EXEC sp_dbcmptlevel " + unicodeLiteral(databaseName) + ", " +
               QString::number(level);
    }
    return "ALTER DATABASE " + bracketedName(databaseName) +
           " SET COMPATIBILITY_LEVEL = " + QString::number(level);
}

QString pageVerifyStatement(const QString& databaseName) {
    return "ALTER DATABASE " + bracketedName(databaseName) + " SET PAGE_VERIFY CHECKSUM";
}

QString updateUsageStatement(const QString& databaseName) {
    return "DBCC UPDATEUSAGE (" + unicodeLiteral(databaseName) + ")";
}

int serverCompatibilityLevel(const ServerVersion& server) {
    return server.major * 10;
}

std::optional<ServerVersion> AfterRestoreChecks::server() const {
    return parseServerVersion(qry_.serverVersion());
}

void AfterRestoreChecks::verifySets(const RestoreRequest& request, const BackupContents& contents,
                                    const RestorePlan& plan) {
    const std::optional<ServerVersion> version = server();
    const bool server2000 = !version || !version->isNewerThan2000();
    // A later server takes checksums and moves; whether a set has checksums only its header says.
    // Every header is read before the first verification, which a review prints instead.
    QList<BackupSetHeader> sets;
    QList<bool> checksums;
    for (const BackupSetHeader& step : plan.steps) {
        BackupSetHeader set = step;
        bool hasChecksums = false;
        if (!server2000) {
            for (const BackupSetHeader& header : readBackupHeaders(qry_, step.file)) {
                if (header.position == step.position) {
                    set.madeBy = header.madeBy;
                    hasChecksums = header.hasBackupChecksums;
                }
            }
        }
        sets.append(set);
        checksums.append(hasChecksums);
    }
    for (qsizetype step = 0; step < sets.size(); ++step) {
        const BackupSetHeader& set = sets.at(step);
        addLine(VerifyLine.arg(step + 1).arg(sets.size()).arg(set.file).arg(set.position));
        qry_.close();
        qry_.setStatement(verifyStatement(
            set, server2000 ? QList<FileMove>() : movesOfStep(request, contents, step),
            checksums.at(step)));
        qry_.execute();
        markOk();
        view_.appendProgressLine(verifiedWords(server2000, set, checksums.at(step)));
    }
}

QList<int> AfterRestoreChecks::checkConsistency(const QString& databaseName) {
    const std::optional<ServerVersion> version = server();
    const bool server2000 = !version || !version->isNewerThan2000();
    addLine(CheckDbLine);
    QList<int> errors = executeShowingMessages(checkDatabaseStatement(databaseName, !server2000));
    // SQL Server 2000's CHECKDB leaves the catalog out.
    if (server2000) {
        addLine(CheckCatalogLine);
        errors += executeShowingMessages(checkCatalogStatement(databaseName));
    }
    return errors;
}

bool AfterRestoreChecks::finishUpgrade(const QString& databaseName) {
    const std::optional<ServerVersion> version = server();
    if (!version || !version->isNewerThan2000()) {
        return false;
    }
    const int target = serverCompatibilityLevel(*version);
    qry_.close();
    qry_.setStatement(databaseSettingsStatement(databaseName));
    qry_.open();
    // A review answers no row: it prints every step.
    int level = 0;
    QString pageVerify;
    if (!qry_.atEnd()) {
        level = qry_.fieldText(QStringLiteral("compatibility_level")).toInt();
        pageVerify = qry_.fieldText(QStringLiteral("page_verify_option_desc"));
    }
    qry_.close();
    bool changed = false;
    if (level < target) {
        addLine(
            LevelLine.arg(level == 0 ? QStringLiteral("?") : QString::number(level)).arg(target));
        qry_.setStatement(compatibilityLevelStatement(databaseName, target, *version));
        qry_.execute();
        markOk();
        changed = true;
    } else {
        addLine(LevelKeptLine.arg(level));
    }
    if (pageVerify != u"CHECKSUM") {
        addLine(PageVerifyLine.arg(pageVerify.isEmpty() ? QStringLiteral("?") : pageVerify));
        qry_.close();
        qry_.setStatement(pageVerifyStatement(databaseName));
        qry_.execute();
        markOk();
        changed = true;
    } else {
        addLine(PageVerifyKeptLine);
    }
    addLine(UsageLine);
    int corrections = 0;
    const QList<int> errors =
        executeShowingMessages(updateUsageStatement(databaseName), &corrections);
    if (!errors.isEmpty()) {
        throw db::QueryError(QStringLiteral("DBCC UPDATEUSAGE"), {}, errors.first());
    }
    if (corrections == 0) {
        addLine(UsageKeptLine);
    }
    if (!changed && corrections == 0) {
        addLine(NothingToDoLine.arg(databaseName));
    }
    return true;
}

// Each message is a line of its own as it arrives; once any came, the step's line is repeated
// with its mark, so that the mark stays beside what it marks.
QList<int> AfterRestoreChecks::executeShowingMessages(const QString& statement,
                                                      int* informational) {
    const QString line = view_.lastProgressLine();
    QList<int> errors;
    bool shown = false;
    int counted = 0;
    qry_.setMessageObserver([&](const db::ServerMessage& message) {
        if (message.error) {
            errors.append(message.number);
        } else if (message.number != DbccCompletedMessage) {
            ++counted;
        }
        view_.appendProgressLine(QStringLiteral("    %1%2: %3")
                                     .arg(message.error ? QStringLiteral("错误 error ") : QString())
                                     .arg(message.number)
                                     .arg(message.text));
        view_.repaintProgressNow();
        shown = true;
    });
    const auto quiet = qScopeGuard([this] { qry_.setMessageObserver({}); });
    qry_.close();
    qry_.setStatement(statement);
    try {
        qry_.execute();
    } catch (const db::QueryError& error) {
        // Errors the check reports are its findings; any other failure is the step's own.
        if (errors.isEmpty()) {
            throw;
        }
    }
    if (informational) {
        *informational = counted;
    }
    if (errors.isEmpty()) {
        if (shown) {
            view_.appendProgressLine(line);
        }
        markOk();
    }
    return errors;
}

void AfterRestoreChecks::addLine(const QString& text) {
    view_.appendProgressLine(text);
    view_.postProgressHomeKey();
    view_.repaintProgressNow();
}

void AfterRestoreChecks::markOk() {
    view_.replaceLastProgressLine(view_.lastProgressLine() + OkMark);
    view_.postProgressHomeKey();
    view_.repaintProgressNow();
}

} // namespace restore
