// Data, log and backup files the stand-in is pointed at: any file on its disk.
#include "FuzzCheck.h"

#include "file_formats.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using fuzz::require;
using namespace standin;

namespace {

// One scratch file, unlinked at once and read through /proc so no run leaves it behind. In memory
// where possible: on a disk, emptying the file each run costs milliseconds.
class ScratchFile {
public:
    ScratchFile() {
        for (const std::string dir : {"/dev/shm", "/tmp"}) {
            std::string name = dir + "/fuzz_standin_files.XXXXXX";
            fd_ = ::mkstemp(name.data());
            if (fd_ >= 0) {
                ::unlink(name.c_str());
                break;
            }
        }
        require(fd_ >= 0, "create the scratch file");
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    // The file becomes `head` followed by zeros up to `size` bytes.
    const std::string& write(const std::string& head, std::size_t size) {
        require(::ftruncate(fd_, 0) == 0 &&
                    ::pwrite(fd_, head.data(), head.size(), 0) ==
                        static_cast<ssize_t>(head.size()) &&
                    ::ftruncate(fd_, static_cast<off_t>(size)) == 0,
                "write the scratch file");
        return path_;
    }

private:
    int fd_ = -1;
    std::string path_;
};

bool sameFiles(const BackupHeader& a, const BackupHeader& b) {
    if (a.database != b.database || a.files.size() != b.files.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.files.size(); ++i) {
        const BackupEntry& x = a.files[i];
        const BackupEntry& y = b.files[i];
        if (x.type != y.type || x.size != y.size || x.logical != y.logical ||
            x.physical != y.physical || x.filegroup != y.filegroup) {
            return false;
        }
    }
    return true;
}

void checkDataHeader(ScratchFile& file, const std::string& input) {
    DataHeader header;
    if (read_data_header(file.write(input, std::max(input.size(), kDataHeaderSize)), header) !=
        HeaderRead::Ok) {
        return;
    }
    const std::string text = data_header_text(header);
    // Names too long for the fixed header cannot be written back; that is the writer's limit.
    if (text.find("\nend\n") == std::string::npos) {
        return;
    }
    DataHeader back;
    require(read_data_header(file.write(text, text.size()), back) == HeaderRead::Ok &&
                back.database == header.database && back.logical == header.logical &&
                back.type == header.type && back.size == header.size,
            "a data file header reads back what was written");
}

void checkBackupHeader(ScratchFile& file, const std::string& input) {
    std::vector<BackupHeader> sets;
    if (read_backup_device(file.write(input, input.size()), sets) != BackupRead::Ok) {
        return;
    }
    std::uint64_t at = 0;
    for (const BackupHeader& set : sets) {
        std::uint64_t content = 0;
        for (const BackupEntry& entry : set.files) {
            require(!__builtin_add_overflow(content, entry.size, &content), "sizes do not wrap");
        }
        require(set.set_offset == at && set.content_offset <= input.size() &&
                    content == set.end_offset - set.content_offset,
                "each set follows the last, its content exactly the sum of its file sizes");
        at = set.end_offset;
    }
    require(at == input.size(), "the sets fill the device");

    const BackupHeader& header = sets.front();
    const std::string text = backup_header_text(header);
    std::vector<BackupHeader> back;
    require(read_backup_device(
                file.write(text, text.size() + header.end_offset - header.content_offset), back) ==
                    BackupRead::Ok &&
                back.size() == 1 && sameFiles(back[0], header) && back[0].name == header.name &&
                back[0].finished == header.finished && back[0].content_offset == text.size(),
            "a backup header reads back what was written");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScratchFile file;
    const std::string input(reinterpret_cast<const char*>(data), size);
    checkDataHeader(file, input);
    checkBackupHeader(file, input);
    return 0;
}
