// A walk read from one snapshot of the application.
//
// The snapshot is taken while the core walks, only once the walk has shown
// it will visit much of what it has come across, and it serves that walk
// alone: a new walk, an action, a write or a hit test ends it. Every value
// in it is the application's answer during this walk, as a read one by one
// would have been; what it does not hold (extents, texts, current values)
// is fetched ahead in the walk's order, in pipelined stretches.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/linux/atspi/snapshot.h"

namespace nuvra::atspi {

// The reads a snapshot cannot hold, for one of its objects.
struct AheadReads {
    bool fetched = false;
    std::optional<Extents> extents;
    std::optional<uint32_t> roleNow;  // asked afresh before the text
    std::optional<std::string> text;
    std::optional<double> number;
};

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

    // A children list read from the object itself: the walk's size so far
    // (the snapshot is taken once the walk proves big), and the prediction
    // of the walk's order where the snapshot could not tell.
    void childrenRead(const ObjectRef& parent, const std::vector<ObjectRef>& children);

    // The snapshot's index of an object, or -1 (no snapshot, or not in it).
    int32_t indexOf(const ObjectRef& ref) const;
    // For an index indexOf gave:
    const SnapshotObject& object(int32_t k) const;
    ObjectRef refOf(int32_t k) const;
    const AheadReads& ahead(int32_t k);

private:
    struct WalkPlan {
        ObjectRef root;
        int64_t maxNodes = 0;
        int64_t maxDepth = 0;
        // Objects of the root's application that the walk has come across.
        std::unordered_map<std::string, int64_t> depthByPath;
        int64_t reachable = 0;  // of those, the ones no deeper than maxDepth
        bool snapshotTried = false;
        bool outgrown = false;  // come across more than a snapshot could be worth
        // The children lists read so far, for the snapshot's prediction.
        std::unordered_map<std::string, std::vector<ObjectRef>> childrenRead;
    };

    // One round of ahead reads on its way: which reply is which.
    enum class Slot { Extents, Role, Text, Number };
    struct AheadBatch {
        std::vector<int32_t> objects;
        std::vector<Request> requests;
        std::vector<std::pair<int32_t, Slot>> slots;
        BusLink::Sent sent;
    };

    struct Bulk {
        AppSnapshot snapshot;
        int32_t root = -1;
        std::vector<int32_t> order;     // the walk as the snapshot predicts it
        std::vector<int64_t> position;  // by object: its place in `order`, or -1
        std::vector<AheadReads> ahead;  // by object
        // Children read one by one where the snapshot could not tell; the
        // prediction is redone with them when it next falls short.
        ChildLists readChildren;
        bool orderStale = false;
        // The next stretch, sent and not yet collected.
        std::optional<AheadBatch> inFlight;
        std::unordered_set<int32_t> inFlightSet;
    };

    void noteChildren(const ObjectRef& parent, const std::vector<ObjectRef>& children);
    void noteReadChildren(const ObjectRef& parent, const std::vector<ObjectRef>& children);
    void predictWalk(Bulk& b);
    std::vector<int32_t> stretchFrom(int32_t k);
    AheadBatch startBatch(std::vector<int32_t> objects);

    BusLink& link_;
    std::optional<WalkPlan> plan_;
    std::optional<Bulk> bulk_;
};

}  // namespace nuvra::atspi
