#include "observation/tree.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

#include "ax/readers.h"
#include "observation/identity_set.h"
#include "observation/visible_part.h"
#include "protocol/lines.h"
#include "text/text.h"
#include "text/text_append.h"

namespace nuvra {

namespace {

constexpr int64_t kTextBound = 120;
constexpr std::string_view kUnknownRole = "AXUnknown";

void appendInt(std::string& out, int64_t v) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, res.ptr);
}

// Rounds half away from zero; none for a centre that no signed 64-bit
// integer holds (infinite, NaN or beyond the range), so a broken geometry
// answer never reaches a conversion with undefined behaviour.
std::optional<int64_t> roundedCoordinate(double v) {
    double r = std::round(v);
    if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) return std::nullopt;
    return static_cast<int64_t>(r);
}

struct Centre {
    int64_t x = 0;
    int64_t y = 0;
};

// The size is only asked for when there is a position to go with it.
std::optional<ScreenRect> frameOf(Platform& platform, const Element& element,
                                  Unanswered* unanswered = nullptr) {
    std::optional<ScreenPoint> position = axPoint(platform, element, unanswered);
    if (!position) return std::nullopt;
    std::optional<ScreenSize> size = axSize(platform, element, unanswered);
    if (!size) return std::nullopt;
    return ScreenRect{position->x, position->y, size->width, size->height};
}

std::optional<Centre> centreOf(const std::optional<ScreenRect>& frame) {
    if (!frame) return std::nullopt;
    std::optional<int64_t> cx = roundedCoordinate(frame->x + frame->width * 0.5);
    std::optional<int64_t> cy = roundedCoordinate(frame->y + frame->height * 0.5);
    if (!cx || !cy) return std::nullopt;
    return Centre{*cx, *cy};
}

// The centre of the part of the element that can be seen, and the clip its
// children are seen through.
struct Seen {
    std::optional<ScreenRect> visible;
    std::optional<Centre> centre;  // of `visible`
    Clip below;
};

Seen seenThrough(const std::optional<std::string>& role, const std::optional<ScreenRect>& frame,
                 const Clip& inherited, const std::vector<ScreenRect>& displays) {
    const std::string_view name = role ? std::string_view(*role) : std::string_view();
    const Clip own = clipOf(name, inherited);
    std::optional<ScreenRect> visible = frame ? visiblePart(*frame, own, displays) : std::nullopt;
    return Seen{visible, centreOf(visible), clipBelow(name, frame, own)};
}

// What the walk reads of one element.
struct Reading {
    std::optional<std::string> role;
    std::optional<std::string> subrole;
    std::optional<std::string> title;
    std::optional<std::string> description;
    std::optional<std::string> valueText;  // already sanitised, or a number's digits
    std::optional<bool> enabled;
    std::optional<bool> focused;
    std::optional<ScreenRect> frame;
    std::optional<Centre> centre;  // of the visible part, once the walk knows it

    const std::optional<std::string>& label() const { return title ? title : description; }
};

// The reads happen in this order on purpose: it is the order the observed
// application sees, and the value of a password field is never asked for.
Reading readElement(Platform& platform, const Element& element, Unanswered& unanswered) {
    Reading r;
    r.role = axString(platform, element, "AXRole", &unanswered);
    r.subrole = axString(platform, element, "AXSubrole", &unanswered);
    r.title = axString(platform, element, "AXTitle", &unanswered);
    if (!r.title) r.description = axString(platform, element, "AXDescription", &unanswered);
    if (!axIsSecure(r.role, r.subrole)) {
        std::optional<AttrValue> value = axCopy(platform, element, "AXValue", &unanswered);
        if (value && value->kind == ValueKind::Text) {
            r.valueText.emplace();
            textAppend::sanitized(*r.valueText, value->text, kTextBound);
        } else if (value && value->kind == ValueKind::Number) {
            r.valueText = std::move(value->decimal);
        }
    }
    r.enabled = axBool(platform, element, "AXEnabled", &unanswered);
    r.focused = axBool(platform, element, "AXFocused", &unanswered);
    r.frame = frameOf(platform, element, &unanswered);
    return r;
}

// What the element's line shows: the role kept to one line, the label
// and a text value sanitised, every text cut.
ElementLine shownLine(const Reading& r, int64_t number, int64_t depth) {
    ElementLine e;
    e.depth = std::min(depth, kIndentCap);
    e.index = number;
    if (r.role) textAppend::lineSafe(e.role, *r.role, kTextBound);
    else e.role = kUnknownRole;
    if (const auto& label = r.label()) {
        e.label.emplace();
        textAppend::sanitized(*e.label, *label, kTextBound);
    }
    if (r.centre) e.centre = ElementLine::Centre{r.centre->x, r.centre->y};
    e.value = r.valueText;
    e.disabled = r.enabled == false;
    e.focused = r.focused == true;
    return e;
}

