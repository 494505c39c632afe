// The X display, spoken to through XCB so that every reply is awaited with a
// time-out: a server that stops answering in the middle of a run costs the
// run one time-out, after which it is gone for the rest of the run.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/limits.h"

struct xcb_connection_t;
struct xcb_extension_t;

namespace nuvra::x11 {

// A connection to the display's server, and what the run learnt of it.
struct Connection {
    xcb_connection_t* xcb = nullptr;
    uint32_t root = 0;
    // The root window's size: the screen, every monitor of it included.
    uint16_t rootWidth = 0;
    uint16_t rootHeight = 0;
    // The server missed a reply (or the connection broke): nothing more is
    // asked of it in this run.
    bool gone = false;
    std::map<std::string, uint32_t> atoms;  // 0: the server has no such atom
    std::set<uint8_t> heldButtons;          // pressed by this run, not yet released
};

// The display named by $DISPLAY, opened on first use and closed with its
// owner. Buttons the run left pressed are released on closing.
class DisplayConnection {
public:
    DisplayConnection() = default;
    ~DisplayConnection();
    DisplayConnection(const DisplayConnection&) = delete;
    DisplayConnection& operator=(const DisplayConnection&) = delete;

    // Null when there is no display, or no more; the attempt is made once.
    Connection* get();
    // Whether get() ever opened the display (it may be gone since).
    bool opened() const { return connection_.has_value(); }

private:
    std::optional<Connection> connection_;
    bool tried_ = false;
};

// The reply to the request numbered `sequence` (malloc'd, the caller frees
// it), or null: the request failed, or the server did not answer in time,
// which marks it gone.
void* awaitReply(Connection& c, unsigned int sequence);

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, FreeDeleter>;

// The typed reply to a request's cookie, awaited as above.
template <typename Reply, typename Cookie>
ReplyPtr<Reply> replyTo(Connection& c, Cookie cookie) {
    return ReplyPtr<Reply>(static_cast<Reply*>(awaitReply(c, cookie.sequence)));
}

// One round trip: true once the server has processed every request sent
// before it.
bool sync(Connection& c);

// Whether the server offers an extension. Once this has answered, sending
// the extension's requests asks the server nothing more.
bool hasExtension(Connection& c, xcb_extension_t* extension);

// A window's text property (format 8), its process (_NET_WM_PID), and
// whether it carries a property at all.
std::optional<std::string> stringProperty(Connection& c, uint32_t window, const char* name);
std::optional<int32_t> windowPid(Connection& c, uint32_t window);
bool hasProperty(Connection& c, uint32_t window, const char* name);

// A window's property of 32-bit items (CARDINAL, WINDOW, ATOM), in order;
// empty when absent or of another format.
std::vector<uint32_t> wordsProperty(Connection& c, uint32_t window, const char* name);
// The server's atom for `name` (made if it has none yet); 0 when it did not answer.
uint32_t atomOf(Connection& c, const char* name);

// A non-empty string property of the root window (AT_SPI_BUS), or nothing;
// nothing also without a display.
std::optional<std::string> rootStringProperty(Connection* c, const char* name);

}  // namespace nuvra::x11
