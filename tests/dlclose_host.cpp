// A host that loads the shared library with dlopen and unloads it with
// dlclose, as an interpreter or a plug-in host does. A call whose name
// lookup stalls gives up at its limit and leaves the lookup running; the
// library must stay mapped after dlclose until the process ends, or the
// lookup would return into unmapped code. A call that started no lookup
// leaves nothing behind: dlclose unmaps the library.
//
// Usage: dlclose_host LIBRARY (as root in private network and mount
// namespaces, which tests/netns-run.sh gives).
#include "system_files.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using SendMail = int (*)(const char *, const char *, const char *, const char *, const char *, const char *,
                         const char *, const char *, const char *, const char *, const char *, const char *,
                         const char *, const char *, const char *, const char *);

bool mapped(const std::string &library)
{
    std::ifstream maps("/proc/self/maps");
    return std::string(std::istreambuf_iterator<char>(maps), {}).find(library) != std::string::npos;
}

std::size_t threads()
{
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

// Loads the library, sends to `host` and unloads it; the call's result.
int send_once(const std::string &library, const char *host)
{
    void *handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "dlopen: %s\n", dlerror());
        return -1;
    }
    const auto send_mail = reinterpret_cast<SendMail>(dlsym(handle, "lsmtp_send_mail"));
    const int result = send_mail == nullptr ? -1
                                            : send_mail(host, "s", "b", "a@example.test", nullptr, "b@example.test",
                                                        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                        nullptr, nullptr, nullptr, nullptr);
    dlclose(handle);
    return result;
}

// Answers a waiting query "no such name": the query itself, flagged as the
// answer.
void refuse_query(int server)
{
    unsigned char query[512];
    sockaddr_in from{};
    socklen_t from_length = sizeof from;
    const long got = recvfrom(server, query, sizeof query, 0, reinterpret_cast<sockaddr *>(&from), &from_length);
    if (got < 12)
        return;
    query[2] |= 0x80;                                  // a response
    query[3] = static_cast<unsigned char>(0x80 | 3);   // recursion available; no such name
    sendto(server, query, static_cast<std::size_t>(got), 0, reinterpret_cast<const sockaddr *>(&from), from_length);
}

int run(const std::string &library, int name_server)
{
    // A numeric host starts no lookup: nothing keeps the library.
    const int refused = send_once(library, "127.0.0.1");
    if (refused != 700 || mapped(library)) {
        std::fprintf(stderr, "numeric host: result %d, mapped after dlclose: %d\n", refused, mapped(library));
        return 1;
    }
    // The call gives up on the silent name server at its 15 s limit.
    const std::size_t host_threads = threads();  // a sanitizer's own included
    const int stalled = send_once(library, "mail.silent.test");
    const std::size_t workers = threads() - host_threads;
    if (stalled != 700 || workers != 1 || !mapped(library)) {
        std::fprintf(stderr, "stalled lookup: result %d, workers %zu, mapped after dlclose: %d\n", stalled, workers,
                     mapped(library));
        return 2;
    }
    // Now let the abandoned lookup return into the library, and see the
    // process through the worker's end.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (threads() > host_threads) {
        if (std::chrono::steady_clock::now() > give_up) {
            std::fprintf(stderr, "the lookup worker never ended\n");
            return 3;
        }
        pollfd waiting{name_server, POLLIN, 0};
        if (poll(&waiting, 1, 20) > 0)
            refuse_query(name_server);
    }
    std::fprintf(stderr, "survived the worker's return; library still mapped: %d\n", mapped(library));
    return mapped(library) ? 0 : 4;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 64;
    }
    char *library = realpath(argv[1], nullptr);
    if (library == nullptr)
        return 66;
    const int name_server = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(name_server, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        std::perror("bind 127.0.0.1:53");
        return 1;
    }
    // glibc's resolver alone would wait two rounds of 30 s.
    const std::optional<int> result = lsmtp::test::run_with_system_files(
        {{"/etc/resolv.conf", "nameserver 127.0.0.1\noptions timeout:30 attempts:2\n"}},
        [&] { return run(library, name_server); });
    std::free(library);
    if (!result)
        std::fprintf(stderr, "the namespace could not be set up\n");
    return result.value_or(70);
}
