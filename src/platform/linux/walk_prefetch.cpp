#include "platform/linux/walk_prefetch.h"

#include <algorithm>

#include <atspi/atspi-constants.h>

#include "platform/linux/limits.h"

namespace nuvra::atspi {

void WalkPrefetch::begin(const ObjectRef& root, int64_t maxNodes, int64_t maxDepth) {
    WalkPlan plan;
    plan.root = root;
    plan.maxNodes = maxNodes;
    plan.maxDepth = maxDepth;
    plan.depthByPath.emplace(root.path, 0);
    plan.reachable = 1;
    plan_ = std::move(plan);
}

void WalkPrefetch::end() {
    if (bulk_ && bulk_->inFlight) link_.drop(bulk_->inFlight->sent);
    plan_.reset();
    bulk_.reset();
}

size_t WalkPrefetch::aheadBound() const {
    // Not before the snapshot has been decided on: what it will hold would
    // be read twice.
    if (!plan_ || !plan_->snapshotTried) return 0;
    return static_cast<size_t>(plan_->maxNodes);
}

void WalkPrefetch::forgetSnapshot() {
    if (bulk_ && bulk_->inFlight) link_.drop(bulk_->inFlight->sent);
    bulk_.reset();
    if (plan_) plan_->snapshotTried = false;
}

void WalkPrefetch::childrenRead(const ObjectRef& parent, const std::vector<ObjectRef>& children) {
    noteChildren(parent, children);
    noteReadChildren(parent, children);
}

int32_t WalkPrefetch::indexOf(const ObjectRef& ref) const {
    return bulk_ ? bulk_->snapshot.indexOf(ref) : -1;
}

const SnapshotObject& WalkPrefetch::object(int32_t k) const {
    return bulk_->snapshot.objects[static_cast<size_t>(k)];
}

ObjectRef WalkPrefetch::refOf(int32_t k) const {
    return ObjectRef{bulk_->snapshot.bus, object(k).path};
}

// The walk's size so far, and whether the whole application is now worth
// fetching at once.
void WalkPrefetch::noteChildren(const ObjectRef& parent, const std::vector<ObjectRef>& children) {
    if (!plan_ || plan_->snapshotTried || plan_->outgrown || parent.bus != plan_->root.bus) return;
    auto known = plan_->depthByPath.find(parent.path);
    if (known == plan_->depthByPath.end()) return;
    const int64_t depth = known->second + 1;
    for (const auto& child : children) {
        if (child.bus != plan_->root.bus) continue;
        if (plan_->depthByPath.emplace(child.path, depth).second && depth <= plan_->maxDepth)
            ++plan_->reachable;
        // The walk can no longer visit a quarter of what it has come
        // across: no snapshot will be worth it, and a list of a hostile
        // length is not gone through for nothing. (Nor read ahead of: that
        // would hold such lists by the hundred.)
        if (plan_->reachable > plan_->maxNodes * kSnapshotShare) {
            plan_->outgrown = true;
            plan_->childrenRead.clear();
            return;
        }
    }
    plan_->childrenRead.emplace(parent.path, children);
    int64_t bound = std::min(plan_->maxNodes, plan_->reachable);
    bool big = bound >= kSnapshotMinimum && bound * kSnapshotShare >= plan_->reachable;
    if (!big) return;
    plan_->snapshotTried = true;
    // Only where the application answers on its own socket: the bridge
    // whose cache is known to describe what the one-by-one requests answer.
    if (!link_.isDirect(plan_->root.bus)) return;
    auto snapshot = takeSnapshot(link_, plan_->root.bus);
    if (!snapshot) return;
    int32_t root = snapshot->indexOf(plan_->root);
    if (root < 0) return;
    Bulk bulk;
    bulk.root = root;
    bulk.ahead.resize(snapshot->objects.size());
    for (const auto& [path, list] : plan_->childrenRead) {
        int32_t k = snapshot->indexOf(ObjectRef{plan_->root.bus, path});
        if (k < 0 || snapshot->objects[static_cast<size_t>(k)].childrenKnown) continue;
        auto& indexes = bulk.readChildren[k];
        for (const auto& child : list)
            if (int32_t c = snapshot->indexOf(child); c >= 0) indexes.push_back(c);
    }
    plan_->childrenRead.clear();
    bulk.snapshot = std::move(*snapshot);
    predictWalk(bulk);
    bulk_ = std::move(bulk);
}

// A children list the snapshot did not know, read one by one.
void WalkPrefetch::noteReadChildren(const ObjectRef& parent,
                                    const std::vector<ObjectRef>& children) {
    if (!bulk_) return;
    int32_t k = bulk_->snapshot.indexOf(parent);
    if (k < 0) return;
    std::vector<int32_t> known;
    for (const auto& child : children) {
        int32_t c = bulk_->snapshot.indexOf(child);
        if (c >= 0) known.push_back(c);
    }
    bulk_->readChildren[k] = std::move(known);
    bulk_->orderStale = true;
}

void WalkPrefetch::predictWalk(Bulk& b) {
    b.order = walkOrder(b.snapshot, b.root, plan_->maxNodes, plan_->maxDepth, b.readChildren);
    b.position.assign(b.snapshot.objects.size(), -1);
    for (size_t i = 0; i < b.order.size(); ++i)
        b.position[static_cast<size_t>(b.order[i])] = static_cast<int64_t>(i);
    b.orderStale = false;
}

// Up to kAheadChunk objects not yet fetched, from the walk position of `k`
// on; just `k` when the prediction does not hold it.
std::vector<int32_t> WalkPrefetch::stretchFrom(int32_t k) {
    Bulk& b = *bulk_;
    if (b.position[static_cast<size_t>(k)] < 0 && b.orderStale) predictWalk(b);
    const int64_t start = b.position[static_cast<size_t>(k)];
    if (start < 0) return {k};
    std::vector<int32_t> stretch;
    for (size_t i = static_cast<size_t>(start);
         i < b.order.size() && stretch.size() < kAheadChunk; ++i) {
        int32_t object = b.order[i];
        if (!b.ahead[static_cast<size_t>(object)].fetched &&
            (!b.inFlight || !b.inFlightSet.count(object)))
            stretch.push_back(object);
    }
    return stretch;
}

WalkPrefetch::AheadBatch WalkPrefetch::startBatch(std::vector<int32_t> objects) {
    AheadBatch batch;
    for (int32_t k : objects) {
        const SnapshotObject& o = object(k);
        if ((o.interfaces & kComponentInterface) != 0) {
            batch.requests.push_back(extentsRequest(refOf(k)));
            batch.slots.emplace_back(k, Slot::Extents);
        }
        auto entry = roleEntry(o.role);
        ValueSource source = entry ? entry->value : ValueSource::None;
        if (source == ValueSource::TextContents && (o.interfaces & kTextInterface) != 0) {
            batch.requests.push_back(roleRequest(refOf(k)));
            batch.slots.emplace_back(k, Slot::Role);
        }
        // A label without a name shows its text instead.
        const bool shownText = source == ValueSource::RunningText ||
                               (source == ValueSource::Name && o.name.empty());
        if (shownText && (o.interfaces & kTextInterface) != 0) {
            batch.requests.push_back(textRequest(refOf(k)));
            batch.slots.emplace_back(k, Slot::Text);
        }
        if (source == ValueSource::Number && (o.interfaces & kValueInterface) != 0) {
            batch.requests.push_back(currentValueRequest(refOf(k)));
            batch.slots.emplace_back(k, Slot::Number);
        }
    }
    batch.objects = std::move(objects);
    batch.sent = link_.send(batch.requests);
    return batch;
}

// The extents, texts and current values of a stretch of the walk, in two
// rounds: the text of an element is asked for only after a fresh role read
// said it is not password text, as the one-by-one read does. While this
// side works through one stretch, the application already answers the
// first round of the next.
const AheadReads& WalkPrefetch::ahead(int32_t k) {
    Bulk& b = *bulk_;
    auto at = [&](int32_t object) -> AheadReads& { return b.ahead[static_cast<size_t>(object)]; };
    if (at(k).fetched) return at(k);
    AheadBatch batch;
    if (b.inFlight && b.inFlightSet.count(k) != 0) {
        batch = std::move(*b.inFlight);
    } else {
        // The walk went elsewhere than predicted: what was sent ahead is
        // not waited for.
        if (b.inFlight) link_.drop(b.inFlight->sent);
        b.inFlight.reset();
        b.inFlightSet.clear();
        batch = startBatch(stretchFrom(k));
    }
    b.inFlight.reset();
    b.inFlightSet.clear();

    auto replies = link_.collect(batch.requests, batch.sent);
    std::vector<Request> texts;
    std::vector<int32_t> textObjects;
    for (size_t i = 0; i < batch.slots.size(); ++i) {
        auto [object, slot] = batch.slots[i];
        switch (slot) {
            case Slot::Extents:
                at(object).extents = extentsFrom(replies[i]);
                break;
            case Slot::Role:
                at(object).roleNow = roleFrom(replies[i]);
                if (at(object).roleNow && *at(object).roleNow != ATSPI_ROLE_PASSWORD_TEXT) {
                    texts.push_back(textRequest(refOf(object)));
                    textObjects.push_back(object);
                }
                break;
            case Slot::Text:
                at(object).text = textFrom(replies[i]);
                break;
            case Slot::Number:
                at(object).number = currentValueFrom(replies[i]);
                break;
        }
    }
    auto textsSent = link_.send(texts);
    for (int32_t object : batch.objects) at(object).fetched = true;
    // The next stretch goes out behind the texts, so the application has
    // work while this side hands the batch to the walk.
    const int64_t last = b.position[static_cast<size_t>(batch.objects.back())];
    if (last >= 0 && static_cast<size_t>(last) + 1 < b.order.size()) {
        auto next = stretchFrom(b.order[static_cast<size_t>(last) + 1]);
        if (!next.empty() && b.position[static_cast<size_t>(next.front())] >= 0) {
            b.inFlight = startBatch(std::move(next));
            b.inFlightSet.insert(b.inFlight->objects.begin(), b.inFlight->objects.end());
        }
    }
    auto textReplies = link_.collect(texts, textsSent);
    for (size_t i = 0; i < textObjects.size(); ++i)
        at(textObjects[i]).text = textFrom(textReplies[i]);
    return at(k);
}

}  // namespace nuvra::atspi
