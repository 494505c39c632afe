// A walk read from one snapshot of the application.
//
// The snapshot is taken while the core walks, only once the walk has shown
// it will visit much of what it has come across, and it serves that walk
// alone: a new walk, an action, a write or a hit test ends it. Every value
// in it is the application's answer during this walk, as a read one by one
// would have been; what it does not hold (extents, texts, current values)
// is fetched ahead in the walk's order, in pipelined stretches: the
// elements the walk has queued, then what the snapshot says it will queue
// below them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/linux/atspi/snapshot.h"
#include "platform/linux/fact_batch.h"

namespace nuvra::atspi {

class WalkPrefetch {
public:
    explicit WalkPrefetch(BusLink& link) : link_(link) {}

    // A walk of at most `maxNodes` elements down to `maxDepth` levels below
    // `root` begins; any earlier one ends.
    void begin(const ObjectRef& root, int64_t maxNodes, int64_t maxDepth);
    // The walk is over: what was sent ahead is not waited for.
    void end();
    // The application changed under the walk: the snapshot and what was
    // read ahead are dropped, and the snapshot is taken again when next
    // worth it.
    void forgetSnapshot();
    bool walking() const { return plan_.has_value(); }
    // How many elements may be read ahead of this walk: none while a
    // snapshot may still come, never more than it may visit.
    size_t aheadBound() const;

    // Elements the walk queued, `depth` levels below the root, to read
    // after all it queued before (the snapshot is taken once the walk
    // proves big).
    void queued(const std::vector<ObjectRef>& next, int64_t depth);
    // Whether `ref` is the next element the walk queued, which it now
    // begins to read.
    bool reached(const ObjectRef& ref);
    // The element the walk reads now, or none.
    const ObjectRef* reading() const;
    // Children an element shows of a list it makes on demand or holds too
    // many of: the application's cache holds few of those, nor of what lies
    // below them, so they do not count toward a snapshot.
    void shownOnly(const std::vector<ObjectRef>& children);

    // The snapshot's index of an object, or -1 (no snapshot, or not in it).
    int32_t indexOf(const ObjectRef& ref) const;
    // For an index indexOf gave:
    const SnapshotObject& object(int32_t k) const;
    ObjectRef refOf(int32_t k) const;
    // The reads the snapshot cannot hold: of those, the role is asked
    // afresh, before the text; names, states and child counts come from
    // the snapshot.
    const ReadFacts& ahead(int32_t k);

private:
    struct WalkPlan {
        ObjectRef root;
        int64_t maxNodes = 0;
        int64_t maxDepth = 0;
        int64_t reachable = 0;  // queued elements that count toward a snapshot
        std::unordered_set<std::string> shown;  // paths, until the snapshot is decided on
        bool snapshotTried = false;
        // What the walk queued, in its order; those before `head` it has
        // begun to read.
        struct Queued {
            ObjectRef ref;
            int64_t depth = 0;
            int32_t index = -1;  // in the snapshot, once there is one
            bool counted = false;  // toward a snapshot (see shownOnly)
        };
        std::vector<Queued> queue;
        size_t head = 0;
    };

    using Batch = FactBatch<int32_t>;  // by snapshot index

    struct Bulk {
        AppSnapshot snapshot;
        // The walk from the element it reads on, as far as the queue and
        // the snapshot tell: redone for each stretch.
        std::vector<int32_t> order;
        std::vector<int64_t> position;  // by object: its place in `order`, or -1
    };

    void takeSnapshotIfWorth();
    void predictWalk(Bulk& b);
    std::vector<int32_t> stretchFrom(int32_t k);
    Batch startBatch(std::vector<int32_t> objects);

    BusLink& link_;
    std::optional<WalkPlan> plan_;
    std::optional<Bulk> bulk_;
    // The next stretch, sent and not yet collected, and what came back.
    FactPipeline<int32_t> ahead_{link_};
};

}  // namespace nuvra::atspi
