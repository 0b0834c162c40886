#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace standin {

// Appends each received batch as "batch <bytes>\n<text>\n", where <bytes> is
// the UTF-8 length of <text>, so line breaks inside a batch stay unambiguous,
// and each attention (cancel) from a client as "attention\n".
class BatchLog {
public:
    // An empty path disables the log; throws std::runtime_error if it cannot be opened.
    explicit BatchLog(const std::string& path);
    ~BatchLog();
    BatchLog(const BatchLog&) = delete;
    BatchLog& operator=(const BatchLog&) = delete;

    void append(std::string_view text);
    void append_attention();

private:
    void write_record(const std::string& record);

    int fd_ = -1;
    std::mutex m_;
};

} // namespace standin
