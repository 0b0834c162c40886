#pragma once

#include <QByteArrayView>

namespace platform {

// Whether code page 936 text ends with a backslash character. The second byte of a double-byte
// character may be 0x5C (誠 is D5 5C) and must not be taken for one, so the test is made on the
// decoded characters, never on the last byte.
bool gbkEndsWithBackslash(QByteArrayView gbk);

} // namespace platform
