#include "file_formats.hpp"

#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace standin {

namespace {

constexpr const char* kDataMagic = "STANDIN-DATAFILE 1\n";
constexpr const char* kBackupMagic = "STANDIN-BACKUP 1\n";
constexpr std::size_t kMaxBackupHeader = 1 << 20;
constexpr std::size_t kMaxBackupSets = 32767;

bool needs_escape(unsigned char c) {
    return c <= 0x20 || c == '%' || c == 0x7F;
}

std::optional<std::uint64_t> to_u64(const std::string& s) {
    if (s.empty() || s.size() > 19)
        return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return v;
}

// "version NAME LEVEL", written only for servers later than SQL Server 2000, so that 2000's
// files stay as they always were.
std::string version_line(const ServerVersion* v, int level) {
    if (v == &sql2000())
        return {};
    return "version " + std::string(v->name) + " " + std::to_string(level) + "\n";
}

bool read_version_line(const std::string& line, const ServerVersion*& v, int& level) {
    std::istringstream l(line.substr(8));
    std::string name;
    if (!(l >> name >> level) || level < 60 || level > 200)
        return false;
    v = version_named(name);
    return v != nullptr;
}

std::optional<char> to_type(const std::string& s) {
    if (s == "D" || s == "L" || s == "F")
        return s[0];
    return std::nullopt;
}

} // namespace

std::string encode_field(const std::string& s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (needs_escape(c)) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out.empty() ? "%" : out; // a lone % marks the empty string
}

std::optional<std::string> decode_field(const std::string& s) {
    if (s == "%")
        return std::string();
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size())
            return std::nullopt;
        int v = 0;
        for (int k = 1; k <= 2; ++k) {
            const char c = s[i + static_cast<std::size_t>(k)];
            v <<= 4;
            if (c >= '0' && c <= '9')
                v |= c - '0';
            else if (c >= 'A' && c <= 'F')
                v |= c - 'A' + 10;
            else
                return std::nullopt;
        }
        out += static_cast<char>(v);
        i += 2;
    }
    return out;
}

std::string data_header_text(const DataHeader& h) {
    std::ostringstream o;
    o << kDataMagic << "database " << encode_field(h.database) << "\nlogical "
      << encode_field(h.logical) << "\ntype " << h.type << "\nsize " << h.size << "\n"
      << version_line(h.format, h.level) << (h.shut_down_cleanly ? "shutdown clean\n" : "");
    for (const DbUser& u : h.users)
        o << user_line(u);
    o << "end\n";
    std::string s = o.str();
    s.resize(kDataHeaderSize, '\0');
    return s;
}

bool rewrite_data_header(const std::string& path, const DataHeader& h) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    const std::string head = data_header_text(h);
    return f.write(head.data(), static_cast<std::streamsize>(head.size())) && f.flush();
}

HeaderRead read_data_header(const std::string& path, DataHeader& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return HeaderRead::Missing;
    std::string buf(kDataHeaderSize, '\0');
    in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    if (in.gcount() != static_cast<std::streamsize>(kDataHeaderSize) ||
        buf.rfind(kDataMagic, 0) != 0)
        return HeaderRead::NotData;
    std::istringstream lines(buf.substr(0, buf.find('\0')));
    std::string line;
    std::getline(lines, line);
    bool ended = false;
    while (std::getline(lines, line)) {
        if (line == "end") {
            ended = true;
            break;
        }
        const std::size_t sp = line.find(' ');
        if (sp == std::string::npos)
            return HeaderRead::NotData;
        const std::string key = line.substr(0, sp);
        const std::string val = line.substr(sp + 1);
        if (key == "database" || key == "logical") {
            auto v = decode_field(val);
            if (!v)
                return HeaderRead::NotData;
            (key == "database" ? out.database : out.logical) = *v;
        } else if (key == "type") {
            auto t = to_type(val);
            if (!t)
                return HeaderRead::NotData;
            out.type = *t;
        } else if (key == "size") {
            auto n = to_u64(val);
            if (!n)
                return HeaderRead::NotData;
            out.size = *n;
        } else if (key == "version") {
            if (!read_version_line(line, out.format, out.level))
                return HeaderRead::NotData;
        } else if (key == "shutdown") {
            out.shut_down_cleanly = val == "clean";
        } else if (key == "user") {
            auto u = parse_user_fields(val);
            if (!u)
                return HeaderRead::NotData;
            out.users.push_back(*u);
        }
    }
    return ended ? HeaderRead::Ok : HeaderRead::NotData;
}

