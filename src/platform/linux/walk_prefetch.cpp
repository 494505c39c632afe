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
    plan_ = std::move(plan);
}

void WalkPrefetch::end() {
    if (bulk_ && bulk_->inFlight) link_.drop(bulk_->inFlight->facts.sent);
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
    if (bulk_ && bulk_->inFlight) link_.drop(bulk_->inFlight->facts.sent);
    bulk_.reset();
    if (plan_) {
        plan_->snapshotTried = false;
        for (auto& q : plan_->queue) q.index = -1;
    }
}

void WalkPrefetch::queued(const std::vector<ObjectRef>& next, int64_t depth) {
    if (!plan_) return;
    const bool parentCounted = plan_->head == 0 || plan_->queue[plan_->head - 1].counted;
    for (const auto& ref : next) {
        const bool counted =
            parentCounted && ref.bus == plan_->root.bus && !plan_->shown.count(ref.path);
        plan_->queue.push_back(WalkPlan::Queued{ref, depth, indexOf(ref), counted});
        plan_->reachable += counted;
    }
    takeSnapshotIfWorth();
}

const ObjectRef* WalkPrefetch::reading() const {
    if (!plan_ || plan_->head == 0) return nullptr;
    return &plan_->queue[plan_->head - 1].ref;
}

void WalkPrefetch::shownOnly(const std::vector<ObjectRef>& children) {
    if (!plan_ || plan_->snapshotTried) return;
    for (const auto& child : children) plan_->shown.insert(child.path);
}

bool WalkPrefetch::reached(const ObjectRef& ref) {
    if (!plan_ || plan_->head >= plan_->queue.size()) return false;
    const ObjectRef& next = plan_->queue[plan_->head].ref;
    if (next.bus != ref.bus || next.path != ref.path) return false;
    ++plan_->head;
    return true;
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

// Whether the whole application is now worth fetching at once: the walk
// will visit at least a quarter of what it has queued, and enough of it.
void WalkPrefetch::takeSnapshotIfWorth() {
    if (plan_->snapshotTried) return;
    int64_t bound = std::min(plan_->maxNodes, plan_->reachable);
    bool big = bound >= kSnapshotMinimum && bound * kSnapshotShare >= plan_->reachable;
    if (!big) return;
    plan_->snapshotTried = true;
    plan_->shown.clear();
    // Only where the application answers on its own socket: the bridge
    // whose cache is known to describe what the one-by-one requests answer.
    if (!link_.isDirect(plan_->root.bus)) return;
    auto snapshot = takeSnapshot(link_, plan_->root.bus);
    if (!snapshot || snapshot->indexOf(plan_->root) < 0) return;
    for (auto& q : plan_->queue) q.index = snapshot->indexOf(q.ref);
    Bulk bulk;
    bulk.ahead.resize(snapshot->objects.size());
    bulk.snapshot = std::move(*snapshot);
    bulk_ = std::move(bulk);
}

// The walk from the element it now reads: what it has queued, then, breadth
// first, the children the snapshot knows of those it has not read yet
// (every element below a queued one comes after the whole queue).
void WalkPrefetch::predictWalk(Bulk& b) {
    const auto& queue = plan_->queue;
    const size_t from = plan_->head == 0 ? 0 : plan_->head - 1;
    std::vector<bool> seen(b.snapshot.objects.size(), false);
    for (const auto& q : queue)
        if (q.index >= 0) seen[static_cast<size_t>(q.index)] = true;
    int64_t counted = 0;
    for (size_t i = 0; i < from; ++i) counted += queue[i].index >= 0;
    b.order.clear();
    std::vector<std::pair<int32_t, int64_t>> below;
    for (size_t i = from; i < queue.size(); ++i)
        if (queue[i].index >= 0) {
            b.order.push_back(queue[i].index);
            below.emplace_back(queue[i].index, queue[i].depth);
        }
    const auto room = [&] { return counted + static_cast<int64_t>(b.order.size()) < plan_->maxNodes; };
    for (size_t head = 0; head < below.size() && room(); ++head) {
        auto [index, depth] = below[head];
        if (depth >= plan_->maxDepth) continue;
        for (int32_t child : b.snapshot.objects[static_cast<size_t>(index)].children) {
            if (!room()) break;
            if (seen[static_cast<size_t>(child)]) continue;
            seen[static_cast<size_t>(child)] = true;
            b.order.push_back(child);
            below.emplace_back(child, depth + 1);
        }
    }
    b.position.assign(b.snapshot.objects.size(), -1);
    for (size_t i = 0; i < b.order.size(); ++i)
        b.position[static_cast<size_t>(b.order[i])] = static_cast<int64_t>(i);
}

// Up to kAheadChunk objects not yet fetched, from the walk position of `k`
// on; just `k` when the prediction does not hold it.
std::vector<int32_t> WalkPrefetch::stretchFrom(int32_t k) {
    Bulk& b = *bulk_;
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
            batch.facts.ask(k, Fact::Extents, refOf(k));
        }
        auto entry = roleEntry(o.role);
        ValueSource source = entry ? entry->value : ValueSource::None;
        if (source == ValueSource::TextContents && (o.interfaces & kTextInterface) != 0) {
            batch.facts.ask(k, Fact::Role, refOf(k));
        }
        // A label without a name shows its text instead.
        const bool shownText = source == ValueSource::RunningText ||
                               (source == ValueSource::Name && o.name.empty());
        if (shownText && (o.interfaces & kTextInterface) != 0) {
            batch.facts.ask(k, Fact::Text, refOf(k));
        }
        if (source == ValueSource::Number && (o.interfaces & kValueInterface) != 0) {
            batch.facts.ask(k, Fact::Number, refOf(k));
        }
    }
    batch.objects = std::move(objects);
    batch.facts.sent = link_.send(batch.facts.requests);
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
    predictWalk(b);
    AheadBatch batch;
    if (b.inFlight && b.inFlightSet.count(k) != 0) {
        batch = std::move(*b.inFlight);
    } else {
        // The walk went elsewhere than predicted: what was sent ahead is
        // not waited for.
        if (b.inFlight) link_.drop(b.inFlight->facts.sent);
        b.inFlight.reset();
        b.inFlightSet.clear();
        batch = startBatch(stretchFrom(k));
    }
    b.inFlight.reset();
    b.inFlightSet.clear();

    auto replies = link_.collect(batch.facts.requests, batch.facts.sent);
    std::vector<Request> texts;
    std::vector<int32_t> textObjects;
    for (size_t i = 0; i < batch.facts.asked.size(); ++i) {
        auto [object, fact] = batch.facts.asked[i];
        takeFact(at(object), fact, replies[i]);
        if (fact == Fact::Role && at(object).role && *at(object).role != ATSPI_ROLE_PASSWORD_TEXT) {
            texts.push_back(textRequest(refOf(object)));
            textObjects.push_back(object);
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
