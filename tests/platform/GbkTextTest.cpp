#include "platform/GbkText.h"

#include <QByteArray>

#include <gtest/gtest.h>

using namespace platform;

TEST(GbkText, TrailByte0x5CIsNotABackslash) {
    // 誠 is D5 5C and 乗 is 81 5C in code page 936; 表 is B1 ED.
    struct Case {
        QByteArray gbk;
        bool endsWithBackslash;
    };
    const Case cases[] = {
        {QByteArray("D:\\\xD5\x5C"), false},
        {QByteArray("D:\\\x81\x5C"), false},
        {QByteArray("D:\\\xD5\x5C\\"), true},
        {QByteArray("D:\\\xB1\xED\\"), true},
        {QByteArray("D:\\SQL2000_DB"), false},
        {QByteArray("\\"), true},
        {QByteArray(), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gbkEndsWithBackslash(c.gbk), c.endsWithBackslash)
            << c.gbk.toHex(' ').toStdString();
    }
}
