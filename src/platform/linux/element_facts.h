// What AT-SPI tells of one element: its role, states, name, description,
// extents, children, text and number. Every AX attribute is answered from
// these alone (ax_answers.cpp); where each comes from is decided here.
//
// An element the walk's snapshot holds tells what the snapshot holds and
// what the walk fetched ahead; any other element is asked itself, through
// its burst of shared replies, and afresh for what must be current at the
// moment of the read (its text, its number). Either way an element tells
// the same: an object lacking an interface simply has no such fact.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/atspi/requests.h"
#include "platform/linux/reply_cache.h"
#include "platform/linux/screen_coordinates.h"
#include "platform/linux/walk_prefetch.h"
#include "platform/platform.h"

namespace nuvra::atspi {

// An element handle: where the object lives. The role is remembered once
// read, because every attribute's meaning depends on it and an object's
// role does not change; the one exception that matters (an entry turning
// into password text) is guarded where text is read.
//
// Whether an ancestor hides it is known only from the walk that reached it:
// AT-SPI defines an element as showing only when all its ancestors are, but
// Qt and Gecko go on calling the children of a hidden container showing.
struct AtspiElement : ElementObject {
    ObjectRef ref;
    bool systemWide = false;
    bool hiddenAbove = false;
    mutable std::optional<uint32_t> role;
};

Element elementFor(ObjectRef ref, bool hiddenAbove = false);

// Where facts come from; one of each for the platform's life.
struct FactSources {
    BusLink& link;
    ElementBurst& burst;
    WalkPrefetch& walk;
    ScreenCoordinates& screen;
};

// The text of a text element. Hidden: password text (or an element whose
// current role cannot be read), whose text is never asked for.
struct TextFact {
    bool hidden = false;
    std::optional<std::string> text;
};

class ElementFacts {
public:
    ElementFacts(const AtspiElement& element, FactSources from);
    bool inSnapshot() const { return index_ >= 0; }
    const AtspiElement& element() const { return element_; }

    std::optional<uint32_t> role();         // the AT-SPI role number
    std::optional<std::string> roleName();  // for a number the role table does not know
    std::optional<StateSet> states();
    std::optional<std::string> name();
    std::optional<std::string> description();
    std::optional<Extents> extents();       // on screen, in screen coordinates
    // In whatever coordinates the toolkit answers: enough to tell a widget
    // that has no box at all.
    std::optional<Extents> box();
    // Nobody can see it, nor what it holds: it or an ancestor is not
    // showing, or not visible (Gecko keeps a closed menu's items showing),
    // or has the box 0,0 0x0 Qt and GTK answer for a widget not laid out
    // (Qt calls the children of a hidden list showing; GTK 4 sets no
    // showing state at all).
    bool hidden();
    // Whether its toolkit sets the showing state (GTK 4 does not).
    bool showsStates() { return from_.screen.setsShowing(element_.ref.bus); }
    std::optional<int32_t> childCount();
    // All its children; those it shows (see visible_children.h) when it
    // makes them on demand or claims more than anyone reads whole.
    std::optional<std::vector<ObjectRef>> children();
    // At most `max` of the children it shows, or from `index` on.
    std::optional<std::vector<ObjectRef>> visibleChildren(size_t max);
    std::optional<std::vector<ObjectRef>> childrenFrom(int32_t index, size_t max);
    TextFact text();
    // The text of an element of running text; never password text, so
    // its role need not be read again first.
    std::optional<std::string> runningText();
    // The same with the words of each embedded object (U+FFFC) that runs
    // inline (a link, a strong word) in its place; an object that is a
    // control or a block keeps its U+FFFC.
    std::optional<std::string> shownText();
    std::optional<double> number();
    // How many characters its text holds, read without the text.
    std::optional<int32_t> characterCount();
    // An application's top-level windows.
    std::optional<std::vector<ObjectRef>> windows();
    // An application's first top-level window in `state`; nothing when its
    // windows cannot be read, an empty answer when none is in that state.
    std::optional<std::optional<ObjectRef>> windowIn(uint32_t state);

private:
    std::string withEmbedded(std::string text, const ObjectRef& of,
                             std::optional<std::vector<ObjectRef>> children, int depth,
                             size_t& budget);
    const AtspiElement& element_;
    FactSources from_;
    int32_t index_ = -1;  // in the walk's snapshot
};

}  // namespace nuvra::atspi
