// The stand-in's objects and calls. Objects are never freed before finish(),
// so a release or a call on a dead object is reported instead of crashing.
#include "standin.h"

#include <utf8proc.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/macos/macos_backend.h"
#include "text/fold.h"

namespace standin {
namespace {

enum class Kind { String, AttributedString, Number, Boolean, Array, Element, Value, Event, Other };

CFTypeID typeIdOf(Kind kind) {
    switch (kind) {
        case Kind::String: return 7;
        case Kind::AttributedString: return 62;
        case Kind::Number: return 22;
        case Kind::Boolean: return 21;
        case Kind::Array: return 19;
        case Kind::Element: return 80;
        case Kind::Value: return 81;
        case Kind::Event: return 82;
        case Kind::Other: return 83;
    }
    return 0;
}

struct Answer {
    AXError code = kAXErrorSuccess;
    CFTypeRef value = nullptr;
};

struct Node {
    std::string name;
    uint64_t identity = 0;
    bool gone = false;
    std::map<std::string, Answer, std::less<>> attributes;
    std::optional<Answer> actionNames;
    AXError performResult = kAXErrorSuccess;
    AXError writeResult = kAXErrorSuccess;
};

struct Object {
    Kind kind = Kind::Other;
    long refs = 1;
    bool immortal = false;
    std::string label;
    std::u16string text;                  // String
    CFTypeRef inner = nullptr;            // AttributedString: its string, owned
    bool isFloat = false;                 // Number
    bool beyondInt64 = false;
    int64_t integer = 0;
    uint64_t unsignedValue = 0;
    double floating = 0;
    bool boolean = false;                 // Boolean
    std::vector<CFTypeRef> items;         // Array, each retained
    std::shared_ptr<Node> node;           // Element
    AXValueType boxType = kAXValueTypeIllegal;  // Value
    unsigned char box[32] = {};
};

struct RunningApp {
    int64_t activationPolicy;
    bool isActive;
    CFStringRef bundleIdentifier;
    CFStringRef localizedName;
    int32_t processIdentifier;
};

// kCFBooleanTrue and kCFBooleanFalse are immortal: retains and releases of
// them change nothing, as in Core Foundation.
Object immortalBoolean(bool value) {
    Object object;
    object.kind = Kind::Boolean;
    object.immortal = true;
    object.label = value ? "kCFBooleanTrue" : "kCFBooleanFalse";
    object.boolean = value;
    return object;
}
Object gTrue = immortalBoolean(true);
Object gFalse = immortalBoolean(false);

struct World {
    std::vector<std::unique_ptr<Object>> objects;
    std::set<const Object*> registry{&gTrue, &gFalse};
    std::vector<CFTypeRef> held;
    std::map<pid_t, std::shared_ptr<Node>> applications;
    std::shared_ptr<Node> systemWide;
    Answer atPosition{kAXErrorNoValue, nullptr};
    bool trusted = true;
    bool eventsFail = false;
    std::vector<RunningApp> runningApps;
    std::vector<std::string> calls;
    std::vector<std::string> problems;
    uint64_t nextIdentity = 1;
    int nextEvent = 1;
};

World& world() {
    static World w;
    return w;
}

void problem(std::string what) {
    world().problems.push_back(std::move(what));
}

void log(std::string call) {
    world().calls.push_back(std::move(call));
}

const Object* asObject(CFTypeRef ref) {
    return static_cast<const Object*>(ref);
}
Object* mutableObject(CFTypeRef ref) {
    return const_cast<Object*>(asObject(ref));
}

// The object behind `ref` when it is a live stand-in object; otherwise the
// misuse is reported and null returned.
Object* live(CFTypeRef ref, const char* call) {
    if (!ref) {
        problem(std::string(call) + "(NULL)");
        return nullptr;
    }
    if (!world().registry.count(asObject(ref))) {
        problem(std::string(call) + " on an object the stand-in never made");
        return nullptr;
    }
    Object* object = mutableObject(ref);
    if (object->refs <= 0 && !object->immortal) {
        problem(std::string(call) + " on released " + object->label);
        return nullptr;
    }
    return object;
}

Object* live(CFTypeRef ref, const char* call, Kind kind) {
    Object* object = live(ref, call);
    if (object && object->kind != kind) {
        problem(std::string(call) + " on " + object->label + ", an object of another type");
        return nullptr;
    }
    return object;
}

Object* make(Kind kind, std::string label) {
    auto object = std::make_unique<Object>();
    object->kind = kind;
    object->label = std::move(label);
    Object* raw = object.get();
    world().objects.push_back(std::move(object));
    world().registry.insert(raw);
    return raw;
}

CFTypeRef held(Object* object) {
    world().held.push_back(object);
    return object;
}

std::string toUtf8(const std::u16string& units) {
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        utf8proc_int32_t cp = units[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        utf8proc_uint8_t buf[4];
        out.append(reinterpret_cast<char*>(buf), static_cast<size_t>(utf8proc_encode_char(cp, buf)));
    }
    return out;
}

std::u16string fromUtf8(std::string_view utf8) {
    std::u16string out;
    auto* p = reinterpret_cast<const utf8proc_uint8_t*>(utf8.data());
    utf8proc_ssize_t left = static_cast<utf8proc_ssize_t>(utf8.size());
    while (left > 0) {
        utf8proc_int32_t cp = 0;
        utf8proc_ssize_t n = utf8proc_iterate(p, left, &cp);
        if (n <= 0) {
            problem("the stand-in was given ill-formed UTF-8 to build a string");
            return out;
        }
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        p += n;
        left -= n;
    }
    return out;
}

Object* makeString(std::u16string units) {
    Object* object = make(Kind::String, "\"" + toUtf8(units) + "\"");
    object->text = std::move(units);
    return object;
}

std::string describe(CFTypeRef ref) {
    if (!ref) return "NULL";
    if (!world().registry.count(asObject(ref))) return "<foreign object>";
    return asObject(ref)->label;
}

std::string number(double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

void deallocate(Object* object) {
    // A dead object lets go of what it holds, as Core Foundation's do.
    if (object->inner) CFRelease(object->inner);
    for (CFTypeRef item : object->items) CFRelease(item);
}

Object* makeBox(AXValueType type, const void* bytes, size_t size, std::string label) {
    Object* object = make(Kind::Value, std::move(label));
    object->boxType = type;
    std::memcpy(object->box, bytes, size);
    return object;
}

size_t boxSize(AXValueType type) {
    switch (type) {
        case kAXValueTypeCGPoint: return sizeof(CGPoint);
        case kAXValueTypeCGSize: return sizeof(CGSize);
        case kAXValueTypeCGRect: return sizeof(CGRect);
        case kAXValueTypeCFRange: return sizeof(CFRange);
        case kAXValueTypeAXError: return sizeof(AXError);
        case kAXValueTypeIllegal: return 0;
    }
    return 0;
}

Object* newHandle(std::shared_ptr<Node> node) {
    Object* object = make(Kind::Element, node->name);
    object->node = std::move(node);
    return object;
}

std::shared_ptr<Node> newNode(std::string name) {
    auto node = std::make_shared<Node>();
    node->name = std::move(name);
    node->identity = 0x5EED0000 + world().nextIdentity++;
    return node;
}

Node* liveNode(AXUIElementRef element, const char* call) {
    Object* object = live(element, call, Kind::Element);
    return object ? object->node.get() : nullptr;
}

}  // namespace

// --- control ---

CFStringRef string(std::string_view utf8) {
    return static_cast<CFStringRef>(held(makeString(fromUtf8(utf8))));
}

CFStringRef utf16String(std::u16string_view units) {
    return static_cast<CFStringRef>(held(makeString(std::u16string(units))));
}

CFAttributedStringRef attributedString(std::string_view utf8) {
    Object* inner = makeString(fromUtf8(utf8));
    Object* object = make(Kind::AttributedString, "attributed " + inner->label);
    object->inner = inner;
    return static_cast<CFAttributedStringRef>(held(object));
}

CFAttributedStringRef attributedStringWithoutText() {
    return static_cast<CFAttributedStringRef>(
        held(make(Kind::AttributedString, "attributed string without text")));
}

CFNumberRef integer(int64_t value) {
    Object* object = make(Kind::Number, "number " + std::to_string(value));
    object->integer = value;
    return static_cast<CFNumberRef>(held(object));
}

CFNumberRef floating(double value) {
    Object* object = make(Kind::Number, "number " + number(value));
    object->isFloat = true;
    object->floating = value;
    return static_cast<CFNumberRef>(held(object));
}

CFNumberRef largeUnsigned(uint64_t value) {
    Object* object = make(Kind::Number, "number " + std::to_string(value));
    object->beyondInt64 = true;
    object->unsignedValue = value;
    return static_cast<CFNumberRef>(held(object));
}

CFArrayRef array(std::vector<CFTypeRef> items) {
    std::string label = "array [";
    for (CFTypeRef item : items) {
        if (live(item, "array item")) CFRetain(item);
        label += (label.back() == '[' ? "" : ", ") + describe(item);
    }
    Object* object = make(Kind::Array, label + "]");
    object->items = std::move(items);
    return static_cast<CFArrayRef>(held(object));
}

AXValueRef pointBox(double x, double y) {
    CGPoint p = CGPointMake(x, y);
    return static_cast<AXValueRef>(
        held(makeBox(kAXValueTypeCGPoint, &p, sizeof p, "point box " + number(x) + "," + number(y))));
}

AXValueRef sizeBox(double width, double height) {
    CGSize s{width, height};
    return static_cast<AXValueRef>(held(
        makeBox(kAXValueTypeCGSize, &s, sizeof s, "size box " + number(width) + "," + number(height))));
}

AXValueRef rectBox(double x, double y, double width, double height) {
    CGRect r{{x, y}, {width, height}};
    return static_cast<AXValueRef>(held(makeBox(kAXValueTypeCGRect, &r, sizeof r, "rect box")));
}

AXValueRef rangeBox(CFIndex location, CFIndex length) {
    CFRange r = CFRangeMake(location, length);
    return static_cast<AXValueRef>(held(makeBox(kAXValueTypeCFRange, &r, sizeof r, "range box")));
}

CFTypeRef otherObject() {
    return held(make(Kind::Other, "dictionary"));
}

AXUIElementRef element(std::string name) {
    return static_cast<AXUIElementRef>(held(newHandle(newNode(std::move(name)))));
}

AXUIElementRef anotherHandle(AXUIElementRef element) {
    Object* object = live(element, "anotherHandle", Kind::Element);
    if (!object) return nullptr;
    return static_cast<AXUIElementRef>(held(newHandle(object->node)));
}

void setAttribute(AXUIElementRef element, std::string attribute, AXError code, CFTypeRef value) {
    Node* node = liveNode(element, "setAttribute");
    if (!node) return;
    if (value && live(value, "setAttribute value")) {
        CFRetain(value);
        world().held.push_back(value);
    }
    node->attributes[std::move(attribute)] = Answer{code, value};
}

void setActionNames(AXUIElementRef element, AXError code, CFTypeRef names) {
    Node* node = liveNode(element, "setActionNames");
    if (!node) return;
    if (names && live(names, "setActionNames value")) {
        CFRetain(names);
        world().held.push_back(names);
    }
    node->actionNames = Answer{code, names};
}

void setPerformResult(AXUIElementRef element, AXError code) {
    if (Node* node = liveNode(element, "setPerformResult")) node->performResult = code;
}

void setWriteResult(AXUIElementRef element, AXError code) {
    if (Node* node = liveNode(element, "setWriteResult")) node->writeResult = code;
}

void quit(AXUIElementRef element) {
    if (Node* node = liveNode(element, "quit")) node->gone = true;
}

void setApplication(pid_t pid, AXUIElementRef root) {
    if (Object* object = live(root, "setApplication", Kind::Element)) {
        world().applications[pid] = object->node;
    }
}

void setElementAtPosition(AXError code, AXUIElementRef element) {
    if (element && live(element, "setElementAtPosition", Kind::Element)) {
        CFRetain(element);
        world().held.push_back(element);
    }
    world().atPosition = Answer{code, element};
}

void setTrusted(bool trusted) {
    world().trusted = trusted;
}

void setEventCreationFails(bool fails) {
    world().eventsFail = fails;
}

void addRunningApplication(int64_t activationPolicy, bool isActive, CFStringRef bundleIdentifier,
                           CFStringRef localizedName, int32_t processIdentifier) {
    world().runningApps.push_back(
        {activationPolicy, isActive, bundleIdentifier, localizedName, processIdentifier});
}

std::vector<std::string> calls() {
    return world().calls;
}

void clearCalls() {
    world().calls.clear();
}

CFIndex references(CFTypeRef object) {
    if (!object || !world().registry.count(asObject(object))) return -1;
    return asObject(object)->refs;
}

std::string textOf(CFStringRef string) {
    const Object* object = live(string, "textOf", Kind::String);
    return object ? toUtf8(object->text) : std::string();
}

std::vector<std::string> finish() {
    World& w = world();
    std::vector<CFTypeRef> held = std::move(w.held);
    w.held.clear();
    for (CFTypeRef ref : held) CFRelease(ref);
    for (const auto& object : w.objects) {
        if (object->refs > 0) {
            w.problems.push_back("leak: " + object->label + " still has " +
                                 std::to_string(object->refs) + " reference(s)");
        }
    }
    std::vector<std::string> problems = std::move(w.problems);
    w = World{};
    return problems;
}

}  // namespace standin

// Stands in for macos_workspace.mm, which only a Mac compiles: the same
// record conversion over the list the test configured.
std::vector<nuvra::RunningApplication> nuvra::macos::runningApplications() {
    std::vector<RunningApplication> apps;
    for (const standin::RunningApp& app : standin::world().runningApps) {
        apps.push_back(runningApplicationRecord(app.activationPolicy, app.isActive,
                                                app.bundleIdentifier, app.localizedName,
                                                app.processIdentifier));
    }
    return apps;
}

// --- the Apple API ---

using standin::Kind;
using standin::Object;

extern "C" {

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFBooleanRef kCFBooleanTrue = reinterpret_cast<CFBooleanRef>(&standin::gTrue);
const CFBooleanRef kCFBooleanFalse = reinterpret_cast<CFBooleanRef>(&standin::gFalse);

CFTypeRef CFRetain(CFTypeRef cf) {
    Object* object = standin::live(cf, "CFRetain");
    if (object && !object->immortal) ++object->refs;
    return cf;
}

void CFRelease(CFTypeRef cf) {
    if (!cf) {
        standin::problem("CFRelease(NULL)");
        return;
    }
    if (!standin::world().registry.count(standin::asObject(cf))) {
        standin::problem("CFRelease on an object the stand-in never made");
        return;
    }
    Object* object = standin::mutableObject(cf);
    if (object->immortal) return;
    if (object->refs <= 0) {
        standin::problem("over-release of " + object->label);
        return;
    }
    if (--object->refs == 0) standin::deallocate(object);
}

CFTypeID CFGetTypeID(CFTypeRef cf) {
    const Object* object = standin::live(cf, "CFGetTypeID");
    return object ? standin::typeIdOf(object->kind) : 0;
}

CFHashCode CFHash(CFTypeRef cf) {
    const Object* object = standin::live(cf, "CFHash");
    if (!object) return 0;
    if (object->kind == Kind::Element) return object->node->identity;
    if (object->kind == Kind::String) return std::hash<std::u16string>{}(object->text);
    return reinterpret_cast<CFHashCode>(cf);
}

CFTypeID CFStringGetTypeID(void) { return standin::typeIdOf(Kind::String); }
CFTypeID CFAttributedStringGetTypeID(void) { return standin::typeIdOf(Kind::AttributedString); }
CFTypeID CFNumberGetTypeID(void) { return standin::typeIdOf(Kind::Number); }
CFTypeID CFBooleanGetTypeID(void) { return standin::typeIdOf(Kind::Boolean); }
CFTypeID CFArrayGetTypeID(void) { return standin::typeIdOf(Kind::Array); }
CFTypeID AXUIElementGetTypeID(void) { return standin::typeIdOf(Kind::Element); }
CFTypeID AXValueGetTypeID(void) { return standin::typeIdOf(Kind::Value); }

CFIndex CFStringGetLength(CFStringRef theString) {
    const Object* object = standin::live(theString, "CFStringGetLength", Kind::String);
    return object ? static_cast<CFIndex>(object->text.size()) : 0;
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer) {
    const Object* object = standin::live(theString, "CFStringGetCharacters", Kind::String);
    if (!object) return;
    const auto size = static_cast<CFIndex>(object->text.size());
    if (range.location < 0 || range.length < 0 || range.location + range.length > size ||
        (range.length > 0 && !buffer)) {
        standin::problem("CFStringGetCharacters with a range outside " + object->label);
        return;
    }
    for (CFIndex i = 0; i < range.length; ++i) buffer[i] = object->text[range.location + i];
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar* chars,
                                         CFIndex numChars) {
    if (alloc != kCFAllocatorDefault) standin::problem("CFStringCreateWithCharacters: allocator");
    if (!chars || numChars < 0) {
        standin::problem("CFStringCreateWithCharacters without characters");
        return nullptr;
    }
    return static_cast<CFStringRef>(
        static_cast<CFTypeRef>(standin::makeString(std::u16string(chars, chars + numChars))));
}

CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2,
                                   CFStringCompareFlags compareOptions) {
    const Object* a = standin::live(theString1, "CFStringCompare", Kind::String);
    const Object* b = standin::live(theString2, "CFStringCompare", Kind::String);
    standin::log("CFStringCompare " + standin::describe(theString1) + " " +
                 standin::describe(theString2) + " flags=" + std::to_string(compareOptions));
    if (!a || !b) return kCFCompareLessThan;
    if (compareOptions == (kCFCompareCaseInsensitive | kCFCompareDiacriticInsensitive)) {
        const std::string first = standin::toUtf8(a->text);
        const std::string second = standin::toUtf8(b->text);
        if (nuvra::foldedEqual(first, second)) return kCFCompareEqualTo;
        return first < second ? kCFCompareLessThan : kCFCompareGreaterThan;
    }
    if (compareOptions == 0) {
        if (a->text == b->text) return kCFCompareEqualTo;
        return a->text < b->text ? kCFCompareLessThan : kCFCompareGreaterThan;
    }
    standin::problem("CFStringCompare with options the stand-in does not model: " +
                     std::to_string(compareOptions));
    return kCFCompareLessThan;
}

CFStringRef CFAttributedStringGetString(CFAttributedStringRef aStr) {
    const Object* object =
        standin::live(aStr, "CFAttributedStringGetString", Kind::AttributedString);
    return object ? static_cast<CFStringRef>(object->inner) : nullptr;
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
    const Object* object = standin::live(number, "CFNumberIsFloatType", Kind::Number);
    return object && object->isFloat;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
    const Object* object = standin::live(number, "CFNumberGetValue", Kind::Number);
    if (!object || !valuePtr) return false;
    if (theType == kCFNumberSInt64Type) {
        int64_t out = 0;
        bool exact = true;
        if (object->beyondInt64) {
            out = static_cast<int64_t>(object->unsignedValue & 0x7FFFFFFFFFFFFFFFull);
            exact = false;
        } else if (object->isFloat) {
            const double d = object->floating;
            exact = std::isfinite(d) && d >= -9.2e18 && d <= 9.2e18 && std::trunc(d) == d;
            out = exact ? static_cast<int64_t>(d) : 0;
        } else {
            out = object->integer;
        }
        std::memcpy(valuePtr, &out, sizeof out);
        return exact;
    }
    if (theType == kCFNumberDoubleType || theType == kCFNumberFloat64Type) {
        double out = object->isFloat       ? object->floating
                     : object->beyondInt64 ? static_cast<double>(object->unsignedValue)
                                           : static_cast<double>(object->integer);
        std::memcpy(valuePtr, &out, sizeof out);
        return true;
    }
    standin::problem("CFNumberGetValue with a number type the stand-in does not model");
    return false;
}

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
    const Object* object = standin::live(boolean, "CFBooleanGetValue", Kind::Boolean);
    return object && object->boolean;
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
    const Object* object = standin::live(theArray, "CFArrayGetCount", Kind::Array);
    return object ? static_cast<CFIndex>(object->items.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
    const Object* object = standin::live(theArray, "CFArrayGetValueAtIndex", Kind::Array);
    if (!object) return nullptr;
    if (idx < 0 || idx >= static_cast<CFIndex>(object->items.size())) {
        standin::problem("CFArrayGetValueAtIndex out of range on " + object->label);
        return nullptr;
    }
    return object->items[static_cast<size_t>(idx)];
}

Boolean AXIsProcessTrusted(void) {
    standin::log("AXIsProcessTrusted");
    return standin::world().trusted;
}

AXUIElementRef AXUIElementCreateApplication(pid_t pid) {
    standin::log("AXUIElementCreateApplication " + std::to_string(pid));
    auto& apps = standin::world().applications;
    auto found = apps.find(pid);
    std::shared_ptr<standin::Node> node;
    if (found != apps.end()) {
        node = found->second;
    } else {
        node = standin::newNode("pid " + std::to_string(pid));
        node->gone = true;
    }
    return static_cast<AXUIElementRef>(static_cast<CFTypeRef>(standin::newHandle(node)));
}

AXUIElementRef AXUIElementCreateSystemWide(void) {
    standin::log("AXUIElementCreateSystemWide");
    auto& node = standin::world().systemWide;
    if (!node) node = standin::newNode("systemWide");
    return static_cast<AXUIElementRef>(static_cast<CFTypeRef>(standin::newHandle(node)));
}

AXError AXUIElementCopyElementAtPosition(AXUIElementRef application, float x, float y,
                                         AXUIElementRef* element) {
    standin::Node* node = standin::liveNode(application, "AXUIElementCopyElementAtPosition");
    standin::log("AXUIElementCopyElementAtPosition " + standin::describe(application) + " " +
                 standin::number(x) + "," + standin::number(y));
    if (!element) {
        standin::problem("AXUIElementCopyElementAtPosition without an output slot");
        return kAXErrorIllegalArgument;
    }
    if (*element) standin::problem("AXUIElementCopyElementAtPosition: output slot not cleared");
    if (!node) return kAXErrorIllegalArgument;
    if (node->gone) return kAXErrorInvalidUIElement;
    const standin::Answer& answer = standin::world().atPosition;
    if (answer.value) {
        *element = static_cast<AXUIElementRef>(static_cast<CFTypeRef>(
            standin::newHandle(standin::asObject(answer.value)->node)));
    }
    return answer.code;
}

AXError AXUIElementCopyAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                      CFTypeRef* value) {
    standin::Node* node = standin::liveNode(element, "AXUIElementCopyAttributeValue");
    const Object* name = standin::live(attribute, "AXUIElementCopyAttributeValue", Kind::String);
    const std::string text = name ? standin::toUtf8(name->text) : std::string();
    standin::log("AXUIElementCopyAttributeValue " + standin::describe(element) + " " + text);
    if (!value) {
        standin::problem("AXUIElementCopyAttributeValue without an output slot");
        return kAXErrorIllegalArgument;
    }
    if (*value) standin::problem("AXUIElementCopyAttributeValue: output slot not cleared");
    if (!node || !name) return kAXErrorIllegalArgument;
    if (node->gone) return kAXErrorInvalidUIElement;
    auto found = node->attributes.find(text);
    if (found == node->attributes.end()) return kAXErrorAttributeUnsupported;
    if (found->second.value) *value = CFRetain(found->second.value);
    return found->second.code;
}

