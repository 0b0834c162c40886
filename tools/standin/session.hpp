#pragma once

#include "batch_log.hpp"
#include "catalogue.hpp"
#include "drives.hpp"
#include "edition.hpp"
#include "faults.hpp"
#include "server_version.hpp"
#include "tokens.hpp"
#include "wire.hpp"

#include <atomic>
#include <map>
#include <string>

namespace standin {

struct ServerState {
    Catalogue& catalogue;
    const Faults& faults;
    BatchLog& log;
    const Drives& drives;
    const ServerVersion& version;
    Edition edition;
    std::map<std::string, std::string> logins; // user -> password
    std::atomic<bool> stopping{false};
};

// One client connection from PRELOGIN to close.
class Session {
public:
    Session(int fd, int id, ServerState& server);
    void run();

private:
    // Each returns false when the connection must be closed.
    bool on_prelogin(const Message& m);
    bool on_login(const Message& m);
    bool on_batch(const Message& m);
    bool on_rpc(const Message& m);
    bool on_attention(const Message& m);

    bool refuse_login(std::uint32_t tds, std::int32_t number, std::uint8_t cls,
                      const std::string& text, const std::string& also_user);
    void log(const std::string& what) const;

    int id_;
    ServerState& server_;
    Wire wire_;
    bool prelogin_seen_ = false;
    bool logged_in_ = false;
    std::uint32_t tds_ = kTds71; // agreed at login
};

} // namespace standin
