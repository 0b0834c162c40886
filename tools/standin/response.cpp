#include "response.hpp"

#include <chrono>
#include <thread>

namespace standin {

void Response::info(std::int32_t number, std::string_view text, std::uint8_t state) {
    write_message(w_, tds_, false, number, state, 10, text);
}

void Response::error(std::int32_t number, std::string_view text, std::uint8_t cls,
                     std::uint8_t state, std::uint16_t line) {
    write_message(w_, tds_, true, number, state, cls, text, {}, line);
}

void Response::columns(const std::vector<Column>& cols) {
    write_columns(w_, tds_, cols);
}

void Response::done(std::uint16_t status, std::uint32_t count) {
    write_done(w_, tds_, token::kDone, status, count);
}

void Response::done_in_proc(std::uint16_t status, std::uint32_t count) {
    write_done(w_, tds_, token::kDoneInProc, status, count);
}

void Response::done_proc(std::uint16_t status) {
    write_done(w_, tds_, token::kDoneProc, status, 0);
}

void Response::return_status(std::int32_t v) {
    write_return_status(w_, v);
}

bool Response::push() {
    if (broken_)
        return false;
    if (w_.size() == 0)
        return true;
    if (!wire_.send(w_.bytes(), false))
        broken_ = true;
    w_.clear();
    return !broken_;
}

bool Response::finish() {
    if (broken_)
        return false;
    if (!wire_.send(w_.bytes(), true))
        broken_ = true;
    w_.clear();
    return !broken_;
}

bool Response::cancelled() {
    if (attention_ || broken_ || stopping_.load())
        return true;
    switch (wire_.poll()) {
    case Wire::Poll::Idle:
        return false;
    case Wire::Poll::Attention:
        attention_ = true;
        return true;
    case Wire::Poll::Closed:
    case Wire::Poll::Bad:
        broken_ = true;
        return true;
    }
    return true;
}

bool Response::wait_ms(long ms) {
    using clock = std::chrono::steady_clock;
    const auto until = clock::now() + std::chrono::milliseconds(ms);
    while (!cancelled()) {
        const auto left = until - clock::now();
        if (left <= clock::duration::zero())
            return true;
        std::this_thread::sleep_for(std::min<clock::duration>(left, std::chrono::milliseconds(20)));
    }
    return false;
}

} // namespace standin