AXError AXUIElementCopyActionNames(AXUIElementRef element, CFArrayRef* names) {
    standin::Node* node = standin::liveNode(element, "AXUIElementCopyActionNames");
    standin::log("AXUIElementCopyActionNames " + standin::describe(element));
    if (!names) {
        standin::problem("AXUIElementCopyActionNames without an output slot");
        return kAXErrorIllegalArgument;
    }
    if (*names) standin::problem("AXUIElementCopyActionNames: output slot not cleared");
    if (!node) return kAXErrorIllegalArgument;
    if (node->gone) return kAXErrorInvalidUIElement;
    if (!node->actionNames) return kAXErrorFailure;
    if (node->actionNames->value) {
        *names = static_cast<CFArrayRef>(CFRetain(node->actionNames->value));
    }
    return node->actionNames->code;
}

AXError AXUIElementPerformAction(AXUIElementRef element, CFStringRef action) {
    standin::Node* node = standin::liveNode(element, "AXUIElementPerformAction");
    const Object* name = standin::live(action, "AXUIElementPerformAction", Kind::String);
    standin::log("AXUIElementPerformAction " + standin::describe(element) + " " +
                 (name ? standin::toUtf8(name->text) : std::string("?")));
    if (!node || !name) return kAXErrorIllegalArgument;
    if (node->gone) return kAXErrorInvalidUIElement;
    return node->performResult;
}

