// A stretch of reads of elements' facts, sent together. Each request is
// kept with the element and the fact it asks for, so every reply is taken
// for what it answers, never for its place in the stretch.
#pragma once

#include <cstdint>
#include <optional>
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
    BusLink::Sent sent;

    void ask(Key element, Fact fact, const ObjectRef& object) {
        requests.push_back(factRequest(fact, object));
        asked.push_back(Asked{std::move(element), fact});
    }
};

}  // namespace nuvra::atspi