std::string backup_header_text(const BackupHeader& h) {
    std::ostringstream o;
    o << kBackupMagic << "database " << encode_field(h.database) << "\nname "
      << encode_field(h.name) << "\nfinished " << h.finished << "\ntype " << h.type << "\nstarted "
      << h.started << "\nlsn " << h.first_lsn << ' ' << h.last_lsn << ' ' << h.checkpoint_lsn << ' '
      << h.database_backup_lsn << "\n";
    if (h.family != 0 || h.first_fork != 0 || h.fork != 0)
        o << "identity " << h.created_ms << ' ' << h.family << ' ' << h.first_fork << ' ' << h.fork
          << ' ' << h.fork_point << "\n";
    o << version_line(h.made_by, h.level);
    if (h.copy_only || h.checksums || h.compressed)
        o << "options" << (h.copy_only ? " copy_only" : "") << (h.checksums ? " checksum" : "")
          << (h.compressed ? " compressed" : "") << "\n";
    for (const DbUser& u : h.users)
        o << user_line(u);
    o << "files " << h.files.size() << "\n";
    for (const BackupEntry& f : h.files)
        o << "file " << f.type << ' ' << f.size << ' ' << encode_field(f.logical) << ' '
          << encode_field(f.physical) << ' ' << encode_field(f.filegroup) << "\n";
    o << "end\n";
    return o.str();
}

