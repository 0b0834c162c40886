#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace standin {

// Appends each received batch as "batch <bytes>\n<text>\n", where <bytes> is
// the UTF-8 length of <text>, so line breaks inside a batch stay unambiguous.
class BatchLog {
public:
    // An empty path disables the log; throws std::runtime_error if it cannot be opened.
    explicit BatchLog(const std::string& path);
    ~BatchLog();
    BatchLog(const BatchLog&) = delete;
    BatchLog& operator=(const BatchLog&) = delete;

    void append(std::string_view text);

private:
    int fd_ = -1;
    std::mutex m_;
};

} // namespace standin
