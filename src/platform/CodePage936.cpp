#include "platform/CodePage936.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QStringDecoder>
#include <QStringEncoder>
#endif

namespace platform {

#ifdef Q_OS_WIN

namespace {

constexpr UINT Gbk = 936;

} // namespace

QString fromCodePage936(QByteArrayView bytes) {
    if (bytes.isEmpty()) {
        return {};
    }
    const int size = static_cast<int>(bytes.size());
    QString text(MultiByteToWideChar(Gbk, 0, bytes.data(), size, nullptr, 0), Qt::Uninitialized);
    MultiByteToWideChar(Gbk, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(text.data()),
                        static_cast<int>(text.size()));
    return text;
}

QByteArray toCodePage936(QStringView text) {
    if (text.isEmpty()) {
        return {};
    }
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int size = static_cast<int>(text.size());
    QByteArray bytes(WideCharToMultiByte(Gbk, 0, wide, size, nullptr, 0, nullptr, nullptr),
                     Qt::Uninitialized);
    WideCharToMultiByte(Gbk, 0, wide, size, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                        nullptr);
    return bytes;
}

#else

QString fromCodePage936(QByteArrayView bytes) {
    QStringDecoder decoder("GBK");
    return decoder(bytes);
}

QByteArray toCodePage936(QStringView text) {
    QStringEncoder encoder("GBK");
    return encoder(text);
}

#endif

} // namespace platform
