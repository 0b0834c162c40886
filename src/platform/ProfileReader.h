#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <vector>

namespace platform {

// A Windows profile (INI) file read once, looked up the way GetPrivateProfileStringA does it: the
// file is code page 936 (GBK) bytes, or UTF-8 or UTF-16 LE when it begins with their byte-order
// mark.
class ProfileReader {
public:
    // The reader's buffer holds 2048 bytes with the terminating zero.
    static constexpr qsizetype MaxValueBytes = 2047;
    // Beyond this the rest of the file is ignored, from the line the limit cuts.
    static constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;

    // A missing or unreadable file holds no keys.
    static ProfileReader fromFile(const QString& path);
    static ProfileReader fromBytes(const QByteArray& content);

    // The value of the first key named `key` in the first section named `section`, or `fallback`.
    QString value(QStringView section, QStringView key, const QString& fallback) const;
    bool hasSection(QStringView section) const;
    // True when value() gives the key's value cut to MaxValueBytes.
    bool isCut(QStringView section, QStringView key) const;

private:
    struct Entry {
        QByteArray key;
        QByteArray value;
    };
    struct Section {
        QByteArray name;
        std::vector<Entry> entries;
    };

    QByteArray encoded(QStringView name) const;
    const Section* findSection(QStringView section) const;
    const Entry* findEntry(QStringView section, QStringView key) const;
    QString decoded(const Entry& entry) const;

    bool utf8_ = false;
    std::vector<Section> sections_;
};

} // namespace platform