AXError AXUIElementSetAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                     CFTypeRef value) {
    standin::Node* node = standin::liveNode(element, "AXUIElementSetAttributeValue");
    const Object* name = standin::live(attribute, "AXUIElementSetAttributeValue", Kind::String);
    const Object* written = standin::live(value, "AXUIElementSetAttributeValue");
    standin::log("AXUIElementSetAttributeValue " + standin::describe(element) + " " +
                 (name ? standin::toUtf8(name->text) : std::string("?")) + " " +
                 standin::describe(value));
    if (!node || !name || !written) return kAXErrorIllegalArgument;
    if (node->gone) return kAXErrorInvalidUIElement;
    return node->writeResult;
}

Boolean AXValueGetValue(AXValueRef value, AXValueType theType, void* valuePtr) {
    const Object* object = standin::live(value, "AXValueGetValue", Kind::Value);
    if (!object || !valuePtr) return false;
    if (object->boxType != theType) return false;
    std::memcpy(valuePtr, object->box, standin::boxSize(theType));
    return true;
}

CGEventRef CGEventCreateMouseEvent(CGEventSourceRef source, CGEventType mouseType,
                                   CGPoint mouseCursorPosition, CGMouseButton mouseButton) {
    std::string call = "CGEventCreateMouseEvent source=" +
                       std::string(source ? "set" : "null") +
                       " type=" + std::to_string(mouseType) +
                       " at=" + standin::number(mouseCursorPosition.x) + "," +
                       standin::number(mouseCursorPosition.y) +
                       " button=" + std::to_string(mouseButton);
    if (standin::world().eventsFail) {
        standin::log(call + " -> NULL");
        return nullptr;
    }
    Object* event = standin::make(Kind::Event, "ev" + std::to_string(standin::world().nextEvent++));
    standin::log(call + " -> " + event->label);
    return reinterpret_cast<CGEventRef>(event);
}

CGEventRef CGEventCreateScrollWheelEvent2(CGEventSourceRef source, CGScrollEventUnit units,
                                          uint32_t wheelCount, int32_t wheel1, int32_t wheel2,
                                          int32_t wheel3) {
    std::string call = "CGEventCreateScrollWheelEvent2 source=" +
                       std::string(source ? "set" : "null") +
                       " units=" + std::to_string(units) +
                       " count=" + std::to_string(wheelCount) +
                       " wheels=" + std::to_string(wheel1) + "," + std::to_string(wheel2) + "," +
                       std::to_string(wheel3);
    if (standin::world().eventsFail) {
        standin::log(call + " -> NULL");
        return nullptr;
    }
    Object* event = standin::make(Kind::Event, "ev" + std::to_string(standin::world().nextEvent++));
    standin::log(call + " -> " + event->label);
    return reinterpret_cast<CGEventRef>(event);
}

void CGEventPost(CGEventTapLocation tap, CGEventRef event) {
    standin::live(event, "CGEventPost", Kind::Event);
    standin::log("CGEventPost tap=" + std::to_string(tap) + " " + standin::describe(event));
}

}  // extern "C"