namespace {

// One set's header at `offset`; `length` is the device's. Fills the offsets.
bool read_set(std::ifstream& in, std::uint64_t offset, std::uint64_t length, BackupHeader& out) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    std::string line;
    std::size_t consumed = 0;
    auto next_line = [&]() -> bool {
        if (!std::getline(in, line) || in.eof())
            return false;
        consumed += line.size() + 1;
        return consumed <= kMaxBackupHeader;
    };
    if (!next_line() || line + "\n" != kBackupMagic)
        return false;
    if (!next_line() || line.rfind("database ", 0) != 0)
        return false;
    auto db = decode_field(line.substr(9));
    if (!db)
        return false;
    out.database = *db;
    if (!next_line())
        return false;
    // Sets written before names and dates were kept have neither line.
    if (line.rfind("name ", 0) == 0) {
        auto name = decode_field(line.substr(5));
        if (!name || !next_line())
            return false;
        out.name = *name;
    }
    if (line.rfind("finished ", 0) == 0) {
        auto finished = to_u64(line.substr(9));
        if (!finished || *finished > (1ull << 40) || !next_line())
            return false;
        out.finished = static_cast<std::int64_t>(*finished);
    }
    out.started = out.finished;
    if (line.rfind("type ", 0) == 0) {
        const std::string t = line.substr(5);
        if ((t != "1" && t != "2" && t != "5") || !next_line())
            return false;
        out.type = t[0] - '0';
    }
    if (line.rfind("started ", 0) == 0) {
        auto started = to_u64(line.substr(8));
        if (!started || *started > (1ull << 40) || !next_line())
            return false;
        out.started = static_cast<std::int64_t>(*started);
    }
    if (line.rfind("lsn ", 0) == 0) {
        std::istringstream l(line.substr(4));
        std::string a, b, c, d;
        l >> a >> b >> c >> d;
        auto first = to_u64(a), last = to_u64(b), checkpoint = to_u64(c), base = to_u64(d);
        if (!first || !last || !checkpoint || !base || !next_line())
            return false;
        out.first_lsn = *first;
        out.last_lsn = *last;
        out.checkpoint_lsn = *checkpoint;
        out.database_backup_lsn = *base;
    }
    if (line.rfind("identity ", 0) == 0) {
        std::istringstream l(line.substr(9));
        std::string a, b, c, d, e;
        l >> a >> b >> c >> d >> e;
        auto created = to_u64(a), family = to_u64(b), first_fork = to_u64(c), fork = to_u64(d),
             fork_point = to_u64(e);
        if (!created || *created > (1ull << 50) || !family || !first_fork || !fork || !fork_point ||
            !next_line())
            return false;
        out.created_ms = static_cast<std::int64_t>(*created);
        out.family = *family;
        out.first_fork = *first_fork;
        out.fork = *fork;
        out.fork_point = *fork_point;
    }
    if (line.rfind("version ", 0) == 0 &&
        (!read_version_line(line, out.made_by, out.level) || !next_line()))
        return false;
    out.copy_only = out.checksums = out.compressed = false;
    if (line.rfind("options ", 0) == 0) {
        std::istringstream l(line.substr(8));
        std::string option;
        while (l >> option) {
            if (option == "copy_only")
                out.copy_only = true;
            else if (option == "checksum")
                out.checksums = true;
            else if (option == "compressed")
                out.compressed = true;
            else
                return false;
        }
        if (!next_line())
            return false;
    }
    out.users.clear();
    while (line.rfind("user ", 0) == 0) {
        auto u = parse_user_fields(line.substr(5));
        if (!u || out.users.size() >= 1000 || !next_line())
            return false;
        out.users.push_back(*u);
    }
    if (line.rfind("files ", 0) != 0)
        return false;
    auto count = to_u64(line.substr(6));
    if (!count || *count > 1000)
        return false;
    std::uint64_t total = 0;
    out.files.clear();
    for (std::uint64_t i = 0; i < *count; ++i) {
        if (!next_line())
            return false;
        std::istringstream f(line);
        std::string word, type, size, logical, physical, group;
        if (!(f >> word >> type >> size >> logical >> physical >> group) || word != "file")
            return false;
        BackupEntry e;
        auto t = to_type(type);
        auto n = to_u64(size);
        auto l = decode_field(logical);
        auto p = decode_field(physical);
        auto g = decode_field(group);
        if (!t || !n || !l || !p || !g)
            return false;
        e.type = *t;
        e.size = *n;
        e.logical = *l;
        e.physical = *p;
        e.filegroup = *g;
        // Checked against the file one by one, so that the sum of the sizes cannot wrap.
        if (e.size > length - offset - total)
            return false;
        total += e.size;
        out.files.push_back(std::move(e));
    }
    if (!next_line() || line != "end")
        return false;
    out.set_offset = offset;
    out.content_offset = offset + consumed;
    if (total > length - out.content_offset)
        return false;
    out.end_offset = out.content_offset + total;
    return true;
}

} // namespace

BackupRead read_backup_device(const std::string& path, std::vector<BackupHeader>& sets) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return BackupRead::Missing;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return BackupRead::Missing;
    const auto length = static_cast<std::uint64_t>(st.st_size);
    sets.clear();
    std::uint64_t offset = 0;
    do {
        BackupHeader h;
        if (sets.size() >= kMaxBackupSets || !read_set(in, offset, length, h))
            return BackupRead::Malformed;
        offset = h.end_offset;
        sets.push_back(std::move(h));
    } while (offset < length);
    return BackupRead::Ok;
}

void fill_pattern(std::uint8_t* buf, std::size_t n, std::uint64_t seed) {
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
    for (std::size_t i = 0; i < n; ++i) {
        if (i % 8 == 0) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
        }
        buf[i] = static_cast<std::uint8_t>(x >> (8 * (i % 8)));
    }
}

} // namespace standin
