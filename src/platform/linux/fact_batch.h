// A stretch of reads of elements' facts, sent together. Each request is
// kept with the element and the fact it asks for, so every reply is taken
// for what it answers, never for its place in the stretch.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <unordered_map>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/atspi/requests.h"

namespace nuvra::atspi {

enum class Fact : uint8_t { Role, Name, States, Extents, ChildCount, Text, Number, Children };

// An element's facts as read: each the application's answer, or none.
struct ReadFacts {
    std::optional<uint32_t> role;
    std::optional<std::string> name;
    std::optional<StateSet> states;
    std::optional<Extents> extents;
    std::optional<int32_t> childCount;
    std::optional<std::string> text;
    std::optional<double> number;
};

Request factRequest(Fact fact, const ObjectRef& object);
// A list of children is no one fact: its reply is kept whole, to be read
// when the walk comes to it, and is not taken here.
void takeFact(ReadFacts& facts, Fact fact, const Reply& reply);

template <class Key>
struct FactBatch {
    struct Asked {
        Key element;
        Fact fact;
    };
    std::vector<Request> requests;
    std::vector<Asked> asked;  // by request
    // The elements the stretch is for, asked anything or not.
    std::vector<Key> elements;
    BusLink::Sent sent;

    void ask(Key element, Fact fact, const ObjectRef& object) {
        requests.push_back(factRequest(fact, object));
        asked.push_back(Asked{std::move(element), fact});
    }
};

constexpr uint16_t factBit(Fact fact) { return static_cast<uint16_t>(1u << static_cast<unsigned>(fact)); }
template <size_t N>
constexpr uint16_t factBits(const Fact (&facts)[N]) {
    uint16_t bits = 0;
    for (Fact fact : facts) bits = static_cast<uint16_t>(bits | factBit(fact));
    return bits;
}
// An element a stretch was for, whether or not anything was asked of it.
constexpr uint16_t kListed = 1u << 8;

// Stretches in flight, in the order they went out, and what came back of
// them, per element, until taken. A reply is waited for by collecting, in
// that order, the stretches that ask the same kind of fact, up to the one
// that holds it: those of other kinds are left to come in when asked for.
template <class Key, class Hash = std::hash<Key>, class Eq = std::equal_to<Key>>
class FactPipeline {
public:
    struct Kept {
        ReadFacts facts;
        std::optional<Reply> children;  // kept whole
        uint16_t in = 0;                // facts come back and not yet taken

        void take(uint16_t facts) { in &= static_cast<uint16_t>(~facts); }
    };

    explicit FactPipeline(BusLink& link) : link_(link) {}

    void send(FactBatch<Key> batch) {
        uint16_t asks = batch.elements.empty() ? 0 : kListed;
        for (const auto& element : batch.elements) waiting_[element] |= kListed;
        for (const auto& a : batch.asked) {
            waiting_[a.element] |= factBit(a.fact);
            asks |= factBit(a.fact);
        }
        // Even a stretch that asks nothing goes to the link, which rejoins
        // the bus if it has to.
        batch.sent = link_.send(batch.requests);
        if (asks != 0) inFlight_.push_back(InFlight{std::move(batch), asks});
    }

    // Collects the first stretch in flight that asks any of `what`, then
    // hands it to `then`; false when there is none.
    template <class Then>
    bool collectNext(uint16_t what, Then&& then) {
        auto it = std::find_if(inFlight_.begin(), inFlight_.end(),
                               [&](const InFlight& f) { return (f.asks & what) != 0; });
        if (it == inFlight_.end()) return false;
        FactBatch<Key> batch = std::move(it->batch);
        inFlight_.erase(it);
        auto replies = link_.collect(batch.requests, batch.sent);
        for (const auto& element : batch.elements) {
            settle(element, kListed);
            kept_[element].in |= kListed;
        }
        for (size_t i = 0; i < batch.asked.size(); ++i) {
            const auto& [element, fact] = batch.asked[i];
            settle(element, factBit(fact));
            Kept& k = kept_[element];
            k.in |= factBit(fact);
            if (fact == Fact::Children) k.children = std::move(replies[i]);
            else takeFact(k.facts, fact, replies[i]);
        }
        then(batch);
        return true;
    }
    // What came back for `element` of any of `what`, once the stretches
    // before it are in; none if it was never asked.
    template <class Then>
    Kept* collectUpTo(const Key& element, uint16_t what, Then&& then) {
        while ((in(element) & what) == 0 && (waiting(element) & what) != 0 &&
               collectNext(what, then)) {
        }
        auto found = kept_.find(element);
        return found == kept_.end() || (found->second.in & what) == 0 ? nullptr : &found->second;
    }
    Kept* collectUpTo(const Key& element, uint16_t what) {
        return collectUpTo(element, what, [](const FactBatch<Key>&) {});
    }

    uint16_t waiting(const Key& element) const {
        auto found = waiting_.find(element);
        return found == waiting_.end() ? 0 : found->second;
    }
    uint16_t in(const Key& element) const {
        auto found = kept_.find(element);
        return found == kept_.end() ? 0 : found->second.in;
    }
    // How many elements have any of `what` in flight.
    size_t waitingCount(uint16_t what) const {
        return static_cast<size_t>(std::count_if(waiting_.begin(), waiting_.end(),
                                                 [&](const auto& w) { return (w.second & what) != 0; }));
    }
    Kept& kept(const Key& element) { return kept_[element]; }

    // What is in flight is given up; what came back is kept.
    void drop() {
        inFlight_.clear();
        waiting_.clear();
    }
    void clear() {
        drop();
        kept_.clear();
    }

private:
    struct InFlight {
        FactBatch<Key> batch;
        uint16_t asks = 0;
    };
    void settle(const Key& element, uint16_t bit) {
        auto found = waiting_.find(element);
        if (found == waiting_.end()) return;
        found->second &= static_cast<uint16_t>(~bit);
        if (found->second == 0) waiting_.erase(found);
    }

    BusLink& link_;
    std::deque<InFlight> inFlight_;
    std::unordered_map<Key, uint16_t, Hash, Eq> waiting_;  // facts in flight
    std::unordered_map<Key, Kept, Hash, Eq> kept_;
};

}  // namespace nuvra::atspi
