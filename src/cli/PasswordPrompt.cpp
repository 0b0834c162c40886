#include "cli/PasswordPrompt.h"

#include "cli/StandardStreams.h"

#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <string>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace cli {

namespace {

// Turns echo off for as long as it lives, when standard input is a terminal.
class EchoOff {
public:
    EchoOff() {
#ifdef Q_OS_WIN
        input_ = GetStdHandle(STD_INPUT_HANDLE);
        active_ = GetConsoleMode(input_, &saved_) &&
                  SetConsoleMode(input_, saved_ & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
#else
        active_ = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_) == 0;
        if (active_) {
            termios quiet = saved_;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        }
#endif
    }
    ~EchoOff() {
        if (!active_) {
            return;
        }
#ifdef Q_OS_WIN
        SetConsoleMode(input_, saved_);
#else
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
#endif
        std::fputs("\n", stderr);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    bool active_ = false;
#ifdef Q_OS_WIN
    HANDLE input_ = nullptr;
    DWORD saved_ = 0;
#else
    termios saved_{};
#endif
};

// A Windows console hands over UTF-16 whatever its code page; elsewhere the line is bytes.
std::optional<QString> readLine() {
#ifdef Q_OS_WIN
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(input, &mode)) {
        QString line;
        wchar_t character = 0;
        DWORD read = 0;
        while (ReadConsoleW(input, &character, 1, &read, nullptr) && read == 1) {
            if (character == L'\n') {
                return line;
            }
            line += QChar(character);
        }
        return line.isEmpty() ? std::nullopt : std::optional(line);
    }
#endif
    std::string line;
    if (!std::getline(std::cin, line)) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(line);
}

} // namespace

std::optional<QString> promptPassword(const QString& prompt) {
    QTextStream(standardError()) << prompt << Qt::flush;
    std::optional<QString> line;
    {
        EchoOff echoOff;
        line = readLine();
    }
    if (line && line->endsWith(u'\r')) {
        line->chop(1);
    }
    return line;
}

} // namespace cli
