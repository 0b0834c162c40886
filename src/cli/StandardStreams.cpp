#include "cli/StandardStreams.h"

#include <csignal>
#include <cstdio>

#ifdef Q_OS_WIN
#include <QStringDecoder>

#include <io.h>
#include <windows.h>
#endif

namespace cli {

namespace {

class StandardStream : public QIODevice {
public:
    explicit StandardStream(FILE* file) : file_(file) {
#ifdef Q_OS_WIN
        const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
        DWORD mode = 0;
        if (GetConsoleMode(handle, &mode)) {
            console_ = handle;
            // The in-place progress line erases with an escape sequence.
            SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        }
#endif
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char*, qint64) override {
        return -1;
    }

    qint64 writeData(const char* data, qint64 size) override {
#ifdef Q_OS_WIN
        if (console_ != nullptr) {
            // Stateful, so a character split between two writes still comes out whole.
            const QString text = decoder_(QByteArrayView(data, size));
            DWORD written = 0;
            WriteConsoleW(console_, text.utf16(), static_cast<DWORD>(text.size()), &written,
                          nullptr);
            return size;
        }
#endif
        const size_t written = std::fwrite(data, 1, static_cast<size_t>(size), file_);
        std::fflush(file_);
        return static_cast<qint64>(written);
    }

private:
    FILE* file_;
#ifdef Q_OS_WIN
    HANDLE console_ = nullptr;
    QStringDecoder decoder_{QStringDecoder::Utf8};
#endif
};

} // namespace

QIODevice* standardOutput() {
    static StandardStream stream(stdout);
    return &stream;
}

QIODevice* standardError() {
    static StandardStream stream(stderr);
    return &stream;
}

// Windows has no SIGPIPE: a write to a closed pipe fails there anyway.
void keepRunningWithoutReader() {
#ifndef Q_OS_WIN
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

} // namespace cli
