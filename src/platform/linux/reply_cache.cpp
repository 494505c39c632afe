#include "platform/linux/reply_cache.h"

#include <algorithm>
#include <unordered_set>

#include <atspi/atspi-constants.h>

namespace nuvra::atspi {

void ElementBurst::gather(const ObjectRef& object, std::optional<uint32_t>& role) {
    Burst& b = burstFor(object);
    if (b.gathered) return;
    b.gathered = true;
    if (auto* kept = collectUpTo(object)) {
        kept->take(kElementBits);
        ReadFacts& ahead = kept->facts;
        if (!role) role = ahead.role;
        b.name = std::move(ahead.name);
        b.states = ahead.states;
        b.extents = ahead.extents;
        b.childCount = ahead.childCount;
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
    if (auto* ahead = followed(object, Fact::Children, false)) return childrenFrom(*ahead->children);
    return getChildren(link_, object);
}

void ElementBurst::readAhead(const std::vector<ObjectRef>& objects, size_t limit) {
    readAheadLimit_ = limit;
    // What is already in comes in first, so the stretch in flight stays
    // short and the application is never idle.
    constexpr uint16_t role = factBit(Fact::Role);
    while (ahead_.waitingCount(role) >= kAheadInFlight &&
           ahead_.collectNext(role, [this](const Batch& batch) { followUp(batch); })) {
    }
    size_t waiting = ahead_.waitingCount(role);
    std::unordered_set<ObjectRef, RefHash, RefEq> asked;
    Batch batch;
    for (const auto& object : objects) {
        if (readAheadCount_ >= limit || waiting >= kAheadInFlight) break;
        if (isNullRef(object) || ((ahead_.in(object) | ahead_.waiting(object)) & role) != 0 ||
            !asked.insert(object).second)
            continue;
        ++readAheadCount_;
        ++waiting;
        for (Fact fact : kElementFacts) batch.ask(object, fact, object);
        batch.elements.push_back(object);
    }
    if (batch.elements.empty()) return;
    ahead_.send(std::move(batch));
}

std::optional<std::optional<std::string>> ElementBurst::textAhead(const ObjectRef& object) {
    auto* ahead = followed(object, Fact::Text, false);
    if (!ahead) return std::nullopt;
    return ahead->facts.text;
}

ElementBurst::Pipeline::Kept* ElementBurst::followed(const ObjectRef& object, Fact fact, bool peek) {
    auto* kept = ahead_.collectUpTo(object, factBit(fact));
    if (kept && !peek) kept->take(factBit(fact));
    return kept;
}

std::optional<std::optional<std::string>> ElementBurst::peekText(const ObjectRef& object) {
    auto* ahead = followed(object, Fact::Text, true);
    if (!ahead) return std::nullopt;
    return ahead->facts.text;
}

std::optional<std::vector<ObjectRef>> ElementBurst::peekChildren(const ObjectRef& object) {
    auto* ahead = followed(object, Fact::Children, true);
    if (!ahead) return std::nullopt;
    return childrenFrom(*ahead->children);
}

std::optional<uint32_t> ElementBurst::roleAhead(const ObjectRef& object) {
    auto* kept = collectUpTo(object);
    return kept ? kept->facts.role : std::nullopt;
}

ElementBurst::Pipeline::Kept* ElementBurst::collectUpTo(const ObjectRef& object) {
    return ahead_.collectUpTo(object, factBit(Fact::Role), [this](const Batch& batch) { followUp(batch); });
}

// The texts and children follow in a second stretch: a field's text only
// once its role, read in the first, said it is not password text; the
// children only of an object that claims few enough and makes none on
// demand. A long list is read when the walk comes to it, rather than kept
// for every element read ahead.
void ElementBurst::followUp(const Batch& batch) {
    Batch texts;
    Batch children;
    const size_t childrenBound = std::min(kAheadChildren, readAheadLimit_);
    for (const auto& object : batch.elements) {
        const ReadFacts& ahead = ahead_.kept(object).facts;
        auto entry = ahead.role ? roleEntry(*ahead.role) : std::nullopt;
        // A label without a name shows its text (Gecko's strong and em,
        // LibreOffice's status bar).
        const bool namelessLabel = entry && entry->value == ValueSource::Name &&
                                   (!ahead.name || ahead.name->empty());
        if (entry && (entry->value == ValueSource::RunningText ||
                      entry->value == ValueSource::TextContents || namelessLabel))
            texts.ask(object, Fact::Text, object);
        if (ahead.childCount && *ahead.childCount > 0 &&
            static_cast<size_t>(*ahead.childCount) <= childrenBound && ahead.states &&
            !ahead.states->has(ATSPI_STATE_MANAGES_DESCENDANTS))
            children.ask(object, Fact::Children, object);
    }
    // Collected only when the walk asks: waiting for them now would wait
    // for everything sent ahead of them.
    for (Batch* follow : {&texts, &children})
        if (!follow->asked.empty()) ahead_.send(std::move(*follow));
}

void ElementBurst::clear() {
    burst_ = Burst{};
    ahead_.clear();
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
