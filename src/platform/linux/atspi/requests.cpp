#include "platform/linux/atspi/requests.h"
#include "platform/linux/limits.h"

#include <algorithm>
#include <climits>
#include <thread>

#include <atspi/atspi-constants.h>

namespace nuvra::atspi {

namespace {

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kComponent = "org.a11y.atspi.Component";
constexpr const char* kAction = "org.a11y.atspi.Action";
constexpr const char* kEditableText = "org.a11y.atspi.EditableText";
constexpr const char* kTable = "org.a11y.atspi.Table";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr uint32_t kScreenCoordinates = 0;

Request on(const ObjectRef& ref, const char* interface, const char* method,
           const char* replySignature) {
    Request r;
    r.bus = ref.bus;
    r.path = ref.path;
    r.interface = interface;
    r.method = method;
    r.replySignature = replySignature;
    return r;
}

Request withBody(Request r, const dbus::BodyWriter& body) {
    r.body = body;
    return r;
}

Request propertyRequest(const ObjectRef& ref, const char* interface, const char* name) {
    dbus::BodyWriter body;
    body.string(interface);
    body.string(name);
    return withBody(on(ref, kProperties, "Get", "v"), body);
}

Reply callOn(BusLink& link, const Request& request) {
    if (request.path.empty() || isNullRef(ObjectRef{request.bus, request.path})) return {};
    return link.call(request);
}

// The body reader of a reply positioned inside a property's variant, when
// the variant holds a value of the basic type `type`. It reads from
// `reply`, which must outlive it.
std::optional<dbus::BodyReader> propertyValue(const Reply& reply, int type) {
    if (!reply) return std::nullopt;
    dbus::BodyReader body(*reply);
    if (!body.enterVariant(type)) return std::nullopt;
    return body;
}

// A string property of any interface, from the reply to its Get.
std::optional<std::string> stringPropertyFrom(const Reply& reply) {
    auto value = propertyValue(reply, DBUS_TYPE_STRING);
    std::string_view text;
    if (!value || !value->string(text)) return std::nullopt;
    return std::string(text);
}

std::optional<std::string> stringProperty(BusLink& link, const ObjectRef& ref, const char* name) {
    return stringPropertyFrom(callOn(link, propertyRequest(ref, kAccessible, name)));
}

bool readRef(dbus::BodyReader& body, ObjectRef& ref) {
    std::string_view bus;
    std::string_view path;
    if (!body.enter() || !body.string(bus) || !body.objectPath(path) || !body.leave()) return false;
    ref = ObjectRef{std::string(bus), std::string(path)};
    return true;
}

std::optional<std::string> singleString(const Reply& reply) {
    if (!reply) return std::nullopt;
    dbus::BodyReader body(*reply);
    std::string_view text;
    if (!body.string(text)) return std::nullopt;
    return std::string(text);
}

}  // namespace

Request roleRequest(const ObjectRef& ref) {
    return on(ref, kAccessible, "GetRole", "u");
}

std::optional<uint32_t> roleFrom(const Reply& reply) {
    if (!reply) return std::nullopt;
    dbus::BodyReader body(*reply);
    uint32_t role = 0;
    if (!body.u32(role)) return std::nullopt;
    return role;
}

Request extentsRequest(const ObjectRef& ref) {
    dbus::BodyWriter body;
    body.u32(kScreenCoordinates);
    return withBody(on(ref, kComponent, "GetExtents", "(iiii)"), body);
}

std::optional<Extents> extentsFrom(const Reply& reply) {
    if (!reply) return std::nullopt;
    dbus::BodyReader body(*reply);
    Extents e;
    if (!body.enter() || !body.i32(e.x) || !body.i32(e.y) || !body.i32(e.width) ||
        !body.i32(e.height))
        return std::nullopt;
    if (e.x == INT_MIN || e.y == INT_MIN) return std::nullopt;
    return e;
}

Request textRequest(const ObjectRef& ref) {
    // An end offset of -1 means the end of the text.
    dbus::BodyWriter body;
    body.i32(0);
    body.i32(-1);
    return withBody(on(ref, "org.a11y.atspi.Text", "GetText", "s"), body);
}

std::optional<std::string> textFrom(const Reply& reply) {
    return singleString(reply);
}

Request currentValueRequest(const ObjectRef& ref) {
    return propertyRequest(ref, "org.a11y.atspi.Value", "CurrentValue");
}

std::optional<double> currentValueFrom(const Reply& reply) {
    auto value = propertyValue(reply, DBUS_TYPE_DOUBLE);
    double number = 0;
    if (!value || !value->f64(number)) return std::nullopt;
    return number;
}

std::optional<uint32_t> getRole(BusLink& link, const ObjectRef& ref) {
    return roleFrom(callOn(link, roleRequest(ref)));
}

std::optional<std::string> getRoleName(BusLink& link, const ObjectRef& ref) {
    return singleString(callOn(link, on(ref, kAccessible, "GetRoleName", "s")));
}

Request nameRequest(const ObjectRef& ref) {
    return propertyRequest(ref, kAccessible, "Name");
}

std::optional<std::string> nameFrom(const Reply& reply) {
    return stringPropertyFrom(reply);
}

Request stateRequest(const ObjectRef& ref) {
    return on(ref, kAccessible, "GetState", "au");
}

std::optional<StateSet> statesFrom(const Reply& reply) {
    if (!reply) return std::nullopt;
    dbus::BodyReader body(*reply);
    if (!body.enter()) return std::nullopt;
    StateSet states;
    for (int word = 0; body.more(); ++word) {
        uint32_t bits = 0;
        if (!body.u32(bits)) return std::nullopt;
        if (word < 2) states.bits |= static_cast<uint64_t>(bits) << (32 * word);
    }
    return states;
}

Request childrenRequest(const ObjectRef& ref) {
    Request r = on(ref, kAccessible, "GetChildren", "a(so)");
    r.timeout = kListTimeout;
    return r;
}

std::optional<std::vector<ObjectRef>> childrenFrom(const Reply& reply) {
    if (!reply) return std::nullopt;
    dbus::BodyReader body(*reply);
    if (!body.enter()) return std::nullopt;
    std::vector<ObjectRef> children;
    while (body.more()) {
        ObjectRef child;
        if (!readRef(body, child)) return std::nullopt;
        if (!isNullRef(child)) children.push_back(std::move(child));
    }
    if (!body.ok()) return std::nullopt;
    return children;
}

Request interfacesRequest(const ObjectRef& ref) {
    return on(ref, kAccessible, "GetInterfaces", "as");
}

std::optional<bool> hyperlinkFrom(const Reply& reply) {
    if (!reply) return std::nullopt;
    dbus::BodyReader body(*reply);
    if (!body.enter()) return std::nullopt;
    bool hyperlink = false;
    while (body.more()) {
        std::string_view name;
        if (!body.string(name)) return std::nullopt;
        hyperlink = hyperlink || name == "org.a11y.atspi.Hyperlink";
    }
    return hyperlink;
}

std::optional<std::string> getName(BusLink& link, const ObjectRef& ref) {
    return nameFrom(callOn(link, nameRequest(ref)));
}

std::optional<std::string> getDescription(BusLink& link, const ObjectRef& ref) {
    return stringProperty(link, ref, "Description");
}

std::optional<StateSet> getState(BusLink& link, const ObjectRef& ref) {
    return statesFrom(callOn(link, stateRequest(ref)));
}

std::optional<std::vector<ObjectRef>> getChildren(BusLink& link, const ObjectRef& ref) {
    return childrenFrom(callOn(link, childrenRequest(ref)));
}

std::optional<Extents> getExtents(BusLink& link, const ObjectRef& ref) {
    return extentsFrom(callOn(link, extentsRequest(ref)));
}

std::optional<ObjectRef> accessibleAtPoint(BusLink& link, const ObjectRef& ref, int32_t x,
                                           int32_t y) {
    dbus::BodyWriter args;
    args.i32(x);
    args.i32(y);
    args.u32(kScreenCoordinates);
    Reply reply =
        callOn(link, withBody(on(ref, kComponent, "GetAccessibleAtPoint", "(so)"), args));
    if (!reply) return std::nullopt;
    dbus::BodyReader body(*reply);
    ObjectRef found;
    if (!readRef(body, found) || isNullRef(found)) return std::nullopt;
    return found;
}

std::optional<std::string> getText(BusLink& link, const ObjectRef& ref) {
    return textFrom(callOn(link, textRequest(ref)));
}

std::optional<double> getCurrentValue(BusLink& link, const ObjectRef& ref) {
    return currentValueFrom(callOn(link, currentValueRequest(ref)));
}

namespace {

// The yes or no of a call answered with one boolean.
std::optional<bool> answerOf(BusLink& link, const Request& request) {
    Reply reply = callOn(link, request);
    if (!reply) return std::nullopt;
    dbus::BodyReader body(*reply);
    bool yes = false;
    if (!body.boolean(yes)) return std::nullopt;
    return yes;
}

}  // namespace

std::optional<bool> setTextContents(BusLink& link, const ObjectRef& ref, std::string_view text) {
    // D-Bus strings are UTF-8 without NUL by definition; anything else
    // cannot be sent.
    dbus::BodyWriter args;
    args.string(text);
    if (!args.ok()) return std::nullopt;
    return answerOf(link, withBody(on(ref, kEditableText, "SetTextContents", "b"), args));
}

size_t characterCount(std::string_view text) {
    size_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

std::optional<bool> insertText(BusLink& link, const ObjectRef& ref, int32_t at, std::string_view text) {
    dbus::BodyWriter args;
    args.i32(at);
    args.string(text);
    args.i32(static_cast<int32_t>(std::min<size_t>(characterCount(text), INT32_MAX)));
    if (!args.ok()) return std::nullopt;
    return answerOf(link, withBody(on(ref, kEditableText, "InsertText", "b"), args));
}

std::optional<bool> deleteText(BusLink& link, const ObjectRef& ref, int32_t from, int32_t to) {
    dbus::BodyWriter args;
    args.i32(from);
    args.i32(to);
    return answerOf(link, withBody(on(ref, kEditableText, "DeleteText", "b"), args));
}

std::optional<std::vector<std::optional<std::string>>> getActionNames(BusLink& link,
                                                                      const ObjectRef& ref) {
    Reply countReply = callOn(link, propertyRequest(ref, kAction, "NActions"));
    auto count = propertyValue(countReply, DBUS_TYPE_INT32);
    int32_t n = 0;
    if (!count || !count->i32(n) || n < 0) return std::nullopt;
    if (n > kMaxActions) n = kMaxActions;
    // GetActions would answer in one request, but with localised names;
    // GetName gives the toolkit's own, which the vocabulary matches.
    std::vector<std::optional<std::string>> names;
    size_t read = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (read > kMaxActionNameBytes) {
            names.emplace_back();
            continue;
        }
        dbus::BodyWriter args;
        args.i32(i);
        Reply reply = callOn(link, withBody(on(ref, kAction, "GetName", "s"), args));
        if (!reply) return std::nullopt;
        dbus::BodyReader body(*reply);
        std::string_view name;
        if (!body.string(name)) return std::nullopt;
        read += name.size();
        if (name.size() <= kMaxActionName) names.emplace_back(name);
        else names.emplace_back();
    }
    return names;
}

std::optional<bool> grabFocus(BusLink& link, const ObjectRef& ref) {
    return answerOf(link, on(ref, kComponent, "GrabFocus", "b"));
}

std::optional<bool> doAction(BusLink& link, const ObjectRef& ref, int index) {
    dbus::BodyWriter args;
    args.i32(index);
    return answerOf(link, withBody(on(ref, kAction, "DoAction", "b"), args));
}

Toolkit getToolkit(BusLink& link, const std::string& bus) {
    const ObjectRef root{bus, kRootPath};
    constexpr const char* kApplication = "org.a11y.atspi.Application";
    auto replies = link.callAll({propertyRequest(root, kApplication, "ToolkitName"),
                                 propertyRequest(root, kApplication, "Version")});
    Toolkit toolkit;
    toolkit.name = stringPropertyFrom(replies[0]).value_or("");
    // "4.8.3": the major version, up to the first dot.
    for (char c : stringPropertyFrom(replies[1]).value_or("")) {
        if (c < '0' || c > '9') break;
        toolkit.major = toolkit.major * 10 + (c - '0');
        if (toolkit.major > 1000) break;
    }
    return toolkit;
}

bool awaitWebContent(BusLink& link, const ObjectRef& document, dbus::Clock::time_point deadline) {
    auto placed = [](const std::optional<Extents>& e) { return e && e->width > 0 && e->height > 0; };
    link.callAll({nameRequest(document), stateRequest(document), textRequest(document),
                  currentValueRequest(document), propertyRequest(document, kAction, "NActions"),
                  extentsRequest(document)});
    while (dbus::Clock::now() < deadline) {
        if (placed(getExtents(link, document))) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

std::optional<std::vector<ObjectRef>> registeredApplications(BusLink& link) {
    auto apps = getChildren(link, ObjectRef{kRegistryName, kRootPath});
    // A look without the list saw no application at all, not that none runs.
    if (!apps) link.markCutShort();
    return apps;
}

bool registryAnswers(BusLink& link, std::chrono::milliseconds timeout) {
    // Until an accessible application has started, nothing has asked the
    // bus for the registry yet; the bus starts it on this first request.
    Request request = propertyRequest(ObjectRef{kRegistryName, kRootPath}, kAccessible,
                                      "ChildCount");
    request.activate = true;
    return link.call(request, timeout).has_value();
}

std::optional<int32_t> connectionPid(BusLink& link, const std::string& bus) {
    return pidFrom(link.call(pidRequest(bus)));
}

Request pidRequest(const std::string& bus) {
    dbus::BodyWriter args;
    args.string(bus);
    return withBody(on(ObjectRef{"org.freedesktop.DBus", "/org/freedesktop/DBus"},
                       "org.freedesktop.DBus", "GetConnectionUnixProcessID", "u"),
                    args);
}

std::optional<int32_t> pidFrom(const Reply& reply) {
    if (!reply) return std::nullopt;
    dbus::BodyReader body(*reply);
    uint32_t pid = 0;
    if (!body.u32(pid) || pid == 0 || pid > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(pid);
}

Request childCountRequest(const ObjectRef& ref) {
    return propertyRequest(ref, kAccessible, "ChildCount");
}

std::optional<int32_t> childCountFrom(const Reply& reply) {
    auto value = propertyValue(reply, DBUS_TYPE_INT32);
    int32_t count = 0;
    if (!value || !value->i32(count) || count < 0) return std::nullopt;
    return count;
}

Request childAtIndexRequest(const ObjectRef& ref, int32_t index) {
    dbus::BodyWriter args;
    args.i32(index);
    return withBody(on(ref, kAccessible, "GetChildAtIndex", "(so)"), args);
}

Request tableCellRequest(const ObjectRef& table, int32_t row, int32_t column) {
    dbus::BodyWriter args;
    args.i32(row);
    args.i32(column);
    return withBody(on(table, kTable, "GetAccessibleAt", "(so)"), args);
}

std::optional<ObjectRef> refFrom(const Reply& reply) {
    if (!reply) return std::nullopt;
    dbus::BodyReader body(*reply);
    ObjectRef ref;
    if (!readRef(body, ref) || isNullRef(ref)) return std::nullopt;
    return ref;
}

TableSize getTableSize(BusLink& link, const ObjectRef& table) {
    Reply interfaces = callOn(link, on(table, kAccessible, "GetInterfaces", "as"));
    if (!interfaces) return {};
    dbus::BodyReader names(*interfaces);
    bool isTable = false;
    std::string_view name;
    if (!names.enter()) return {};
    while (names.more() && names.string(name)) isTable = isTable || name == kTable;
    if (!isTable) return {};
    auto replies = link.callAll({propertyRequest(table, kTable, "NRows"),
                                 propertyRequest(table, kTable, "NColumns")});
    auto rows = propertyValue(replies[0], DBUS_TYPE_INT32);
    auto columns = propertyValue(replies[1], DBUS_TYPE_INT32);
    TableSize size;
    if (!rows || !columns || !rows->i32(size.rows) || !columns->i32(size.columns) ||
        size.rows < 0 || size.columns < 0)
        return {};
    return size;
}

std::optional<TableCell> cellAtIndex(BusLink& link, const ObjectRef& table, int32_t index) {
    dbus::BodyWriter args;
    args.i32(index);
    Reply reply = callOn(link, withBody(on(table, kTable, "GetRowColumnExtentsAtIndex", "biiiib"), args));
    if (!reply) return std::nullopt;
    dbus::BodyReader body(*reply);
    bool found = false;
    TableCell cell;
    if (!body.boolean(found) || !found || !body.i32(cell.row) || !body.i32(cell.column) ||
        cell.row < 0 || cell.column < 0)
        return std::nullopt;
    return cell;
}

std::optional<int32_t> getCharacterCount(BusLink& link, const ObjectRef& ref) {
    Reply reply = callOn(link, propertyRequest(ref, "org.a11y.atspi.Text", "CharacterCount"));
    auto value = propertyValue(reply, DBUS_TYPE_INT32);
    int32_t count = 0;
    if (!value || !value->i32(count) || count < 0) return std::nullopt;
    return count;
}

std::optional<int32_t> getIndexInParent(BusLink& link, const ObjectRef& ref) {
    Reply reply = callOn(link, on(ref, kAccessible, "GetIndexInParent", "i"));
    if (!reply) return std::nullopt;
    dbus::BodyReader body(*reply);
    int32_t index = -1;
    if (!body.i32(index) || index < 0) return std::nullopt;
    return index;
}

}  // namespace nuvra::atspi
