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
    bus_ = dbus::Connection::open(address, true, deadline);
    return connected();
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
                      std::optional<uint32_t> handle, std::chrono::milliseconds timeout) {
    if (!handle) return {};
    // A peer found hung while this call waited behind it is not waited
    // for a second time.
    if (unresponsive(request.bus)) {
        via->abandon(*handle);
        return {};
    }
    dbus::Clock::duration waited;
    auto reply = via->reply(*handle, waited);
    charge(request.bus, waited, timeout, std::max(via->answersInLastWait(), 1));
    for (const auto& [sender, took] : via->takeUnaskedTime())
        charge(sender.empty() ? request.bus : sender, took, kCallTimeout);
    if (!reply) return {};
    if (reply->isError()) {
        // A socket that closed says nothing about the application: the bus
        // daemon gone means nothing more can be asked, and the
        // application's own socket closed leaves the bus to carry its
        // requests, where a vanished application shows as such.
        if (via->broken()) return {};
        const char* sender = dbus_message_get_sender(reply->get());
        if (among(reply->errorName(), kNoAnswer) && deadline_ && dbus::Clock::now() >= *deadline_)
            cutShort_ = true;
        if (among(reply->errorName(), kNoAnswer) ||
            (among(reply->errorName(), kGone) && (sender == nullptr || request.bus != sender)))
            unresponsive_.insert(request.bus);
        return {};
    }
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
    if (deadline_) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline_ - dbus::Clock::now());
        timeout = std::clamp(left, std::chrono::milliseconds(1), timeout);
    }
    Sent sent;
    sent.timeout = timeout;
    sent.via.assign(requests.size(), nullptr);
    sent.handles.resize(requests.size());
    if (!connected()) return sent;
    std::string destination;
    std::set<dbus::Connection*> used;
    for (size_t i = 0; i < requests.size(); ++i) {
        const Request& r = requests[i];
        if (r.bus.empty() || unresponsive(r.bus)) continue;
        sent.via[i] = route(r.bus, destination);
        sent.handles[i] = sent.via[i]->send(
            dbus::MethodCall{destination, r.path, r.interface, r.method, &r.body, r.activate}, timeout);
        used.insert(sent.via[i]);
    }
    for (auto* connection : used) connection->push();
    return sent;
}

std::vector<Reply> BusLink::collect(const std::vector<Request>& requests, Sent& sent) {
    std::vector<Reply> replies(requests.size());
    for (size_t i = 0; i < requests.size() && i < sent.via.size(); ++i) {
        if (sent.via[i] == nullptr) continue;
        replies[i] = finish(requests[i], sent.via[i], sent.handles[i], sent.timeout);
        sent.via[i] = nullptr;
    }
    return replies;
}

void BusLink::drop(Sent& sent) {
    for (size_t i = 0; i < sent.via.size(); ++i)
        if (sent.via[i] != nullptr && sent.handles[i]) sent.via[i]->abandon(*sent.handles[i]);
    sent = Sent{};
}

}  // namespace nuvra::atspi
