#include "statements.hpp"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace standin {

// Like the server's procedure: a folder it cannot read lists nothing, rather than failing.
void run_dirtree(const sql::DirTree& s, Context& c) {
    struct Entry {
        std::string name;
        int depth;
        bool file;
    };
    std::vector<Entry> entries;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(s.folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const int depth = it.depth() + 1;
        if (s.depth > 0 && depth >= s.depth)
            it.disable_recursion_pending();
        const bool file = it->is_regular_file(ec);
        if (file || it->is_directory(ec))
            entries.push_back({it->path().filename().string(), depth, file});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.depth < b.depth; });
    ByteWriter& w = c.r.out();
    std::vector<Column> columns = {{"subdirectory", ColumnType::NVarChar, 255, false},
                                   {"depth", ColumnType::Int, 4, false}};
    if (s.with_files)
        columns.push_back({"file", ColumnType::Int, 4, false});
    c.r.columns(columns);
    std::uint32_t rows = 0;
    for (const Entry& e : entries) {
        if (!s.with_files && e.file)
            continue;
        write_row_start(w);
        write_nvarchar(w, e.name);
        write_int(w, 4, e.depth);
        if (s.with_files)
            write_int(w, 4, e.file ? 1 : 0);
        ++rows;
    }
    c.r.done_in_proc(done::kMore | done::kCount, rows);
    c.r.return_status(0);
    c.r.done_proc(done::kFinal);
}

} // namespace standin
