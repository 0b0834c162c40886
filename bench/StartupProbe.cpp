// Linked into both start-up benchmark programs. When the first window has been painted it prints
// the microseconds since BENCH_START_US (the launch time the script sets, in microseconds since
// the epoch) and the peak resident memory in KiB, then ends the process without tearing down.
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QRegularExpression>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

long long peakResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    static const QRegularExpression peak(QStringLiteral("VmHWM:\\s+(\\d+) kB"));
    return peak.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong();
}

void report() {
    using namespace std::chrono;
    const long long now =
        duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    const long long start = qEnvironmentVariable("BENCH_START_US").toLongLong();
    std::printf("%lld %lld\n", now - start, peakResidentKiB());
    std::fflush(stdout);
    std::_Exit(0);
}

class FirstPaint : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow()) {
            // Queued, so it runs after this paint and the flush to the screen have finished.
            QMetaObject::invokeMethod(qApp, &report, Qt::QueuedConnection);
            qApp->removeEventFilter(this);
        }
        return false;
    }
};

void installProbe() {
    qApp->installEventFilter(new FirstPaint);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
