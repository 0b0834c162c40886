#include "batch_log.hpp"
#include "catalogue.hpp"
#include "drives.hpp"
#include "edition.hpp"
#include "faults.hpp"
#include "make_backup.hpp"
#include "server.hpp"

#include <charconv>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

namespace {

int usage() {
    std::cerr
        << "usage: standin --port N --root DIR --login NAME:PASSWORD [--login ...]\n"
           "               [--log FILE] [--fault RULE ...] [--drive "
           "D=FOLDER|\\\\\\\\SERVER\\\\SHARE=FOLDER ...]\n"
           "               [--version 2000|2005|2008|2008R2|2012|2014|2016|2017|2019|2022]\n"
           "               [--edition Express|Standard|Enterprise]\n"
           "       standin make-backup OUT.bak --db NAME --file D:LOGICAL:SIZE "
           "--file L:LOGICAL:SIZE [--file F:...] [--version V]\n"
           "fault rules: delay:KIND:MS  drop:KIND  error:KIND:NUMBER:TEXT  rate:BYTES_PER_SEC\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    using namespace standin;
    if (argc >= 2 && std::string_view(argv[1]) == "make-backup")
        return make_backup_main(argc - 2, argv + 2);

    int port = -1;
    std::string root, log_path;
    std::map<std::string, std::string> logins;
    Faults faults;
    Drives drives;
    const ServerVersion* version = &sql2000();
    std::optional<Edition> edition = Edition::Enterprise;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (i + 1 >= argc)
            return usage();
        const std::string v = argv[++i];
        if (a == "--port") {
            const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), port);
            if (ec != std::errc() || p != v.data() + v.size() || port < 0 || port > 65535)
                return usage();
        } else if (a == "--root") {
            root = v;
        } else if (a == "--login") {
            const std::size_t colon = v.find(':');
            if (colon == std::string::npos || colon == 0)
                return usage();
            logins[v.substr(0, colon)] = v.substr(colon + 1);
        } else if (a == "--log") {
            log_path = v;
        } else if (a == "--drive") {
            if (!drives.add(v))
                return usage();
        } else if (a == "--version") {
            version = version_named(v);
            if (!version)
                return usage();
        } else if (a == "--edition") {
            edition = edition_named(v);
            if (!edition)
                return usage();
        } else if (a == "--fault") {
            std::string why;
            auto f = parse_fault(v, why);
            if (!f) {
                std::cerr << "standin: bad --fault '" << v << "': " << why << "\n";
                return 2;
            }
            faults.add(*f);
        } else {
            return usage();
        }
    }
    if (port < 0 || root.empty() || logins.empty())
        return usage();
    if (*edition == Edition::Express && version == &sql2000()) {
        std::cerr << "standin: SQL Server 2000 had no Express edition\n";
        return 2;
    }

    try {
        std::filesystem::create_directories(root);
        Catalogue catalogue(root, version->compatibility_level);
        BatchLog log(log_path);
        ServerState state{catalogue, faults, log, drives, *version, *edition, logins};
        return serve(port, state);
    } catch (const std::exception& e) {
        std::cerr << "standin: " << e.what() << std::endl;
        return 1;
    }
}