// The texts go in raw: the hash must move with any change the application
// makes to them, including changes that sanitising would hide.
std::string hashLine(const Reading& r, int64_t number) {
    auto text = [](const std::optional<std::string>& t) {
        return t ? std::string_view(*t) : std::string_view();
    };
    const std::string_view role = r.role ? std::string_view(*r.role) : kUnknownRole;
    std::string line;
    line.reserve(20 + 3 * 4 + role.size() + text(r.subrole).size() + text(r.title).size() +
                 text(r.label()).size() + 11);
    appendInt(line, number);
    line.push_back('|');
    line.append(role);
    line.push_back('|');
    line.append(text(r.subrole));
    line.push_back('|');
    line.append(text(r.title));
    line.push_back('|');
    line.append(text(r.label()));
    line.append(r.enabled == false ? "|false" : "|true");
    line.append(r.focused == true ? "|true" : "|false");
    return line;
}

}  // namespace

ObservedTree observeTree(Platform& platform, const Element& root, int64_t maxNodes,
                         int64_t maxDepth, int64_t maxTextBytes) {
    ObservedTree result;
    if (maxNodes < 1) {
        result.truncated = true;
        return result;
    }
    platform.prepareWalk(root, maxNodes, maxDepth);
    // Breadth first over an explicit queue: trees can be far deeper than any
    // call stack, and the numbering must not depend on how the walk recurses.
    // An element's first occurrence in that order decides its number, so the
    // queue holds first occurrences only, and no more of them than can still
    // be recorded: an application that claims a huge child list for every
    // element would otherwise fill memory with entries the walk never
    // reaches. A child is identified as it is queued (from its handle, not
    // by asking the application); of the others only their count is kept,
    // which tells whether the walk stopped short.
    struct Entry {
        Element element;
        int64_t depth;
        uint64_t position;  // among every child queued, first occurrences or not
        Clip clip;          // what its ancestors let be seen of it
    };
    std::vector<Entry> queue;
    IdentitySet known;
    known.insert(platform.identityHash(root));
    queue.push_back(Entry{root, 0, 0, Clip{}});
    platform.walkQueued({root}, 0);
    std::vector<Element> hinted;  // the children queued of one element
    uint64_t queued = 1;
    bool leftOut = false;
    const std::vector<ScreenRect> displays = platform.displayBounds();
    int64_t used = 0;
    for (size_t head = 0; head < queue.size(); ++head) {
        // Nothing reads an entry twice, so the handle can leave the queue.
        Element element = std::move(queue[head].element);
        const int64_t depth = queue[head].depth;
        // An element the application left a read of unanswered is not what
        // it holds: it gets no number, and what lies below it stays unknown.
        // (An application that stopped answering answers nothing more in
        // this run, at once, so the rest of its queue goes quickly.)
        Unanswered unanswered;
        Reading reading = readElement(platform, element, unanswered);
        if (unanswered.any) {
            result.truncated = result.unanswered = true;
            continue;
        }
        const Seen seen = seenThrough(reading.role, reading.frame, queue[head].clip, displays);
        reading.centre = seen.centre;
        const int64_t number = static_cast<int64_t>(result.elements.size()) + 1;

        ElementLine shown = shownLine(reading, number, depth);
        std::string line;
        appendElementLine(line, shown);
        int64_t cost = static_cast<int64_t>(line.size()) + (result.lines.empty() ? 0 : 1);
        // `used` never exceeds the budget once positive, so the subtraction
        // cannot overflow.
        if (cost <= maxTextBytes - used) {
            result.lines.push_back(std::move(line));
            used += cost;
        } else {
            result.truncated = true;
        }

        // Once a child has been left out for want of room, the walk ends
        // truncated whatever else it meets, so a child list that can add
        // nothing to the queue is not read at all: an application may claim
        // lists of any length for every element.
        const auto waiting = static_cast<int64_t>(queue.size() - head - 1);
        if (number + waiting >= maxNodes && leftOut) {
            result.truncated = true;
        } else {
            // No more children are read than the walk could still record:
            // of an element that claims more, those on screen. Below the
            // depth bound only whether there are children matters.
            const int64_t room = depth >= maxDepth ? 0 : maxNodes - number - waiting;
            ChildrenRead read = axChildrenWithin(platform, element, room, &unanswered);
            if (unanswered.any) result.truncated = result.unanswered = true;
            if (read.partial) result.truncated = leftOut = true;
            if (depth >= maxDepth) {
                if (!read.children.empty()) result.truncated = true;
            } else {
                for (auto& child : read.children) {
                    // Once the recorded elements and those queued reach
                    // maxNodes, the walk can never come to this child. (The
                    // sum never exceeds maxNodes, so it cannot overflow.)
                    const auto ahead = static_cast<int64_t>(queue.size() - head - 1);
                    if (number + ahead >= maxNodes) leftOut = true;
                    else if (known.insert(platform.identityHash(child))) {
                        hinted.push_back(child);
                        queue.push_back(Entry{std::move(child), depth + 1, queued, seen.below});
                    }
                    ++queued;
                }
                if (!hinted.empty()) platform.walkQueued(hinted, depth + 1);
                hinted.clear();
            }
        }
        result.elements.push_back(ObservedElement{
            number, std::move(element), hashLine(reading, number), seen.visible,
            std::move(shown.label).value_or(std::string()),
            std::move(shown.value).value_or(std::string())});
        if (number >= maxNodes) {
            result.truncated = result.truncated || queued > queue[head].position + 1;
            break;
        }
    }
    return result;
}

}  // namespace nuvra
