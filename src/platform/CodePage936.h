#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace platform {

// Code page 936 (GBK), whatever this machine's own code page is. Windows converts it itself; a Qt
// without ICU (as on Windows) has no GBK codec.
QString fromCodePage936(QByteArrayView bytes);
QByteArray toCodePage936(QStringView text);

} // namespace platform
