// Replies kept for reuse: the burst of one element's replies.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/linux/atspi/requests.h"
#include "platform/linux/fact_batch.h"
#include "platform/linux/limits.h"

namespace nuvra::atspi {

// The core reads an element's attributes one after another (role, title,
// description, value, enabled, focused, position, size), and several of
// them come from one AT-SPI reply: the state set, the extents, the name.
// Such a burst of reads of one object shares the replies, for a few
// milliseconds at most, so that each is still what the object answers at
// that moment. Reading any other object, acting or writing ends the burst.
class ElementBurst {
public:
    explicit ElementBurst(BusLink& link) : link_(link) {}

    // The replies every element of a walk needs, fetched in one round (the
    // role too, into `role`, unless already known), or taken from what was
    // read ahead; the burst's few milliseconds start when they are in.
    void gather(const ObjectRef& object, std::optional<uint32_t>& role);

    // The elements a walk reads next, outside any snapshot (an application
    // whose cache does not hold its web pages): their replies are asked for
    // now, all in one stretch, so that the application answers them back
    // to back instead of waking for each element. Each is the
    // application's answer during the walk, as a snapshot's is. No more
    // than `limit` elements are read ahead in one walk, and the children
    // of none that claims more than `limit` or makes its children on
    // demand.
    void readAhead(const std::vector<ObjectRef>& objects, size_t limit);
    // The text read ahead with an element of running text, or of a text
    // field that was not password text when its role was read with it.
    std::optional<std::optional<std::string>> textAhead(const ObjectRef& object);
    // The same two without taking them, for the words a parent shows of
    // its children: the walk still reads each child when it comes to it.
    std::optional<uint32_t> roleAhead(const ObjectRef& object);
    std::optional<std::optional<std::string>> peekText(const ObjectRef& object);
    // The children read ahead with an element, without taking them.
    std::optional<std::vector<ObjectRef>> peekChildren(const ObjectRef& object);

    std::optional<StateSet> states(const ObjectRef& object);
    std::optional<Extents> extents(const ObjectRef& object);
    std::optional<std::string> name(const ObjectRef& object);
    std::optional<std::string> description(const ObjectRef& object);
    std::optional<int32_t> childCount(const ObjectRef& object);
    // Children read ahead serve one read; any other read asks afresh. Only
    // for an object whose child count and states allow it (see
    // visible_children.h).
    std::optional<std::vector<ObjectRef>> children(const ObjectRef& object);

    // Ends the burst and drops all that was read ahead.
    void clear();

private:

    // Outer optional: asked yet; inner: the answer, or none.
    struct Burst {
        ObjectRef object;
        dbus::Clock::time_point started;
        std::optional<std::optional<StateSet>> states;
        std::optional<std::optional<Extents>> extents;
        std::optional<std::optional<std::string>> name;
        std::optional<std::optional<std::string>> description;
        std::optional<std::optional<int32_t>> childCount;
        bool gathered = false;
    };
    Burst& burstFor(const ObjectRef& object);

    // Everything a walk reads of an element, but the children: whether
    // they may be asked for depends on these.
    static constexpr Fact kElementFacts[] = {Fact::Role, Fact::Name, Fact::States, Fact::Extents,
                                             Fact::ChildCount};
    static constexpr uint16_t kElementBits = factBits(kElementFacts);
    struct RefHash {
        size_t operator()(const ObjectRef& o) const {
            return std::hash<std::string>{}(o.path) ^ std::hash<std::string>{}(o.bus);
        }
    };
    struct RefEq {
        bool operator()(const ObjectRef& a, const ObjectRef& b) const { return sameObject(a, b); }
    };
    using Pipeline = FactPipeline<ObjectRef, RefHash, RefEq>;
    using Batch = FactBatch<ObjectRef>;
    // A reply read ahead of `fact` for `object`, collected if need be;
    // taken unless `peek`.
    Pipeline::Kept* followed(const ObjectRef& object, Fact fact, bool peek);
    Pipeline::Kept* collectUpTo(const ObjectRef& object);
    void followUp(const Batch& batch);

    BusLink& link_;
    Burst burst_;
    Pipeline ahead_{link_};
    size_t readAheadCount_ = 0;
    size_t readAheadLimit_ = 0;
};

}  // namespace nuvra::atspi
