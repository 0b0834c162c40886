#pragma once

#include "bytes.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// TDS 7.1 response tokens as SQL Server 2000 writes them.
namespace token {
constexpr std::uint8_t kDone = 0xFD;
constexpr std::uint8_t kDoneProc = 0xFE;
constexpr std::uint8_t kDoneInProc = 0xFF;
} // namespace token

namespace done {
constexpr std::uint16_t kFinal = 0x0000;
constexpr std::uint16_t kMore = 0x0001;
constexpr std::uint16_t kError = 0x0002;
constexpr std::uint16_t kCount = 0x0010;
constexpr std::uint16_t kAttention = 0x0020;
} // namespace done

// Chinese_PRC_CI_AS: LCID 0x0804, ignore case, ignore width/kana off.
inline constexpr std::uint8_t kCollation[5] = {0x04, 0x08, 0xD0, 0x00, 0x00};
inline constexpr std::string_view kServerName = "STANDIN";

void write_b_varchar(ByteWriter& w, std::string_view utf8);
void write_us_varchar(ByteWriter& w, std::string_view utf8);

void write_env_string(ByteWriter& w, std::uint8_t type, std::string_view now, std::string_view old);
void write_env_collation(ByteWriter& w);
void write_login_ack(ByteWriter& w);
void write_message(ByteWriter& w, bool is_error, std::int32_t number, std::uint8_t state,
                   std::uint8_t cls, std::string_view text, std::string_view proc = {},
                   std::uint16_t line = 1);
void write_done(ByteWriter& w, std::uint8_t token, std::uint16_t status, std::uint32_t count = 0);
void write_return_status(ByteWriter& w, std::int32_t value);

enum class ColumnType { NVarChar, Char, DateTime, Numeric20, Int };

struct Column {
    std::string name;
    ColumnType type;
    std::uint16_t length = 0; // characters for NVarChar/Char, bytes (1, 2 or 4) for Int
    bool nullable = false;
};

void write_columns(ByteWriter& w, const std::vector<Column>& cols);
void write_row_start(ByteWriter& w);
void write_nvarchar(ByteWriter& w, const std::optional<std::string>& v);
void write_char(ByteWriter& w, std::string_view ascii);
void write_datetime(ByteWriter& w, std::int32_t days, std::uint32_t ticks);
void write_numeric20(ByteWriter& w, std::uint64_t v);
void write_int(ByteWriter& w, std::uint8_t bytes, std::int32_t v);
// NULL in a nullable DateTime, Numeric20 or Int column.
void write_null_fixed(ByteWriter& w);

} // namespace standin
