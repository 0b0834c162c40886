// Renders the window offscreen to PNG files: as it starts, and after a successful restore from
// the SQL Server 2000 stand-in, widened with the promotion panel uncovered. At a scale factor
// above 1 (QT_SCALE_FACTOR) the file names end in @2x and so on.
//   window_screenshots OUTPUT_DIR

#include "BackupRestoreInputs.h"
#include "FakeDesktop.h"

#include "StandinProcess.h"
#include "Unit1.h"

#include <QApplication>
#include <QDir>
#include <QtTest>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

bool save(QWidget& window, const QDir& output, const QString& name) {
    const qreal scale = window.devicePixelRatio();
    const QString path =
        output.filePath(scale == 1 ? name + u".png"_s : u"%1@%2x.png"_s.arg(name).arg(scale));
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QDir output(QString::fromLocal8Bit(argv[1]));

    FakeDesktop desktop;
    TForm1 form(desktop.seams());
    form.show();
    if (!QTest::qWaitForWindowExposed(&form) || !save(form, output, u"window-fresh"_s)) {
        return 1;
    }

    quarn_test::StandinProcess standin;
    const QString backup = QDir(standin.scratch()).filePath(QStringLiteral("Shop.bak"));
    if (!standin.start() ||
        !standin.makeBackup(backup, QStringLiteral("Shop"),
                            {QStringLiteral("D:Shop_Data:2M"), QStringLiteral("L:Shop_Log:1M")})) {
        std::fprintf(stderr, "stand-in: %s\n", qPrintable(standin.errorString()));
        return 1;
    }
    enterBackupRestore(form, desktop,
                       {standin.dataSource(), QStringLiteral("sa"), QStringLiteral("secret"),
                        backup, QStringLiteral("NewShop"), standin.scratch() + u'/'});
    QTest::mouseClick(form.findChild<QWidget*>(QStringLiteral("d3")), Qt::LeftButton);
    if (desktop.notices.size() != 1 ||
        desktop.notices[0].kind != restore::NoticeKind::Information) {
        for (const FakeDesktop::Notice& notice : desktop.notices) {
            std::fprintf(stderr, "notice: %s\n", qPrintable(notice.text));
        }
        std::fprintf(stderr, "the restore did not succeed\n");
        return 1;
    }
    // Let the queued Home keys reach the progress area, as they would once the notice closed.
    QCoreApplication::processEvents();
    return save(form, output, u"window-after-restore"_s) ? 0 : 1;
}
