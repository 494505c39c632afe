#include "platform/linux/atspi/link.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace nuvra::atspi {

namespace {

// Errors after which the peer is not asked again in this run: it did not
// answer in time, or (when someone other than the peer says so) it is gone
// from the bus. The same error from the peer itself is its answer: the bus
// daemon asked for the process of a name that has just gone answers
// NameHasNoOwner, and is not gone for that.
constexpr std::array<std::string_view, 3> kNoAnswer{
    "org.freedesktop.DBus.Error.NoReply", "org.freedesktop.DBus.Error.Timeout",
    "org.freedesktop.DBus.Error.TimedOut"};
constexpr std::array<std::string_view, 3> kGone{
    "org.freedesktop.DBus.Error.ServiceUnknown", "org.freedesktop.DBus.Error.NameHasNoOwner",
    "org.freedesktop.DBus.Error.Disconnected"};

bool among(std::string_view name, const auto& names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

bool BusLink::connect(const std::string& address, dbus::Clock::time_point deadline) {
    address_ = address;
    // A bus tried before and given up on is kept, as a dropped one is.
    if (bus_ != nullptr) dropped_.push_back(std::move(bus_));
    bus_ = dbus::Connection::open(address, true, deadline);
    return connected();
}

void BusLink::rejoin() {
    if (bus_ == nullptr || !bus_->broken() || rejoins_ >= kBusRejoins) return;
    ++rejoins_;
    auto deadline = dbus::Clock::now() + kCallTimeout;
    if (deadline_) deadline = std::min(deadline, *deadline_);
    auto again = dbus::Connection::open(address_, true, deadline);
    if (again == nullptr) return;
    dropped_.push_back(std::move(bus_));
    bus_ = std::move(again);
}

bool BusLink::connectDirect(const std::string& bus) {
    auto known = direct_.find(bus);
    if (known != direct_.end()) return known->second != nullptr;
    direct_[bus] = nullptr;
    Request request;
    request.bus = bus;
    request.path = kRootPath;
    request.interface = "org.a11y.atspi.Application";
    request.method = "GetApplicationBusAddress";
    request.replySignature = "s";
    Reply reply = call(request);
    if (!reply) return false;
    dbus::BodyReader body(*reply);
    std::string_view address;
    if (!body.string(address) || address.empty()) return false;
    // An application that takes the connection and never answers on it
    // has stopped answering: it costs this one wait, not one more on the
    // bus. A socket that takes nothing says nothing about the application.
    bool silent = false;
    auto connection =
        dbus::Connection::open(std::string(address), false, dbus::Clock::now() + kCallTimeout, &silent);
    if (silent) unresponsive_.insert(bus);
    if (!connection) return false;
    direct_[bus] = std::move(connection);
    return true;
}

bool BusLink::isDirect(const std::string& bus) const {
    auto known = direct_.find(bus);
    return known != direct_.end() && known->second != nullptr && !known->second->broken();
}

dbus::Connection* BusLink::route(const std::string& bus, std::string& destination) {
    auto known = direct_.find(bus);
    if (known != direct_.end() && known->second != nullptr && !known->second->broken()) {
        destination.clear();
        return known->second.get();
    }
    destination = bus;
    return bus_.get();
}

void BusLink::charge(const std::string& bus, dbus::Clock::duration waited,
                     std::chrono::milliseconds timeout, int answers) {
    // A request given longer than usual (a whole application's snapshot) is
    // bounded by its own time-out, and counts against the total alone. A
    // wait that brought the answers to many pipelined calls is late only
    // if each answer took long.
    if (waited / answers > kPromptReply && timeout <= kCallTimeout) late_[bus] += waited;
    waited_[bus] += waited;
    if (late_[bus] >= kCallTimeout || waited_[bus] >= kAppBudget) unresponsive_.insert(bus);
}

Reply BusLink::finish(const Request& request, dbus::Connection* via,
                      std::optional<uint32_t> handle, std::chrono::milliseconds timeout,
                      std::optional<dbus::Clock::time_point> notAfter, bool& answered) {
    answered = false;
    if (!handle) return {};
    // A peer found hung while this call waited behind it is not waited
    // for a second time.
    if (unresponsive(request.bus)) {
        via->abandon(*handle);
        return {};
    }
    dbus::Clock::duration waited;
    auto reply = via->reply(*handle, waited, notAfter);
    charge(request.bus, waited, timeout, std::max(via->answersInLastWait(), 1));
    for (const auto& [sender, took] : via->takeUnaskedTime())
        charge(sender.empty() ? request.bus : sender, took, kCallTimeout);
    if (!reply) return {};
    if (reply->isError()) {
        // A socket that closed says nothing about the application: the bus
        // daemon gone means nothing more can be asked, and the
        // application's own socket closed leaves the bus to carry its
        // requests, where a vanished application shows as such. A bus that
        // answers when joined again was dropped by this side, for a message
        // too big to read: the call went unanswered.
        if (via->broken()) {
            const bool onBus = via == bus_.get() ||
                               std::any_of(dropped_.begin(), dropped_.end(),
                                           [via](const auto& old) { return old.get() == via; });
            if (!onBus) return {};
            rejoin();
            if (connected()) unresponsive_.insert(request.bus);
            return {};
        }
        const char* sender = dbus_message_get_sender(reply->get());
        const bool gone =
            among(reply->errorName(), kGone) && (sender == nullptr || request.bus != sender);
        const bool noAnswer = among(reply->errorName(), kNoAnswer);
        if (noAnswer && deadline_ && dbus::Clock::now() >= *deadline_) cutShort_ = true;
        if (gone) gone_.insert(request.bus);
        if (gone || noAnswer) unresponsive_.insert(request.bus);
        answered = !gone && !noAnswer;
        return {};
    }
    answered = true;
    if (!reply->isReturn() || !reply->hasSignature(request.replySignature)) return {};
    return reply;
}

Reply BusLink::call(const Request& request, std::chrono::milliseconds timeout) {
    std::vector<Reply> replies = callAll(std::vector<Request>{request}, timeout);
    return std::move(replies.front());
}

std::vector<Reply> BusLink::callAll(const std::vector<Request>& requests,
                                    std::chrono::milliseconds timeout) {
    Sent sent = send(requests, timeout);
    return collect(requests, sent);
}

BusLink::Sent BusLink::send(const std::vector<Request>& requests,
                            std::chrono::milliseconds timeout) {
    // Past the deadline no call waits, a long list's no more than another.
    auto cut = [&](std::chrono::milliseconds wanted) {
        if (!deadline_) return wanted;
        // Rounded up, so that a call the deadline cut ends at it, not just
        // before, and reads as cut short.
        auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - dbus::Clock::now());
        return std::clamp(left, std::chrono::milliseconds(1), wanted);
    };
    timeout = cut(timeout);
    Sent sent;
    sent.timeouts_.assign(requests.size(), timeout);
    sent.via_.assign(requests.size(), nullptr);
    sent.handles_.resize(requests.size());
    rejoin();
    if (!connected()) return sent;
    std::string destination;
    std::set<dbus::Connection*> used;
    for (size_t i = 0; i < requests.size(); ++i) {
        const Request& r = requests[i];
        if (r.bus.empty() || unresponsive(r.bus)) continue;
        sent.via_[i] = route(r.bus, destination);
        sent.timeouts_[i] = r.timeout > timeout ? cut(r.timeout) : timeout;
        sent.handles_[i] = sent.via_[i]->send(
            dbus::MethodCall{destination, r.path, r.interface, r.method, &r.body, r.activate},
            sent.timeouts_[i]);
        used.insert(sent.via_[i]);
    }
    for (auto* connection : used) connection->push();
    return sent;
}

std::vector<Reply> BusLink::collect(const std::vector<Request>& requests, Sent& sent) {
    return collect(requests, sent, std::nullopt);
}

std::vector<Reply> BusLink::collect(const std::vector<Request>& requests, Sent& sent,
                                    std::optional<dbus::Clock::time_point> until) {
    std::vector<Reply> replies(requests.size());
    sent.answered_.assign(requests.size(), false);
    // Applications that have answered a call of this batch: one that has
    // just answered and then goes quiet is at work on what it was asked.
    std::set<std::string> answering;
    for (size_t i = 0; i < requests.size() && i < sent.via_.size(); ++i) {
        if (sent.via_[i] == nullptr) continue;
        // A long list is given its longer time only by an application known
        // to be answering; a hung one costs one ordinary time-out.
        auto notAfter = until;
        if (sent.timeouts_[i] > kCallTimeout && answering.count(requests[i].bus) == 0) {
            const auto ordinary = dbus::Clock::now() + kCallTimeout;
            notAfter = notAfter ? std::min(*notAfter, ordinary) : ordinary;
        }
        bool answered = false;
        replies[i] = finish(requests[i], sent.via_[i], sent.handles_[i], sent.timeouts_[i], notAfter,
                            answered);
        sent.answered_[i] = answered;
        if (replies[i]) answering.insert(requests[i].bus);
        sent.via_[i] = nullptr;
    }
    return replies;
}

bool BusLink::arrived(const Sent& sent) const {
    for (size_t i = 0; i < sent.via_.size(); ++i)
        if (sent.via_[i] != nullptr && sent.handles_[i] && !sent.via_[i]->arrived(*sent.handles_[i]))
            return false;
    return true;
}

dbus::Clock::duration BusLink::await(const std::vector<const Sent*>& pending,
                                     dbus::Clock::time_point until) {
    std::set<dbus::Connection*> waiting;
    for (const Sent* sent : pending)
        for (size_t i = 0; i < sent->via_.size(); ++i)
            if (sent->via_[i] != nullptr && sent->handles_[i] && !sent->via_[i]->arrived(*sent->handles_[i]))
                waiting.insert(sent->via_[i]);
    if (waiting.empty()) return {};
    // One connection (the bus, in practice) is waited on; several are
    // looked at in turns.
    if (waiting.size() == 1) return (*waiting.begin())->await(until);
    const auto slice = std::min(until, dbus::Clock::now() + std::chrono::milliseconds(1));
    dbus::Clock::duration unasked{};
    for (auto* connection : waiting) unasked += connection->await(slice);
    return unasked;
}

void BusLink::Sent::cancel() {
    for (size_t i = 0; i < via_.size(); ++i)
        if (via_[i] != nullptr && handles_[i]) via_[i]->abandon(*handles_[i]);
    via_.clear();
    handles_.clear();
    timeouts_.clear();
    answered_.clear();
}

void BusLink::Sent::take(Sent& other) {
    via_ = std::move(other.via_);
    handles_ = std::move(other.handles_);
    timeouts_ = std::move(other.timeouts_);
    answered_ = std::move(other.answered_);
    other.via_.clear();
    other.handles_.clear();
    other.timeouts_.clear();
    other.answered_.clear();
}

}  // namespace nuvra::atspi
