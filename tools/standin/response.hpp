#pragma once

#include "bytes.hpp"
#include "tokens.hpp"
#include "wire.hpp"

#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

namespace standin {

// One response message being built for the current request. Long statements
// push parts of it early and ask `cancelled()` between steps, which is where
// an attention from the client is noticed.
class Response {
public:
    // `tds`: the TDS version the login agreed on, which decides the token layout.
    Response(Wire& wire, const std::atomic<bool>& stopping, std::uint32_t tds)
        : wire_(wire), stopping_(stopping), tds_(tds) {}

    ByteWriter& out() { return w_; }

    void info(std::int32_t number, std::string_view text, std::uint8_t state = 1);
    void error(std::int32_t number, std::string_view text, std::uint8_t cls = 16,
               std::uint8_t state = 1, std::uint16_t line = 1);
    void columns(const std::vector<Column>& cols);
    void done(std::uint16_t status, std::uint32_t count = 0);
    // Ends a result inside a procedure.
    void done_in_proc(std::uint16_t status, std::uint32_t count);
    void done_proc(std::uint16_t status);
    void return_status(std::int32_t v);

    // Sends what is buffered without ending the message.
    bool push();
    // Ends the message (EOM). Safe to call once per request.
    bool finish();

    // True once the client sent an attention, went away, or the server stops.
    bool cancelled();
    // Waits `ms`, watching for cancellation; false if cancelled meanwhile.
    bool wait_ms(long ms);

    bool attention() const { return attention_; }
    bool broken() const { return broken_; }
    // Forces the connection to be dropped after this request.
    void drop() { broken_ = true; }

private:
    Wire& wire_;
    const std::atomic<bool>& stopping_;
    std::uint32_t tds_;
    ByteWriter w_;
    bool attention_ = false;
    bool broken_ = false;
};

} // namespace standin
