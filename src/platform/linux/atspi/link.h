// The connection to the AT-SPI accessibility bus, and to applications
// directly.
//
// Why not libatspi: its blocking calls dispatch incoming signals
// re-entrantly, a handler inside it makes a nested blocking call, and a
// single-threaded client then waits on libdbus's dispatch lock forever.
// This link subscribes to no signal at all (no match rule is ever added, so
// the bus delivers nothing unasked, and whatever a peer sends unasked is
// dropped as it is read), every call carries its own time-out, and an
// application that once failed to answer is not asked again in this run.
//
// An application that offers its own socket (AT-SPI's
// GetApplicationBusAddress) is spoken to there, without the bus daemon
// relaying every message; its answers are the same.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/atspi/object_ref.h"
#include "platform/linux/dbus/connection.h"
#include "platform/linux/limits.h"

namespace nuvra::atspi {

// One method call on one object, and the type its reply must have.
struct Request {
    std::string bus;
    std::string path;
    const char* interface = "";
    const char* method = "";
    dbus::BodyWriter body;
    const char* replySignature = "";
    // Whether the bus may start the destination's program to answer; only
    // ever for the registry, which the accessibility bus starts on demand.
    bool activate = false;
    // How long this call may take when that is longer than its batch's.
    std::chrono::milliseconds timeout{0};
};

// A reply of the requested type, or nothing.
using Reply = std::optional<dbus::Message>;

class BusLink {
public:
    // Joins the message bus at `address`; false unless that completes
    // before `deadline`.
    bool connect(const std::string& address, dbus::Clock::time_point deadline);
    bool connected() const { return bus_ != nullptr && !bus_->broken(); }

    // From now on speaks to the application behind `bus` on its own socket,
    // when it offers one; false when it offers none (the bus carries its
    // requests as before). Asked once per application and run.
    bool connectDirect(const std::string& bus);
    bool isDirect(const std::string& bus) const;

    // One call and its reply, or nothing: not connected, the peer
    // unresponsive earlier in this run, an error reply, a reply of another
    // type, or no reply within `timeout`.
    Reply call(const Request& request, std::chrono::milliseconds timeout = kCallTimeout);

    // Several calls written together and answered in order, each as call()
    // would answer it: the application works through them without waiting
    // for this side between two of them.
    std::vector<Reply> callAll(const std::vector<Request>& requests,
                               std::chrono::milliseconds timeout = kCallTimeout);

    // callAll in two halves: the calls go out now, and their replies are
    // collected later, while this side does other work. The time-out of
    // each call counts from when collecting it begins. A batch neither
    // collected nor dropped gives its calls up when it goes: their replies
    // are read and discarded as they come, never kept.
    //
    // A batch points at the connections it went out on, which this link
    // owns and never closes before it is itself destroyed (one dropped by
    // libdbus stays in dropped_, a failed join too): a batch outlives no
    // connection as long as it does not outlive its link, which every
    // holder ensures by being declared after the link it was given.
    class Sent {
    public:
        Sent() = default;
        Sent(Sent&& other) noexcept { take(other); }
        Sent& operator=(Sent&& other) noexcept {
            if (this != &other) {
                cancel();
                take(other);
            }
            return *this;
        }
        ~Sent() { cancel(); }
        // Each call's time-out as sent: a deadline may have cut it.
        const std::vector<std::chrono::milliseconds>& timeouts() const { return timeouts_; }
        // Once collected: whether the peer answered call `i`, with a reply
        // or an error of its own. A call not sent, cut off or timed out got
        // no answer, which says nothing of what the peer holds.
        bool answered(size_t i) const { return i < answered_.size() && answered_[i]; }

    private:
        friend class BusLink;
        void cancel();
        void take(Sent& other);
        std::vector<dbus::Connection*> via_;
        std::vector<std::optional<uint32_t>> handles_;
        std::vector<std::chrono::milliseconds> timeouts_;
        std::vector<bool> answered_;
    };
    Sent send(const std::vector<Request>& requests,
              std::chrono::milliseconds timeout = kCallTimeout);
    std::vector<Reply> collect(const std::vector<Request>& requests, Sent& sent);
    // Gives the calls up now rather than when `sent` goes.
    void drop(Sent& sent) { sent = Sent{}; }

    // For asking many applications at once without waiting on the slowest:
    // whether collecting `sent` would wait for nothing, and a wait for the
    // next reply to any call, until `until` at most, which tells how long
    // went on reading what others sent unasked.
    bool arrived(const Sent& sent) const;
    dbus::Clock::duration await(const std::vector<const Sent*>& pending,
                                dbus::Clock::time_point until);
    // collect(), waiting for no reply past `until`: one not in by then
    // counts as unanswered, as on its own time-out.
    std::vector<Reply> collect(const std::vector<Request>& requests, Sent& sent,
                               std::optional<dbus::Clock::time_point> until);

    bool unresponsive(const std::string& bus) const { return unresponsive_.count(bus) != 0; }
    // Of those, the ones the bus says have left it: they did not hang, they
    // are no longer there.
    bool gone(const std::string& bus) const { return gone_.count(bus) != 0; }
    // Asks the application again after a request it did not answer in time,
    // for a caller that knows why the answer may be late.
    void forgive(const std::string& bus) {
        unresponsive_.erase(bus);
        late_.erase(bus);
    }
    // Asks every application again, as a new run would, its waits counted
    // afresh: for a command that looks at the desktop again and again.
    void forgiveAll() {
        unresponsive_.clear();
        late_.clear();
        waited_.clear();
    }
    // From now on no call waits for its reply past `deadline`: each call's
    // time-out is cut to what is left when it is sent.
    void setDeadline(dbus::Clock::time_point deadline) {
        deadline_ = deadline;
        cutShort_ = false;
    }
    // Whether, since setDeadline, a call went unanswered because the
    // deadline had come.
    bool cutShort() const { return cutShort_; }
    // A read the look cannot do without went unanswered (skipped for an
    // earlier silence, or timed out before the deadline): the look has a
    // hole all the same.
    void markCutShort() {
        if (deadline_) cutShort_ = true;
    }

private:
    dbus::Connection* route(const std::string& bus, std::string& destination);
    // The bus connection, joined again if it dropped and rejoins are left;
    // the dropped one is kept until the link goes, for calls sent on it.
    void rejoin();
    Reply finish(const Request& request, dbus::Connection* via, std::optional<uint32_t> handle,
                 std::chrono::milliseconds timeout,
                 std::optional<dbus::Clock::time_point> notAfter, bool& answered);
    // Counts a wait for `bus` against its budget.
    void charge(const std::string& bus, dbus::Clock::duration waited,
                std::chrono::milliseconds timeout, int answers = 1);

    std::unique_ptr<dbus::Connection> bus_;
    std::string address_;
    int rejoins_ = 0;
    std::vector<std::unique_ptr<dbus::Connection>> dropped_;
    // By application; null when it offered no socket of its own.
    std::map<std::string, std::unique_ptr<dbus::Connection>> direct_;
    std::set<std::string> unresponsive_;
    std::set<std::string> gone_;
    // Per application: the waits for its late replies, and for all of them.
    std::map<std::string, dbus::Clock::duration> late_;
    std::map<std::string, dbus::Clock::duration> waited_;
    std::optional<dbus::Clock::time_point> deadline_;
    bool cutShort_ = false;
};

}  // namespace nuvra::atspi
