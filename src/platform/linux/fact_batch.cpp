#include "platform/linux/fact_batch.h"

namespace nuvra::atspi {

Request factRequest(Fact fact, const ObjectRef& object) {
    switch (fact) {
        case Fact::Role: return roleRequest(object);
        case Fact::Name: return nameRequest(object);
        case Fact::States: return stateRequest(object);
        case Fact::Extents: return extentsRequest(object);
        case Fact::ChildCount: return childCountRequest(object);
        case Fact::Text: return textRequest(object);
        case Fact::Number: return currentValueRequest(object);
        case Fact::Children: return childrenRequest(object);
    }
    return Request{};
}

void takeFact(ReadFacts& facts, Fact fact, const Reply& reply) {
    switch (fact) {
        case Fact::Role: facts.role = roleFrom(reply); break;
        case Fact::Name: facts.name = nameFrom(reply); break;
        case Fact::States: facts.states = statesFrom(reply); break;
        case Fact::Extents: facts.extents = extentsFrom(reply); break;
        case Fact::ChildCount: facts.childCount = childCountFrom(reply); break;
        case Fact::Text: facts.text = textFrom(reply); break;
        case Fact::Number: facts.number = currentValueFrom(reply); break;
        case Fact::Children: break;
    }
}

}  // namespace nuvra::atspi
