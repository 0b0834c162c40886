#include "tokens.hpp"

#include "utf.hpp"

namespace standin {

namespace {

// Characters beyond what the length prefix can count are cut, not wrapped.
std::u16string clipped(std::string_view utf8, std::size_t max_units) {
    std::u16string u = utf8_to_utf16(utf8);
    if (u.size() > max_units)
        u.resize(max_units);
    return u;
}

void put_units(ByteWriter& w, const std::u16string& u) {
    for (char16_t c : u)
        w.u16le(static_cast<std::uint16_t>(c));
}

} // namespace

void write_b_varchar(ByteWriter& w, std::string_view utf8) {
    const std::u16string u = clipped(utf8, 255);
    w.u8(static_cast<std::uint8_t>(u.size()));
    put_units(w, u);
}

void write_us_varchar(ByteWriter& w, std::string_view utf8) {
    const std::u16string u = clipped(utf8, 0xFFFF);
    w.u16le(static_cast<std::uint16_t>(u.size()));
    put_units(w, u);
}

void write_env_string(ByteWriter& w, std::uint8_t type, std::string_view now,
                      std::string_view old) {
    w.u8(0xE3);
    const std::size_t len_at = w.size();
    w.u16le(0);
    w.u8(type);
    write_b_varchar(w, now);
    write_b_varchar(w, old);
    w.patch_u16le(len_at, static_cast<std::uint16_t>(w.size() - len_at - 2));
}

void write_env_collation(ByteWriter& w) {
    w.u8(0xE3);
    w.u16le(8);
    w.u8(7);
    w.u8(5);
    w.raw(kCollation, sizeof kCollation);
    w.u8(0);
}

void write_login_ack(ByteWriter& w, const ServerVersion& v, std::uint32_t tds) {
    constexpr std::string_view prog = "Microsoft SQL Server";
    w.u8(0xAD);
    w.u16le(static_cast<std::uint16_t>(10 + 2 * prog.size()));
    w.u8(1);
    w.u32be(tds);
    write_b_varchar(w, prog);
    w.u8(v.major);
    w.u8(v.minor);
    w.u16be(v.build);
}

void write_message(ByteWriter& w, std::uint32_t tds, bool is_error, std::int32_t number,
                   std::uint8_t state, std::uint8_t cls, std::string_view text,
                   std::string_view proc, std::uint16_t line) {
    w.u8(is_error ? 0xAA : 0xAB);
    const std::size_t len_at = w.size();
    w.u16le(0);
    w.u32le(static_cast<std::uint32_t>(number));
    w.u8(state);
    w.u8(cls);
    // The token length is 16 bits, so a huge text must be cut well below it.
    write_us_varchar(w, text.substr(0, 8000));
    write_b_varchar(w, kServerName);
    write_b_varchar(w, proc);
    if (wide_layout(tds))
        w.u32le(line);
    else
        w.u16le(line);
    w.patch_u16le(len_at, static_cast<std::uint16_t>(w.size() - len_at - 2));
}

void write_done(ByteWriter& w, std::uint32_t tds, std::uint8_t token, std::uint16_t status,
                std::uint32_t count) {
    w.u8(token);
    w.u16le(status);
    w.u16le(0);
    w.u32le(count);
    if (wide_layout(tds))
        w.u32le(0);
}

void write_return_status(ByteWriter& w, std::int32_t value) {
    w.u8(0x79);
    w.u32le(static_cast<std::uint32_t>(value));
}

void write_columns(ByteWriter& w, std::uint32_t tds, const std::vector<Column>& cols) {
    w.u8(0x81);
    w.u16le(static_cast<std::uint16_t>(cols.size()));
    for (const Column& c : cols) {
        if (wide_layout(tds))
            w.u32le(0);
        else
            w.u16le(0);
        w.u16le(c.nullable ? 0x0001 : 0x0000);
        switch (c.type) {
        case ColumnType::NVarChar:
            w.u8(0xE7);
            w.u16le(static_cast<std::uint16_t>(c.length * 2));
            w.raw(kCollation, sizeof kCollation);
            break;
        case ColumnType::Char:
            w.u8(0xAF);
            w.u16le(c.length);
            w.raw(kCollation, sizeof kCollation);
            break;
        case ColumnType::DateTime:
            w.u8(0x6F);
            w.u8(8);
            break;
        case ColumnType::Numeric20:
        case ColumnType::Numeric25:
            w.u8(0x6C);
            w.u8(13);
            w.u8(c.type == ColumnType::Numeric20 ? 20 : 25);
            w.u8(0);
            break;
        case ColumnType::Int:
            w.u8(0x26); // INTN
            w.u8(static_cast<std::uint8_t>(c.length));
            break;
        case ColumnType::Bit:
            w.u8(0x68); // BITN
            w.u8(1);
            break;
        case ColumnType::Guid:
            w.u8(0x24);
            w.u8(16);
            break;
        case ColumnType::VarBinary:
            w.u8(0xA5);
            w.u16le(c.length);
            break;
        }
        write_b_varchar(w, c.name);
    }
}

void write_row_start(ByteWriter& w) {
    w.u8(0xD1);
}

void write_nvarchar(ByteWriter& w, const std::optional<std::string>& v) {
    if (!v)
        return write_null_varlength(w);
    const std::u16string u = clipped(*v, 4000);
    w.u16le(static_cast<std::uint16_t>(u.size() * 2));
    put_units(w, u);
}

void write_char(ByteWriter& w, std::string_view ascii) {
    w.u16le(static_cast<std::uint16_t>(ascii.size()));
    w.raw(reinterpret_cast<const std::uint8_t*>(ascii.data()), ascii.size());
}

void write_null_fixed(ByteWriter& w) {
    w.u8(0);
}

void write_datetime(ByteWriter& w, std::int32_t days, std::uint32_t ticks) {
    w.u8(8);
    w.u32le(static_cast<std::uint32_t>(days));
    w.u32le(ticks);
}

void write_numeric(ByteWriter& w, std::uint64_t v) {
    w.u8(13);
    w.u8(1);
    for (int i = 0; i < 8; ++i)
        w.u8(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
    for (int i = 0; i < 4; ++i)
        w.u8(0);
}

void write_int(ByteWriter& w, std::uint8_t bytes, std::int64_t v) {
    w.u8(bytes);
    for (int i = 0; i < bytes; ++i)
        w.u8(static_cast<std::uint8_t>((static_cast<std::uint64_t>(v) >> (8 * i)) & 0xFF));
}

void write_bit(ByteWriter& w, bool v) {
    w.u8(1);
    w.u8(v ? 1 : 0);
}

void write_guid(ByteWriter& w, const std::uint8_t (&v)[16]) {
    w.u8(16);
    w.raw(v, sizeof v);
}

void write_null_varlength(ByteWriter& w) {
    w.u16le(0xFFFF);
}

} // namespace standin
