#pragma once

#include "bytes.hpp"
#include "server_version.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// Response tokens in the layout of the TDS version the login agreed on (`tds`, as LOGINACK
// carries it): from 7.2 on, row counts, user types and line numbers are wider.
constexpr std::uint32_t kTds71 = 0x71000001;
inline bool wide_layout(std::uint32_t tds) {
    return tds >= 0x72000000;
}

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
void write_login_ack(ByteWriter& w, const ServerVersion& v, std::uint32_t tds);
void write_message(ByteWriter& w, std::uint32_t tds, bool is_error, std::int32_t number,
                   std::uint8_t state, std::uint8_t cls, std::string_view text,
                   std::string_view proc = {}, std::uint16_t line = 1);
void write_done(ByteWriter& w, std::uint32_t tds, std::uint8_t token, std::uint16_t status,
                std::uint32_t count = 0);
void write_return_status(ByteWriter& w, std::int32_t value);

enum class ColumnType { NVarChar, Char, DateTime, Numeric20, Numeric25, Int, Bit, Guid, VarBinary };

struct Column {
    std::string name;
    ColumnType type;
    // Characters for NVarChar/Char, bytes for Int (1, 2, 4 or 8) and VarBinary.
    std::uint16_t length = 0;
    bool nullable = false;
};

void write_columns(ByteWriter& w, std::uint32_t tds, const std::vector<Column>& cols);
void write_row_start(ByteWriter& w);
void write_nvarchar(ByteWriter& w, const std::optional<std::string>& v);
void write_char(ByteWriter& w, std::string_view ascii);
void write_datetime(ByteWriter& w, std::int32_t days, std::uint32_t ticks);
// A value of a numeric(20,0) or numeric(25,0) column.
void write_numeric(ByteWriter& w, std::uint64_t v);
void write_int(ByteWriter& w, std::uint8_t bytes, std::int64_t v);
void write_bit(ByteWriter& w, bool v);
void write_guid(ByteWriter& w, const std::uint8_t (&v)[16]);
// NULL in a nullable DateTime, Numeric, Int, Bit or Guid column.
void write_null_fixed(ByteWriter& w);
// NULL in a nullable NVarChar, Char or VarBinary column.
void write_null_varlength(ByteWriter& w);

} // namespace standin
