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
    ahead_.clear();
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
    ahead_.clear();
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
    ahead_.clear();
    bulk_ = Bulk{std::move(*snapshot), {}, {}};
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
        if (((ahead_.in(object) | ahead_.waiting(object)) & kListed) == 0) stretch.push_back(object);
    }
    return stretch;
}

WalkPrefetch::Batch WalkPrefetch::startBatch(std::vector<int32_t> objects) {
    Batch batch;
    for (int32_t k : objects) {
        const SnapshotObject& o = object(k);
        if ((o.interfaces & kComponentInterface) != 0) {
            batch.ask(k, Fact::Extents, refOf(k));
        }
        auto entry = roleEntry(o.role);
        ValueSource source = entry ? entry->value : ValueSource::None;
        if (source == ValueSource::TextContents && (o.interfaces & kTextInterface) != 0) {
            batch.ask(k, Fact::Role, refOf(k));
        }
        // A label without a name shows its text instead.
        const bool shownText = source == ValueSource::RunningText ||
                               (source == ValueSource::Name && o.name.empty());
        if (shownText && (o.interfaces & kTextInterface) != 0) {
            batch.ask(k, Fact::Text, refOf(k));
        }
        if (source == ValueSource::Number && (o.interfaces & kValueInterface) != 0) {
            batch.ask(k, Fact::Number, refOf(k));
        }
    }
    batch.elements = std::move(objects);
    return batch;
}

// The extents, texts and current values of a stretch of the walk, in two
// rounds: the text of an element is asked for only after a fresh role read
// said it is not password text, as the one-by-one read does. While this
// side works through one stretch, the application already answers the
// first round of the next.
const ReadFacts& WalkPrefetch::ahead(int32_t k) {
    Bulk& b = *bulk_;
    if ((ahead_.in(k) & kListed) != 0) return ahead_.kept(k).facts;
    predictWalk(b);
    if ((ahead_.waiting(k) & kListed) == 0) {
        // The walk went elsewhere than predicted: what was sent ahead is
        // not waited for.
        ahead_.drop();
        ahead_.send(startBatch(stretchFrom(k)));
    }
    Batch texts;
    int32_t last = k;
    ahead_.collectUpTo(k, kListed, [&](const Batch& batch) {
        for (const auto& [object, fact] : batch.asked) {
            const auto& role = ahead_.kept(object).facts.role;
            if (fact == Fact::Role && role && *role != ATSPI_ROLE_PASSWORD_TEXT)
                texts.ask(object, Fact::Text, refOf(object));
        }
        last = batch.elements.back();
    });
    const int32_t firstText = texts.asked.empty() ? -1 : texts.asked.front().element;
    ahead_.send(std::move(texts));
    // The next stretch goes out behind the texts, so the application has
    // work while this side hands the batch to the walk.
    const int64_t at = b.position[static_cast<size_t>(last)];
    if (at >= 0 && static_cast<size_t>(at) + 1 < b.order.size()) {
        auto next = stretchFrom(b.order[static_cast<size_t>(at) + 1]);
        if (!next.empty() && b.position[static_cast<size_t>(next.front())] >= 0)
            ahead_.send(startBatch(std::move(next)));
    }
    if (firstText >= 0) ahead_.collectUpTo(firstText, factBit(Fact::Text));
    return ahead_.kept(k).facts;
}

}  // namespace nuvra::atspi
