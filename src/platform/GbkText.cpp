#include "platform/GbkText.h"

#include <QString>
#include <QStringDecoder>

namespace platform {

bool gbkEndsWithBackslash(QByteArrayView gbk) {
    QStringDecoder decoder("GBK");
    const QString text = decoder.decode(gbk);
    return text.endsWith(u'\\');
}

} // namespace platform
