#include "server.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <list>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace standin {

namespace {

int g_wake[2] = {-1, -1};

extern "C" void on_signal(int) {
    const char c = 's';
    [[maybe_unused]] const ssize_t n = ::write(g_wake[1], &c, 1);
}

struct Connection {
    int fd;
    std::thread thread;
    std::atomic<bool> finished{false};
};

} // namespace

int serve(int port, ServerState& state) {
    if (::pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::cerr << "standin: pipe: " << std::strerror(errno) << std::endl;
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    const int lfd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t len = sizeof addr;
    if (lfd < 0 || ::bind(lfd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(lfd, 64) != 0 ||
        ::getsockname(lfd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        std::cerr << "standin: cannot listen on 127.0.0.1:" << port << ": " << std::strerror(errno)
                  << std::endl;
        return 1;
    }
    std::cout << "listening on 127.0.0.1:" << ntohs(addr.sin_port) << std::endl;

    std::list<Connection> conns;
    int next_id = 1;
    auto reap = [&](bool all) {
        for (auto it = conns.begin(); it != conns.end();) {
            if (all || it->finished) {
                it->thread.join();
                ::close(it->fd);
                it = conns.erase(it);
            } else {
                ++it;
            }
        }
    };
    for (;;) {
        pollfd fds[2] = {{lfd, POLLIN, 0}, {g_wake[0], POLLIN, 0}};
        if (::poll(fds, 2, 1000) < 0 && errno != EINTR)
            break;
        reap(false);
        if (fds[1].revents & POLLIN)
            break;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(lfd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Connection& c = conns.emplace_back();
        c.fd = fd;
        const int id = next_id++;
        c.thread = std::thread([&state, &c, fd, id] {
            Session(fd, id, state).run();
            ::shutdown(fd, SHUT_RDWR);
            c.finished = true;
        });
    }
    std::cerr << "standin: stopping" << std::endl;
    state.stopping = true;
    ::close(lfd);
    for (Connection& c : conns)
        ::shutdown(c.fd, SHUT_RDWR);
    reap(true);
    return 0;
}

} // namespace standin
