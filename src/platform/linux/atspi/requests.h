// The AT-SPI requests the backend makes, one function per request, typed.
// Each answers nothing when the object, its application or the interface
// does not answer as AT-SPI defines it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/atspi/link.h"
#include "platform/linux/atspi/vocabulary.h"

namespace nuvra::atspi {

// Component extents: screen position and size in pixels.
struct Extents {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// The requests that are also sent in batches (BusLink::callAll), and the
// readings of their replies; the functions below send them one at a time.
Request roleRequest(const ObjectRef& ref);
std::optional<uint32_t> roleFrom(const Reply& reply);
Request extentsRequest(const ObjectRef& ref);
std::optional<Extents> extentsFrom(const Reply& reply);
Request textRequest(const ObjectRef& ref);
std::optional<std::string> textFrom(const Reply& reply);
Request currentValueRequest(const ObjectRef& ref);
std::optional<double> currentValueFrom(const Reply& reply);
Request nameRequest(const ObjectRef& ref);
std::optional<std::string> nameFrom(const Reply& reply);
Request stateRequest(const ObjectRef& ref);
std::optional<StateSet> statesFrom(const Reply& reply);
Request childrenRequest(const ObjectRef& ref);
// Whether the object is a hyperlink of its parent's hypertext: an embedded
// object, one U+FFFC in its parent's text. Nothing when it cannot be read.
Request interfacesRequest(const ObjectRef& ref);
std::optional<bool> hyperlinkFrom(const Reply& reply);
std::optional<std::vector<ObjectRef>> childrenFrom(const Reply& reply);

// How many children an object claims (Accessible.ChildCount), asked before
// its children: an object that makes its children on demand (a sheet's
// two billion cells) makes every one it is asked for at once.
Request childCountRequest(const ObjectRef& ref);
std::optional<int32_t> childCountFrom(const Reply& reply);
// One child by its index (Accessible.GetChildAtIndex), and one cell of a
// table by its row and column (Table.GetAccessibleAt): either reply is one
// reference, read by refFrom (nothing for a null one).
Request childAtIndexRequest(const ObjectRef& ref, int32_t index);
Request tableCellRequest(const ObjectRef& table, int32_t row, int32_t column);
std::optional<ObjectRef> refFrom(const Reply& reply);

// org.a11y.atspi.Accessible
std::optional<uint32_t> getRole(BusLink& link, const ObjectRef& ref);
std::optional<std::string> getRoleName(BusLink& link, const ObjectRef& ref);
std::optional<std::string> getName(BusLink& link, const ObjectRef& ref);
std::optional<std::string> getDescription(BusLink& link, const ObjectRef& ref);
std::optional<StateSet> getState(BusLink& link, const ObjectRef& ref);
// Null references in the list are left out.
std::optional<std::vector<ObjectRef>> getChildren(BusLink& link, const ObjectRef& ref);

// org.a11y.atspi.Component, in screen coordinates. Extents of an object
// that is not on screen (GTK reports INT_MIN for both coordinates) are
// nothing.
std::optional<Extents> getExtents(BusLink& link, const ObjectRef& ref);
// True when the toolkit took the request to give the object keyboard focus.
std::optional<bool> grabFocus(BusLink& link, const ObjectRef& ref);
std::optional<ObjectRef> accessibleAtPoint(BusLink& link, const ObjectRef& ref, int32_t x,
                                           int32_t y);

// org.a11y.atspi.Table: its rows and columns, and the row and column of
// the cell that is its child at `index`.
struct TableSize {
    int32_t rows = 0;
    int32_t columns = 0;
};
// No rows and no columns for what cannot tell, and for an object without
// the Table interface, which is not asked (the ATK bridge answers a table's
// questions of anything, with a critical warning in the application's log).
TableSize getTableSize(BusLink& link, const ObjectRef& table);
struct TableCell {
    int32_t row = 0;
    int32_t column = 0;
};
std::optional<TableCell> cellAtIndex(BusLink& link, const ObjectRef& table, int32_t index);
std::optional<int32_t> getIndexInParent(BusLink& link, const ObjectRef& ref);

// org.a11y.atspi.Text: the whole text.
std::optional<std::string> getText(BusLink& link, const ObjectRef& ref);
// Text.CharacterCount: how many characters, without reading them.
std::optional<int32_t> getCharacterCount(BusLink& link, const ObjectRef& ref);
// org.a11y.atspi.Value
std::optional<double> getCurrentValue(BusLink& link, const ObjectRef& ref);
// org.a11y.atspi.EditableText; true when the toolkit accepted the text.
std::optional<bool> setTextContents(BusLink& link, const ObjectRef& ref, std::string_view text);
// Offsets count characters (code points), as AT-SPI's do: those of
// well-formed UTF-8 are its bytes that begin one.
size_t characterCount(std::string_view text);
std::optional<bool> insertText(BusLink& link, const ObjectRef& ref, int32_t at, std::string_view text);
std::optional<bool> deleteText(BusLink& link, const ObjectRef& ref, int32_t from, int32_t to);

// org.a11y.atspi.Action: the actions' non-localised names, in index order;
// none for a name too long to be one, or past what is read of an element.
std::optional<std::vector<std::optional<std::string>>> getActionNames(BusLink& link,
                                                                      const ObjectRef& ref);
std::optional<bool> doAction(BusLink& link, const ObjectRef& ref, int index);

// The toolkit an application names (Application.ToolkitName: "GTK",
// "Qt", "Gecko") and its major version; empty and 0 where it does not say.
struct Toolkit {
    std::string name;
    int major = 0;
};
Toolkit getToolkit(BusLink& link, const std::string& bus);

// Gecko answers for web content from a cache that it fills with each kind
// of fact (names, states, bounds, text, actions, values) only once some
// client has asked for that kind; until the content process has sent it,
// a page reads as nameless, placeless and without text. Asks `document`
// for every kind, then waits, until `deadline` at most, for its place to
// arrive: the kinds asked first arrive before it. True once it has.
bool awaitWebContent(BusLink& link, const ObjectRef& document, dbus::Clock::time_point deadline);

// The registry's desktop: one root object per registered application;
// nothing when the registry did not tell it (no reply, not asked for an
// earlier silence, an error), which says nothing of what runs.
std::optional<std::vector<ObjectRef>> registeredApplications(BusLink& link);
// Whether the registry answers at all, within `timeout`.
bool registryAnswers(BusLink& link, std::chrono::milliseconds timeout);
// The process behind a connection on the accessibility bus.
std::optional<int32_t> connectionPid(BusLink& link, const std::string& bus);
Request pidRequest(const std::string& bus);
std::optional<int32_t> pidFrom(const Reply& reply);

}  // namespace nuvra::atspi
