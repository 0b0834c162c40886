// responsiveness_probe: one Backup restore through the real window (offscreen), with a 10 ms
// timer in the window's event loop. For bench/responsiveness.sh.
//
//   responsiveness_probe --server HOST,PORT --user U --password P --backup FILE --database NAME
//                        --directory DIR/
//
// Prints every notice, the number of distinct percents the progress area showed, and last
// "longest stall N ms": the longest gap between two runs of the timer from the press of the start
// button until the run has ended. Exit status 0 when the restore succeeded.

#include "Unit1.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int TickMs = 10;
const QString SuccessNotice = QStringLiteral("恭喜您，数据库已成功恢复了！！！");

template <typename T> T* control(QWidget& window, const char* name) {
    return window.findChild<T*>(QString::fromLatin1(name));
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMap<QString, QString> options;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i + 1 < arguments.size(); i += 2) {
        options[arguments[i].mid(2)] = arguments[i + 1];
    }
    for (const char* required : {"server", "user", "password", "backup", "database", "directory"}) {
        if (!options.contains(required)) {
            std::fprintf(stderr, "missing --%s\n", required);
            return 2;
        }
    }

    bool succeeded = false;
    ui::WindowSeams seams;
    seams.showNotice = [&succeeded](QWidget*, const QString& text, restore::NoticeKind) {
        std::printf("notice: %s\n", qPrintable(QString(text).replace(u'\r', u' ')));
        succeeded = succeeded || text == SuccessNotice;
    };
    seams.chooseFile = [&options](QWidget*, const ui::FileDialogState& start) {
        return std::optional<ui::FileDialogState>({start.nameFilters, 0, options["backup"]});
    };
    seams.executableDir = [] { return QStringLiteral("/nonexistent"); };
    TForm1 form(seams);
    form.show();
    control<QComboBox>(form, "b1")->setEditText(options["server"]);
    control<QRadioButton>(form, "c2")->click();
    control<QLineEdit>(form, "b2")->setText(options["user"]);
    control<QLineEdit>(form, "b3")->setText(options["password"]);
    control<QPushButton>(form, "d1")->click();
    control<QLineEdit>(form, "e1")->setText(options["database"]);
    control<QLineEdit>(form, "e2")->setText(options["directory"]);
    auto* progress = control<QTextEdit>(form, "d4");

    bool measuring = false;
    qint64 longestNs = 0;
    QElapsedTimer sinceTick;
    QStringList percents;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (measuring) {
            longestNs = std::max(longestNs, sinceTick.nsecsElapsed());
            const QString line = progress->document()->lastBlock().text();
            if (line.endsWith(u'%') && !percents.contains(line)) {
                percents << line;
            }
        }
        sinceTick.restart();
    });
    ticker.start(TickMs);
    QTimer::singleShot(500, [&] {
        measuring = true;
        sinceTick.restart();
        control<QPushButton>(form, "d3")->click();
        longestNs = std::max(longestNs, sinceTick.nsecsElapsed());
        measuring = false;
        QCoreApplication::quit();
    });
    app.exec();

    std::printf("percents shown while restoring: %lld\n", static_cast<long long>(percents.size()));
    std::printf("longest stall %lld ms\n", static_cast<long long>((longestNs + 500000) / 1000000));
    return succeeded ? 0 : 1;
}
