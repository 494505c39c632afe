#include "platform/linux/x11/server_probe.h"

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace nuvra::x11 {

namespace {

// How long a local X server may take to answer the start of a
// connection. A live one answers in well under a millisecond.
constexpr std::chrono::milliseconds kServerAnswer{300};

// The display number of a local display name (":0", ":1.0", "unix:2");
// nothing for a display on another host, which is not probed.
std::optional<int> localDisplayNumber(std::string_view name) {
    auto colon = name.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view host = name.substr(0, colon);
    if (!host.empty() && host != "unix") return std::nullopt;
    int number = 0;
    size_t i = colon + 1;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
        number = number * 10 + (name[i] - '0');
        if (number > 65535) return std::nullopt;
    }
    if (i == colon + 1 || (i < name.size() && name[i] != '.')) return std::nullopt;
    return number;
}

// Whether what listens on `path` (a leading NUL: an abstract socket)
// answers the start of an X connection within `budget`; nothing when
// nothing listens there. Nothing is read: any answer, or the server
// closing, is an answer.
std::optional<bool> answersOn(const std::string& path, std::chrono::milliseconds budget) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return std::nullopt;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        // A full backlog (EAGAIN) means a server that does not accept.
        bool listening = errno == EAGAIN;
        close(fd);
        return listening ? std::optional<bool>(false) : std::nullopt;
    }
    bool answered = false;
    // Connection set-up, little-endian, protocol 11.0, no authorisation.
    const unsigned char setup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    if (send(fd, setup, sizeof setup, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof setup)) {
        pollfd waiting{fd, POLLIN, 0};
        const auto deadline = std::chrono::steady_clock::now() + budget;
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            int ready = poll(&waiting, 1, static_cast<int>(left.count()));
            if (ready > 0) {
                answered = true;
                break;
            }
            if (ready < 0 && errno != EINTR) break;
        }
    }
    close(fd);
    return answered;
}

}  // namespace

bool serverAnswers(std::string_view name) {
    auto number = localDisplayNumber(name);
    if (!number) return true;
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(*number);
    // XCB tries the abstract socket first, then the file; where neither
    // listens, XCB finds that out itself at once.
    if (auto abstract = answersOn(std::string(1, '\0') + path, kServerAnswer)) return *abstract;
    return answersOn(path, kServerAnswer).value_or(true);
}

}  // namespace nuvra::x11
