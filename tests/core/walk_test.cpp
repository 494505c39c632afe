// The breadth-first walk on its own: against the plain walk on random trees,
// identities, hostile shapes, and the memory it holds.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "ax/readers.h"
#include "desktop.h"
#include "observation/tree.h"

namespace nuvra::testing {
namespace {

using Names = std::vector<std::string>;

Names namesOf(FakeDesktop& d, const ObservedTree& t) {
    Names out;
    for (size_t i = 0; i < t.elements.size(); ++i) {
        EXPECT_EQ(t.elements[i].index, static_cast<int64_t>(i + 1));
        out.push_back(d.nameOf(t.elements[i].element));
    }
    return out;
}

// The limits, duplicates, cycles and equal identities are held to the plain
// walk below; what a child list may hold besides elements is the reader's.
TEST(Walk, ANullChildAndATextInAChildListAreSkipped) {
    auto d = testDesktop();
    d->set(d->find("group"), "AXChildren",
           AttrValue::array({AttrValue::elementRef(nullptr), AttrValue::plainText("x"),
                             AttrValue::elementRef(d->find("text"))}));
    ObservedTree t = observeTree(*d, d->find("window"), 99, 99, 9999);
    EXPECT_EQ(namesOf(*d, t), (Names{"window", "toolbar", "group", "ok", "delete", "text"}));
}

TEST(Walk, SmallIdentitiesSurviveTheSetGrowing) {
    FakeDesktop d;
    Element root = d.element("root", "AXList");
    d.setIdentityHash(root, 5000);
    std::vector<Element> children;
    for (uint64_t id = 0; id < 300; ++id) {
        children.push_back(d.element("row"));
        d.setIdentityHash(children.back(), id);
    }
    std::vector<Element> twice = children;
    twice.insert(twice.end(), children.begin(), children.end());
    d.setChildren(root, twice);
    EXPECT_EQ(observeTree(d, root, 9999, 9, 0).elements.size(), 301u);
}

TEST(Walk, OverlongLineIsDroppedButKeepsItsNumber) {
    auto d = testDesktop();
    d->setText(d->find("toolbar"), "AXTitle", std::string(100, 'T'));
    ObservedTree t = observeTree(*d, d->find("window"), 99, 9, 80);
    EXPECT_EQ(t.lines, (Names{"[e1] AXWindow \"Inbox\" @400,325", "  [e3] AXGroup @400,345"}));
    EXPECT_EQ(t.elements[1].hashLine, "2|AXToolbar||" + std::string(100, 'T') + "|" + std::string(100, 'T') + "|true|false");
}

TEST(Walk, HostileShapes) {
    FakeDesktop d;
    d.recording = false;
    ObservedTree deep = observeTree(d, chain(d, 100000), 100000, 100000, int64_t{1} << 40);
    EXPECT_EQ(deep.elements.size(), 100000u);
    EXPECT_FALSE(deep.truncated);
    EXPECT_EQ(deep.lines[18], std::string(36, ' ') + "[e19] AXGroup");  // indentation stops at 20
    EXPECT_EQ(deep.lines.back(), std::string(40, ' ') + "[e100000] AXGroup");

    FakeDesktop wide;
    Element root = wide.element("root", "AXList");
    std::vector<Element> distinct, children;
    for (int i = 0; i < 1000; ++i) distinct.push_back(wide.element("row", "AXRow"));
    for (int i = 0; i < 1000000; ++i) children.push_back(distinct[i % 1000]);
    wide.setChildren(root, std::move(children));
    ObservedTree t = observeTree(wide, root, 100, 10, 1000000);
    EXPECT_EQ(t.elements.size(), 100u);
    EXPECT_TRUE(t.truncated);
    // A child list is counted or read only where it can still add to the
    // queue, an identity asked only for what is recorded or skipped, and of
    // the million children only as many as the walk can record are read.
    EXPECT_EQ(wide.calls("hash ").size(), 100u);
    EXPECT_EQ(wide.calls("count row AXChildren").size(), 0u);
    EXPECT_EQ(wide.calls("read row AXChildren").size(), 0u);
    EXPECT_EQ(wide.calls("read root AXChildren"), Names{});
    EXPECT_EQ(wide.calls("values root AXChildren"), Names{"values root AXChildren 0 99"});
}

// Against the plain walk, which queued every child of every recorded element
// that has no more children than the walk can still record, on random trees
// with shared elements, cycles, repeated children and equal identities: the
// same lines, hash lines (so the same hash) and truncation, as many
// identities asked for, and no read of an element not handed over first.
TEST(Walk, SameAsThePlainQueueOnRandomTrees) {
    std::mt19937 random(13);
    auto pick = [&](size_t n) { return random() % n; };
    for (int round = 0; round < 2000; ++round) {
        FakeDesktop d;
        std::vector<Element> all;
        for (size_t i = pick(40) + 1; i > 0; --i) all.push_back(d.element("R" + std::to_string(i), "R" + std::to_string(i)));
        for (const Element& e : all) {
            std::vector<Element> children(pick(4) ? pick(5) : pick(60));
            for (Element& child : children) child = all[pick(all.size())];
            d.setChildren(e, children);
            if (!pick(8)) d.setIdentityHash(e, pick(3));
        }
        const int64_t nodes = int64_t(pick(52)) - 1, depth = int64_t(pick(8)) - 1, bytes = pick(3) ? 9999 : pick(200);
        std::vector<std::pair<Element, int64_t>> queue{{all[0], 0}};
        std::set<uint64_t> seen;
        Names lines, hashLines, got;
        bool truncated = false;
        int64_t used = 0;
        size_t asked = 0;
        for (size_t head = 0; head < queue.size(); ++head) {
            if (static_cast<int64_t>(hashLines.size()) >= nodes && (truncated = true)) break;
            auto [e, level] = queue[head];
            if (++asked && !seen.insert(d.identityHash(e)).second) continue;
            std::string n = std::to_string(hashLines.size() + 1), role = d.nameOf(e),
                        line = std::string(2 * std::min<int64_t>(level, 20), ' ') + "[e" + n + "] " + role;
            int64_t cost = static_cast<int64_t>(line.size()) + !lines.empty();
            if (used + cost <= bytes) lines.push_back(line), used += cost;
            else truncated = true;
            hashLines.push_back(n + "|" + role + "||||true|false");
            // Of an element with more children than the walk can still
            // record (after those waiting), only the first it can are read.
            std::set<uint64_t> waiting;
            for (size_t i = head + 1; i < queue.size(); ++i)
                if (uint64_t id = d.identityHash(queue[i].first); !seen.count(id)) waiting.insert(id);
            const auto room = std::max<int64_t>(0, nodes - int64_t(hashLines.size()) - int64_t(waiting.size()));
            std::vector<Element> children = axChildren(d, e);
            if (level < depth && int64_t(children.size()) > room && (truncated = true)) children.resize(room);
            for (const Element& child : children)
                if (level < depth) queue.emplace_back(child, level + 1);
                else truncated = true;
        }
        d.clearLog();
        ObservedTree t = observeTree(d, all[0], nodes, depth, bytes);
        for (const auto& r : t.elements) got.push_back(r.hashLine);
        ASSERT_EQ(std::tie(t.lines, got, t.truncated), std::tie(lines, hashLines, truncated)) << round;
        ASSERT_EQ(d.calls("hash ").size(), asked) << round;
        // The walk reads only what it handed over as queued, in that order,
        // each after its hint.
        Names read;
        for (size_t i = 0; i < d.log().size(); ++i) {
            const std::string& entry = d.log()[i];
            if (!entry.starts_with("read ") && !entry.starts_with("count ") && !entry.starts_with("values "))
                continue;
            std::string name = entry.substr(entry.find(' ') + 1);
            name.resize(name.find(' '));
            if (!read.empty() && read.back() == name) continue;
            ASSERT_LT(read.size(), d.hints().size()) << round;
            ASSERT_LE(d.hints()[read.size()].logged, i) << round;
            read.push_back(name);
            ASSERT_EQ(d.hints()[read.size() - 1].name, name) << round;
        }
    }
}

// Every element claims the same 3000 children, afresh on each read: the walk
// holds at most a handle for each element it can still record.
TEST(Walk, HoldsNoMoreChildrenThanItCanRecord) {
    FakeDesktop d;
    std::vector<Element> rows;
    for (int i = 0; i < 3000; ++i) rows.push_back(d.element("row", "AXRow"));
    Element root = d.element("root", "AXList"), claimed;
    long held = 0;
    d.beforeRead = [&](const Element& e, std::string_view attribute) {
        if (claimed) d.unset(claimed, "AXChildren");
        if (attribute == "AXChildren") d.setChildren(claimed = e, rows);
        long now = 0;
        for (const Element& row : rows) now += row.use_count() - 1;
        held = std::max(held, now);
    };
    EXPECT_EQ(observeTree(d, root, 100, 4, 100000).elements.size(), 100u);
    EXPECT_LE(held, 3000 + 100);  // the list being read, and the queue
}

TEST(Walk, ATitleThatChangesBetweenReadsStaysOneLine) {
    FakeDesktop d;
    Element root = d.element("root", "AXWindow");
    int reads = 0;
    d.beforeRead = [&](const Element& e, std::string_view attribute) {
        if (attribute != "AXTitle") return;
        const AttrValue answers[] = {AttrValue::integer(3), AttrValue::attributedText("line\nbreak"),
                                     AttrValue::plainText(""), AttrValue::plainText("plain")};
        d.set(e, "AXTitle", answers[reads++ % 4]);
    };
    ObservedTree first = observeTree(d, root, 10, 10, 1000);
    EXPECT_EQ(first.lines, Names{"[e1] AXWindow \"line break\""});
    EXPECT_EQ(first.elements[0].hashLine, "1|AXWindow||line\nbreak|line\nbreak|true|false");
    EXPECT_EQ(observeTree(d, root, 10, 10, 1000).lines, Names{"[e1] AXWindow"});
}

}  // namespace
}  // namespace nuvra::testing
