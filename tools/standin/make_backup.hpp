#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace standin {

// "64M", "1G", "512K" or plain bytes.
std::optional<std::uint64_t> parse_size(std::string_view s);

// `standin make-backup OUT.bak --db NAME --file T:LOGICAL:SIZE[:PHYSICAL] ...`
int make_backup_main(int argc, char** argv);

} // namespace standin
