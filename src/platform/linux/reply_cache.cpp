#include "platform/linux/reply_cache.h"

#include <algorithm>

#include <atspi/atspi-constants.h>

namespace nuvra::atspi {

void ElementBurst::gather(const ObjectRef& object, std::optional<uint32_t>& role) {
    Burst& b = burstFor(object);
    if (b.gathered) return;
    b.gathered = true;
    if (auto ahead = takeAhead(object)) {
        if (!role) role = ahead->role;
        b.name = std::move(ahead->name);
        b.states = ahead->states;
        b.extents = ahead->extents;
        b.childCount = ahead->childCount;
        b.started = dbus::Clock::now();
        return;
    }
    // The children are not asked for with the rest: how many there are,
    // and whether the object makes them on demand, decide whether they may
    // be asked for at all.
    FactBatch<size_t> batch;
    for (Fact fact : kElementFacts)
        if (fact != Fact::Role || !role) batch.ask(0, fact, object);
    auto replies = link_.callAll(batch.requests);
    ReadFacts read;
    for (size_t i = 0; i < replies.size(); ++i) takeFact(read, batch.asked[i].fact, replies[i]);
    if (!role) role = read.role;
    b.name = std::move(read.name);
    b.states = read.states;
    b.extents = read.extents;
    b.childCount = read.childCount;
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

std::optional<int32_t> ElementBurst::childCount(const ObjectRef& object) {
    Burst& b = burstFor(object);
    if (!b.childCount) b.childCount = childCountFrom(link_.call(childCountRequest(object)));
    return *b.childCount;
}

std::optional<std::vector<ObjectRef>> ElementBurst::children(const ObjectRef& object) {
    if (auto ahead = followed(object, childrenInFlight_, childrenWaiting_, children_))
        return childrenFrom(*ahead);
    return getChildren(link_, object);
}

void ElementBurst::readAhead(const std::vector<ObjectRef>& objects, size_t limit) {
    readAheadLimit_ = limit;
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
        for (Fact fact : kElementFacts) batch.facts.ask(batch.objects.size(), fact, object);
        batch.objects.push_back(object);
    }
    if (batch.objects.empty()) return;
    batch.facts.sent = link_.send(batch.facts.requests);
    inFlight_.push_back(std::move(batch));
}

std::optional<std::optional<std::string>> ElementBurst::textAhead(const ObjectRef& object) {
    auto reply = followed(object, textsInFlight_, textsWaiting_, texts_);
    if (!reply) return std::nullopt;
    return textFrom(*reply);
}

std::optional<Reply> ElementBurst::followed(const ObjectRef& object, std::deque<FollowBatch>& inFlight,
                                            std::unordered_set<std::string>& waiting,
                                            std::unordered_map<std::string, Reply>& ready) {
    const std::string key = keyOf(object);
    while (ready.count(key) == 0 && waiting.count(key) != 0 && !inFlight.empty()) {
        FollowBatch batch = std::move(inFlight.front());
        inFlight.pop_front();
        auto replies = link_.collect(batch.requests, batch.sent);
        for (size_t i = 0; i < batch.asked.size(); ++i) {
            waiting.erase(batch.asked[i].element);
            ready[batch.asked[i].element] = std::move(replies[i]);
        }
    }
    auto found = ready.find(key);
    if (found == ready.end()) return std::nullopt;
    Reply reply = std::move(found->second);
    ready.erase(found);
    return reply;
}

std::optional<std::optional<std::string>> ElementBurst::peekText(const ObjectRef& object) {
    auto reply = followed(object, textsInFlight_, textsWaiting_, texts_);
    if (!reply) return std::nullopt;
    auto text = textFrom(*reply);
    texts_[keyOf(object)] = std::move(*reply);
    return text;
}

std::optional<std::vector<ObjectRef>> ElementBurst::peekChildren(const ObjectRef& object) {
    auto reply = followed(object, childrenInFlight_, childrenWaiting_, children_);
    if (!reply) return std::nullopt;
    auto children = childrenFrom(*reply);
    children_[keyOf(object)] = std::move(*reply);
    return children;
}

std::optional<uint32_t> ElementBurst::roleAhead(const ObjectRef& object) {
    const std::string key = keyOf(object);
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

std::optional<ReadFacts> ElementBurst::takeAhead(const ObjectRef& object) {
    const std::string key = keyOf(object);
    collectUpTo(key);
    auto found = ready_.find(key);
    if (found == ready_.end()) return std::nullopt;
    ReadFacts ahead = std::move(found->second);
    ready_.erase(found);
    return ahead;
}

// The texts and children follow in a second stretch: a field's text only
// once its role, read in the first, said it is not password text; the
// children only of an object that claims few enough and makes none on
// demand. A long list is read when the walk comes to it, rather than kept
// for every element read ahead.
void ElementBurst::collectAhead(AheadBatch& batch) {
    auto replies = link_.collect(batch.facts.requests, batch.facts.sent);
    for (size_t i = 0; i < batch.facts.asked.size(); ++i) {
        const auto& asked = batch.facts.asked[i];
        takeFact(ready_[keyOf(batch.objects[asked.element])], asked.fact, replies[i]);
    }
    FollowBatch texts;
    FollowBatch children;
    const size_t childrenBound = std::min(kAheadChildren, readAheadLimit_);
    for (const auto& object : batch.objects) {
        const std::string key = keyOf(object);
        waiting_.erase(key);
        const ReadFacts& ahead = ready_[key];
        auto entry = ahead.role ? roleEntry(*ahead.role) : std::nullopt;
        // A label without a name shows its text (Gecko's strong and em,
        // LibreOffice's status bar).
        const bool namelessLabel = entry && entry->value == ValueSource::Name &&
                                   (!ahead.name || ahead.name->empty());
        if (entry && (entry->value == ValueSource::RunningText ||
                      entry->value == ValueSource::TextContents || namelessLabel)) {
            texts.ask(key, Fact::Text, object);
            textsWaiting_.insert(key);
        }
        if (ahead.childCount && *ahead.childCount > 0 &&
            static_cast<size_t>(*ahead.childCount) <= childrenBound && ahead.states &&
            !ahead.states->has(ATSPI_STATE_MANAGES_DESCENDANTS)) {
            children.ask(key, Fact::Children, object);
            childrenWaiting_.insert(key);
        }
    }
    // Collected only when the walk asks: waiting for them now would wait
    // for everything sent ahead of them.
    for (auto [follow, inFlight] : {std::pair{&texts, &textsInFlight_}, std::pair{&children, &childrenInFlight_}}) {
        if (follow->asked.empty()) continue;
        follow->sent = link_.send(follow->requests);
        inFlight->push_back(std::move(*follow));
    }
}

void ElementBurst::clear() {
    burst_ = Burst{};
    for (auto& batch : inFlight_) link_.drop(batch.facts.sent);
    inFlight_.clear();
    for (auto* inFlight : {&textsInFlight_, &childrenInFlight_}) {
        for (auto& batch : *inFlight) link_.drop(batch.sent);
        inFlight->clear();
    }
    textsWaiting_.clear();
    childrenWaiting_.clear();
    waiting_.clear();
    ready_.clear();
    texts_.clear();
    children_.clear();
    readAheadCount_ = 0;
}

ElementBurst::Burst& ElementBurst::burstFor(const ObjectRef& object) {
    auto now = dbus::Clock::now();
    if (!sameObject(burst_.object, object) || now - burst_.started > kBurstLifetime) {
        burst_ = Burst{};
        burst_.object = object;
        burst_.started = now;
    }
    return burst_;
}

}  // namespace nuvra::atspi
