#pragma once

#include "db/QueryClient.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <utility>
#include <vector>

namespace db {

// Reads "Key=Value;..." connection strings: keys ignore letter case, values may be quoted with
// double or single quotes (the quote doubled inside), blanks around unquoted values are dropped.
class ConnectionString {
public:
    static ConnectionString parse(QStringView text);

    // The last occurrence of a key wins, as with OLE DB.
    std::optional<QString> value(QStringView key) const;

private:
    std::vector<std::pair<QString, QString>> entries_;
};

} // namespace db
