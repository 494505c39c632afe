#include "platform/linux/reply_cache.h"

#include "platform/linux/x11/client_pids.h"

namespace nuvra::atspi {

void ElementBurst::gather(const ObjectRef& object, std::optional<uint32_t>& role,
                          bool withChildren) {
    Burst& b = burstFor(object);
    if (b.gathered) return;
    b.gathered = true;
    if (auto ahead = takeAhead(object)) {
        if (!role) role = ahead->role;
        b.name = std::move(ahead->name);
        b.states = ahead->states;
        b.extents = ahead->extents;
        if (ahead->children) b.children = std::move(ahead->children);
        b.started = dbus::Clock::now();
        return;
    }
    std::vector<Request> requests;
    const bool roleKnown = role.has_value();
    if (!roleKnown) requests.push_back(roleRequest(object));
    requests.push_back(nameRequest(object));
    requests.push_back(stateRequest(object));
    requests.push_back(extentsRequest(object));
    if (withChildren) requests.push_back(childrenRequest(object));
    auto replies = link_.callAll(requests);
    size_t i = 0;
    if (!roleKnown) {
        if (auto read = roleFrom(replies[i])) role = *read;
        ++i;
    }
    b.name = nameFrom(replies[i++]);
    b.states = statesFrom(replies[i++]);
    b.extents = extentsFrom(replies[i++]);
    if (withChildren) b.children = childrenFrom(replies[i++]);
    b.started = dbus::Clock::now();
}

std::optional<StateSet> ElementBurst::states(const ObjectRef& object) {
    Burst& b = burstFor(object);
    if (!b.states) b.states = getState(link_, object);
    return *b.states;
}

std::optional<Extents> ElementBurst::extents(const ObjectRef& object) {
    Burst& b = burstFor(object);
    if (!b.extents) b.extents = getExtents(link_, object);
    return *b.extents;
}

std::optional<std::string> ElementBurst::name(const ObjectRef& object) {
    Burst& b = burstFor(object);
    if (!b.name) b.name = getName(link_, object);
    return *b.name;
}

std::optional<std::string> ElementBurst::description(const ObjectRef& object) {
    Burst& b = burstFor(object);
    if (!b.description) b.description = getDescription(link_, object);
    return *b.description;
}

std::optional<std::vector<ObjectRef>> ElementBurst::children(const ObjectRef& object) {
    Burst& b = burstFor(object);
    if (b.children) {
        auto children = std::move(*b.children);
        b.children.reset();
        return children;
    }
    return getChildren(link_, object);
}

void ElementBurst::readAhead(const std::vector<ObjectRef>& objects, size_t limit) {
    // What is already in comes in first, so the stretch in flight stays
    // short and the application is never idle.
    while (waiting_.size() >= kAheadInFlight && !inFlight_.empty()) {
        collectAhead(inFlight_.front());
        inFlight_.pop_front();
    }
    AheadBatch batch;
    for (const auto& object : objects) {
        if (readAheadCount_ >= limit || waiting_.size() >= kAheadInFlight) break;
        const std::string key = keyOf(object);
        if (isNullRef(object) || ready_.count(key) != 0 || !waiting_.insert(key).second) continue;
        ++readAheadCount_;
        batch.objects.push_back(object);
        for (auto* request : {roleRequest, nameRequest, stateRequest, extentsRequest, childrenRequest})
            batch.requests.push_back(request(object));
    }
    if (batch.objects.empty()) return;
    batch.sent = link_.send(batch.requests);
    inFlight_.push_back(std::move(batch));
}

const std::vector<ObjectRef>* ElementBurst::gatheredChildren(const ObjectRef& object) const {
    if (!sameObject(burst_.object, object) || !burst_.children || !*burst_.children) return nullptr;
    return &**burst_.children;
}

std::optional<std::optional<std::string>> ElementBurst::textAhead(const ObjectRef& object) {
    const std::string key = keyOf(object);
    while (texts_.count(key) == 0 && textsWaiting_.count(key) != 0 && !textsInFlight_.empty()) {
        TextBatch batch = std::move(textsInFlight_.front());
        textsInFlight_.pop_front();
        auto replies = link_.collect(batch.requests, batch.sent);
        for (size_t i = 0; i < batch.keys.size(); ++i) {
            textsWaiting_.erase(batch.keys[i]);
            texts_[batch.keys[i]] = textFrom(replies[i]);
        }
        for (size_t i = 0; i < batch.childKeys.size(); ++i)
            childRoles_[batch.childKeys[i]] = roleFrom(replies[batch.keys.size() + i]);
    }
    auto found = texts_.find(key);
    if (found == texts_.end()) return std::nullopt;
    auto text = std::move(found->second);
    texts_.erase(found);
    return text;
}

std::optional<std::optional<std::string>> ElementBurst::peekText(const ObjectRef& object) {
    auto text = textAhead(object);
    if (text) texts_[keyOf(object)] = *text;
    return text;
}

std::optional<uint32_t> ElementBurst::roleAhead(const ObjectRef& object) {
    const std::string key = keyOf(object);
    if (auto known = childRoles_.find(key); known != childRoles_.end()) return known->second;
    collectUpTo(key);
    auto found = ready_.find(key);
    return found == ready_.end() ? std::nullopt : found->second.role;
}

// Batches are collected in the order they went out, up to the one holding
// `key`.
void ElementBurst::collectUpTo(const std::string& key) {
    while (ready_.count(key) == 0 && waiting_.count(key) != 0 && !inFlight_.empty()) {
        AheadBatch batch = std::move(inFlight_.front());
        inFlight_.pop_front();
        collectAhead(batch);
    }
}

std::optional<ElementBurst::Ahead> ElementBurst::takeAhead(const ObjectRef& object) {
    const std::string key = keyOf(object);
    collectUpTo(key);
    auto found = ready_.find(key);
    if (found == ready_.end()) return std::nullopt;
    Ahead ahead = std::move(found->second);
    ready_.erase(found);
    return ahead;
}

// The texts follow in a second stretch: a field's only once its role,
// read in the first, said it is not password text.
void ElementBurst::collectAhead(AheadBatch& batch) {
    auto replies = link_.collect(batch.requests, batch.sent);
    TextBatch texts;
    for (size_t k = 0; k < batch.objects.size(); ++k) {
        const std::string key = keyOf(batch.objects[k]);
        waiting_.erase(key);
        const Reply* r = &replies[k * 5];
        Ahead& ahead = ready_[key];
        ahead.role = roleFrom(r[0]);
        ahead.name = nameFrom(r[1]);
        ahead.states = statesFrom(r[2]);
        ahead.extents = extentsFrom(r[3]);
        ahead.children = childrenFrom(r[4]);
        // A long list is read again when the walk comes to it, rather
        // than kept for every element read ahead.
        if (ahead.children && ahead.children->size() > kAheadChildren) ahead.children.reset();
        auto entry = ahead.role ? roleEntry(*ahead.role) : std::nullopt;
        // A label without a name shows its text (Gecko's strong and em,
        // LibreOffice's status bar).
        const bool namelessLabel = entry && entry->value == ValueSource::Name &&
                                   (!ahead.name || ahead.name->empty());
        if (entry && (entry->value == ValueSource::RunningText ||
                      entry->value == ValueSource::TextContents || namelessLabel)) {
            texts.requests.push_back(textRequest(batch.objects[k]));
            texts.keys.push_back(key);
            textsWaiting_.insert(key);
            if (ahead.children && ahead.children->size() <= kChildRolesPerText)
                for (const auto& child : *ahead.children) texts.childKeys.push_back(keyOf(child));
        }
    }
    for (const auto& key : texts.childKeys) {
        const size_t cut = key.find('\n');
        texts.requests.push_back(roleRequest(ObjectRef{key.substr(0, cut), key.substr(cut + 1)}));
    }
    // Collected only when the walk asks: waiting for them now would wait
    // for everything sent ahead of them.
    if (texts.keys.empty()) return;
    texts.sent = link_.send(texts.requests);
    textsInFlight_.push_back(std::move(texts));
}

void ElementBurst::clear() {
    burst_ = Burst{};
    for (auto& batch : inFlight_) link_.drop(batch.sent);
    inFlight_.clear();
    for (auto& batch : textsInFlight_) link_.drop(batch.sent);
    textsInFlight_.clear();
    textsWaiting_.clear();
    waiting_.clear();
    ready_.clear();
    texts_.clear();
    childRoles_.clear();
    readAheadCount_ = 0;
}

ElementBurst::Burst& ElementBurst::burstFor(const ObjectRef& object) {
    auto now = dbus::Clock::now();
    const bool same = sameObject(burst_.object, object);
    if (!same || now - burst_.started > kLifetime) {
        // The child list gathered with the element still serves the walk's
        // one read of it, however long the element's other reads took: a
        // long list takes long to go through, and would cost as much again.
        auto children = same ? std::move(burst_.children) : std::nullopt;
        burst_ = Burst{};
        burst_.object = object;
        burst_.started = now;
        burst_.children = std::move(children);
    }
    return burst_;
}

const Toolkit& ScreenCoordinates::toolkit(const std::string& bus) {
    auto known = known_.find(bus);
    if (known == known_.end()) known = known_.emplace(bus, getToolkit(link_, bus)).first;
    return known->second;
}

bool ScreenCoordinates::nativeWayland(const std::string& bus) {
    if (!wayland_) wayland_ = x11::waylandDisplayPresent();
    if (!*wayland_) return false;
    auto known = native_.find(bus);
    if (known != native_.end()) return known->second;
    if (!xOwners_) xOwners_ = x11::windowOwnerPids(display_.get());
    // A server that cannot tell who made its windows (no X-Resource;
    // XWayland always has it) leaves each application at its word. A
    // process the bus cannot name cannot be shown to own a window.
    bool native = false;
    if (*xOwners_) {
        auto pid = connectionPid(link_, bus);
        native = !pid || (*xOwners_)->count(*pid) == 0;
    }
    return native_.emplace(bus, native).first->second;
}

}  // namespace nuvra::atspi
