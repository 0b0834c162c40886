#include "batch_log.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <stdexcept>
#include <unistd.h>

namespace standin {

BatchLog::BatchLog(const std::string& path) {
    if (path.empty())
        return;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0)
        throw std::runtime_error("cannot open log " + path + ": " + std::strerror(errno));
}

BatchLog::~BatchLog() {
    if (fd_ >= 0)
        ::close(fd_);
}

void BatchLog::append(std::string_view text) {
    std::string record = "batch " + std::to_string(text.size()) + "\n";
    record += text;
    record += '\n';
    write_record(record);
}

void BatchLog::append_attention() {
    write_record("attention\n");
}

void BatchLog::write_record(const std::string& record) {
    if (fd_ < 0)
        return;
    std::lock_guard lock(m_);
    // One write per record keeps records whole even with several connections.
    if (::write(fd_, record.data(), record.size()) != static_cast<ssize_t>(record.size()))
        std::cerr << "standin: writing the batch log failed: " << std::strerror(errno) << std::endl;
}

} // namespace standin
