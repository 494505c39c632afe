// The Apple API stand-in: one ledger of objects {references, payload, number}
// and one generic definition per kind of call in calls.def. The payload of an
// object is the opaque struct its reference type points to in Apple's headers
// (a CFStringRef names a __CFString), so a call checks the type of its
// argument by asking the payload for that struct. Objects stay in the ledger
// until reset(): a call on a released object or an over-release is reported,
// never a crash.
#include "standin.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <type_traits>
#include <variant>

#include "platform/macos/macos_backend.h"
#include "text/utf8.h"

struct __CFString { std::u16string units; };
struct __CFAttributedString { CFStringRef string; };  // holds a reference
struct __CFNumber { long double value; bool isFloat; };
struct __CFBoolean { bool value; };
struct __CFArray { std::vector<CFTypeRef> items; };  // holds a reference to each
struct __AXUIElement { CFHashCode identity; };       // what CFHash answers: the pid
struct __AXValue { AXValueType type; std::string bytes; };  // 16: a point, size or range
struct __CGEvent {};
struct CGImage { size_t width, height; std::vector<uint32_t> pixels; };
struct CGContext { void* data; size_t width, height, bytesPerRow; uint32_t info; };
struct CGColorSpace {};

namespace standin {
namespace {

using Payload = std::variant<__CFString, __CFAttributedString, __CFNumber, __CFBoolean, __CFArray,
                             __AXUIElement, __AXValue, __CGEvent, CGImage, CGContext, CGColorSpace>;
struct Object { long refs; Payload payload; size_t number; };
struct World {
    std::deque<Object> objects;
    std::vector<std::string> calls, problems;
    std::map<std::string, std::pair<long, CFTypeRef>, std::less<>> answers;  // code, value
    std::set<CFHashCode> hung;  // processes
    std::vector<CGRect> displays;
    double scale = 1;
} world;
Object gTrue{1L << 40, __CFBoolean{true}, 0}, gFalse{1L << 40, __CFBoolean{false}, 0};

void problem(std::string what) { world.problems.push_back(std::move(what)); }

// The object behind `ref`. Given the call, only a live one; any other is
// reported as a misuse by that call.
Object* find(const void* ref, const char* call = nullptr) {
    Object* found = ref == &gTrue ? &gTrue : ref == &gFalse ? &gFalse : nullptr;
    for (Object& object : world.objects) found = &object == ref ? &object : found;
    if (!call || (found && found->refs > 0)) return found;
    return problem(std::string(call) + " on a released or unknown object"), nullptr;
}

// --- arguments in the call log: strings as their text, objects by number ---
std::string show(const void* ref) {
    const Object* object = find(ref);
    if (object && object->refs <= 0) problem("a released object passed on");
    const auto* s = object ? std::get_if<__CFString>(&object->payload) : nullptr;
    if (!s) return object ? "#" + std::to_string(object->number) : ref ? "ptr" : "null";
    std::string text = "\"";
    for (char16_t unit : s->units) nuvra::utf8::appendUtf8(text, unit);
    return text + '"';
}
template <class T> requires std::is_arithmetic_v<T> || std::is_enum_v<T>
std::string show(T v) { return (std::ostringstream() << +v).str(); }
std::string show(CGPoint p) { return show(p.x) + "," + show(p.y); }
std::string show(CGRect r) { return show(r.origin) + " " + show(r.size.width) + "x" + show(r.size.height); }
// A UTF-16 string handed over with its length, shown as its UTF-8 text.
struct UnicodeText { const UniChar* units; UniCharCount n; };
std::string show(UnicodeText t) {
    std::string text = "\"";
    for (UniCharCount i = 0; i < t.n; ++i) {
        char32_t unit = t.units[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < t.n)  // a surrogate pair
            unit = 0x10000 + ((unit - 0xD800) << 10) + (t.units[++i] - 0xDC00);
        nuvra::utf8::appendUtf8(text, unit);
    }
    return text + '"';
}

// --- payloads from the arguments of the CREATE calls, overloaded on their types ---
Payload from(const UniChar* chars, CFIndex n) { return __CFString{std::u16string(chars, chars + n)}; }
Payload from(CFStringRef s, CFDictionaryRef) { return __CFAttributedString{CFStringRef(CFRetain(s))}; }
Payload from(const void** items, CFIndex n, const CFArrayCallBacks*) {
    std::for_each(items, items + n, CFRetain);
    return __CFArray{std::vector<CFTypeRef>(items, items + n)};
}
Payload from(CFNumberType type, const void* v) {  // 17: kCFNumberSInt128Type, private to CF
    const auto* wide = static_cast<const int64_t*>(v);  // {int64_t high; uint64_t low;}
    if (type == 17) return __CFNumber{wide[0] * 0x1p64L + uint64_t(wide[1]), false};
    if (type == kCFNumberSInt64Type) return __CFNumber{static_cast<long double>(wide[0]), false};
    return __CFNumber{*static_cast<const double*>(v), true};
}
Payload from(AXValueType type, const void* v) { return __AXValue{type, std::string((const char*)v, 16)}; }
Payload from(pid_t pid = 0) { return __AXUIElement{CFHashCode(pid)}; }  // 0: the system-wide one
template <class... A> Payload from(CGEventSourceRef, A...) { return __CGEvent{}; }
Payload from(CFStringRef) { return CGColorSpace{}; }
Payload from(void* data, size_t w, size_t h, size_t, size_t row, CGColorSpaceRef, uint32_t info) {
    return CGContext{data, w, h, row, info};
}
Payload from(CGRect r, uint32_t, uint32_t, uint32_t) {  // what standin::screen shows in r
    CGImage image{size_t(r.size.width * world.scale), size_t(r.size.height * world.scale), {}};
    for (size_t y = 0; y < image.height; ++y)
        for (size_t x = 0; x < image.width; ++x)
            image.pixels.push_back(0xFF000033u | uint32_t(size_t(r.origin.x * world.scale) + x) % 256 << 16 |
                                   uint32_t(size_t(r.origin.y * world.scale) + y) % 256 << 8);
    return image;
}
template <class... A> Payload from(CFAllocatorRef, A... rest) { return from(rest...); }

// --- what the GET calls read, overloaded on the payload ---
CFIndex read(const __CFString& s) { return CFIndex(s.units.size()); }
void read(const __CFString& s, CFRange r, UniChar* out) {  // throws for a start outside the string
    std::ranges::copy(std::u16string_view(s.units).substr(size_t(r.location), size_t(r.length)), out);
}
CFStringRef read(const __CFAttributedString& s) { return s.string; }
Boolean read(const __CFNumber& n) { return n.isFloat; }
Boolean read(const __CFNumber& n, CFNumberType type, void* out) {  // false when lossy, as in CF
    const bool whole = n.value >= -0x1p63L && n.value < 0x1p63L && n.value == std::trunc(n.value);
    if (type == kCFNumberSInt64Type) return *static_cast<int64_t*>(out) = whole ? int64_t(n.value) : 0, whole;
    if (type == kCFNumberDoubleType) return *static_cast<double*>(out) = double(n.value), true;
    return problem("unmodelled number type"), false;
}
Boolean read(const __CFBoolean& b) { return b.value; }
CFIndex read(const __CFArray& a) { return CFIndex(a.items.size()); }
const void* read(const __CFArray& a, CFIndex i) { return a.items.at(size_t(i)); }
Boolean read(const __AXValue& box, AXValueType type, void* out) {
    return box.type == type && box.bytes.copy(static_cast<char*>(out), 16);
}
void read(const CGContext& c, CGRect r, CGImageRef ref) {
    const auto* image = find(ref) ? std::get_if<CGImage>(&find(ref)->payload) : nullptr;
    if (!image || c.info != (kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little) || c.bytesPerRow != 4 * c.width ||
        r.origin.x != 0 || r.origin.y != 0 || r.size.width != c.width || r.size.height != c.height ||
        image->width != c.width || image->height != c.height)
        return problem("CGContextDrawImage outside what the stand-in models");
    std::ranges::copy(image->pixels, static_cast<uint32_t*>(c.data));  // little-endian words, as on a Mac
}
AXError read(const __AXUIElement& element, pid_t* out) { return *out = pid_t(element.identity), kAXErrorSuccess; }

// Whether a call's subject is an element of a hung process.
template <class... A> bool stalls(A...) { return false; }
template <class... A> bool stalls(AXUIElementRef ref, A...) {
    const auto* element = find(ref) ? std::get_if<__AXUIElement>(&find(ref)->payload) : nullptr;
    return element && world.hung.count(element->identity);
}

// --- the kinds of calls.def ---
template <class Ret, class... A> Ret answer(const char* name, A... args) {
    world.calls.push_back((std::string(name) += ... += (" " + show(args))));
    return static_cast<Ret>(stalls(args...) ? long{kAXErrorCannotComplete} : world.answers[name].first);
}
template <class Ret, class... A> Ret create(const char* name, A... args) {
    if (answer<long>(name, args...)) return nullptr;  // a scripted failure
    return reinterpret_cast<Ret>(&world.objects.emplace_back(Object{1, from(args...), world.objects.size()}));
}
template <class Ret, class Ref, class... A> Ret get(const char* name, Ref ref, A... args) {
    const Object* object = find(ref, name);
    using P = std::remove_cvref_t<decltype(*ref)>;  // the struct the parameter's type names
    const P* payload = object ? std::get_if<P>(&object->payload) : nullptr;
    return payload ? read(*payload, args...) : (problem(std::string(name) + " on another type"), Ret());
}
template <class Ret, class... A> Ret slot(const char* name, A... args) {
    const auto out = std::get<sizeof...(A) - 1>(std::tuple(args...));
    const CFTypeRef value = world.answers[name].second;
    if (!out || *out) problem(std::string(name) + " without a cleared output slot");
    else if (value && !stalls(args...)) *out = static_cast<std::remove_pointer_t<decltype(out)>>(CFRetain(value));
    return answer<Ret>(name, args...);
}

template <class Ret, class... A> Ret count(const char* name, A... args) {
    CFIndex* const out = std::get<sizeof...(A) - 1>(std::tuple(args...));
    const Object* object = find(world.answers[name].second);
    const auto* array = object ? std::get_if<__CFArray>(&object->payload) : nullptr;
    if (array && !stalls(args...)) *out = CFIndex(array->items.size());
    return answer<Ret>(name, args...);
}

}  // namespace

void script(const char* name, long code, CFTypeRef value) { world.answers[name] = {code, value}; }
void hang(pid_t pid) { world.hung.insert(CFHashCode(pid)); }
void setDisplays(std::vector<CGRect> frames) { world.displays = std::move(frames); }
void screen(double pixelsPerPoint) { world.scale = pixelsPerPoint; }

std::vector<std::string> calls(std::string_view prefix) {
    std::vector<std::string> found;
    for (const std::string& call : world.calls) if (call.starts_with(prefix)) found.push_back(call);
    return found;
}

std::vector<std::string> reset() {
    for (const Object& o : world.objects) if (o.refs > 0) problem("leak: " + show(&o) + " still held");
    return std::exchange(world, World{}).problems;
}

}  // namespace standin

// Stands in for macos_workspace.mm and macos_screencapturekit.mm, which only
// a Mac compiles: no application runs, none can be activated, none is installed.
std::vector<nuvra::RunningApplication> nuvra::macos::runningApplications() { return {}; }
bool nuvra::macos::activateRunningApplication(int32_t) { return false; }
nuvra::LaunchedProcess nuvra::macos::launchApplication(std::string_view) { return {}; }
nuvra::macos::KitCapture nuvra::macos::screenCaptureKitImage(CGRect rect, CFHandle<CGImageRef>& out) {
    const long code = standin::answer<long>("SCScreenshotManager", rect);
    if (code != 1) return code == 0 ? KitCapture::Unavailable : KitCapture::Failed;
    auto& world = standin::world;
    out = CFHandle<CGImageRef>::adopt(reinterpret_cast<CGImageRef>(
        &world.objects.emplace_back(standin::Object{1, standin::from(rect, 0u, 0u, 0u), world.objects.size()})));
    return KitCapture::Captured;
}
static const CGImage* imageOf(CGImageRef ref) {
    auto* object = standin::find(ref, "CGImageGet");
    return object ? std::get_if<CGImage>(&object->payload) : nullptr;
}
size_t CGImageGetWidth(CGImageRef ref) { return imageOf(ref) ? imageOf(ref)->width : 0; }
size_t CGImageGetHeight(CGImageRef ref) { return imageOf(ref) ? imageOf(ref)->height : 0; }

// The Apple API itself: C functions, as first declared in apple_api.h.
const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFBooleanRef kCFBooleanTrue = reinterpret_cast<CFBooleanRef>(&standin::gTrue);
const CFBooleanRef kCFBooleanFalse = reinterpret_cast<CFBooleanRef>(&standin::gFalse);
const CFArrayCallBacks kCFTypeArrayCallBacks{0};
const CFStringRef kCGColorSpaceSRGB = nullptr;  // a name the stand-in does not read

CFTypeRef CFRetain(CFTypeRef cf) {
    if (auto* object = standin::find(cf, "CFRetain")) ++object->refs;
    return cf;
}
void CFRelease(CFTypeRef cf) {  // the last release lets go of what the object holds
    auto* object = standin::find(cf, "CFRelease");
    if (!object || --object->refs > 0) return;
    if (auto* a = std::get_if<__CFArray>(&object->payload)) std::ranges::for_each(a->items, CFRelease);
    if (auto* s = std::get_if<__CFAttributedString>(&object->payload)) CFRelease(s->string);
}
CFIndex CFGetRetainCount(CFTypeRef cf) { return standin::find(cf) ? standin::find(cf)->refs : 0; }
CFTypeID CFGetTypeID(CFTypeRef cf) {
    return standin::find(cf, "CFGetTypeID") ? standin::find(cf)->payload.index() + 1 : 0;
}
CFHashCode CFHash(CFTypeRef cf) {
    const auto* object = standin::find(cf, "CFHash");
    const auto* element = object ? std::get_if<__AXUIElement>(&object->payload) : nullptr;
    return element ? element->identity : CFHashCode(cf);
}

// Display numbers are 1 upwards, in the order setDisplays gave them.
CGError CGGetActiveDisplayList(uint32_t max, CGDirectDisplayID* ids, uint32_t* count) {
    const auto& displays = standin::world.displays;
    *count = 0;
    for (; *count < max && *count < displays.size(); ++*count) ids[*count] = *count + 1;
    return 0;
}
CGRect CGDisplayBounds(CGDirectDisplayID display) {
    const auto& displays = standin::world.displays;
    return display >= 1 && display <= displays.size() ? displays[display - 1] : CGRect{};
}

#define X(kind, Ret, name, params, ...) KIND_##kind(Ret, name, params __VA_OPT__(, ) __VA_ARGS__)
#define KIND_LEDGER(...)
#define KIND_TYPE_ID(Ret, name, params, P) Ret name params { return standin::Payload(P{}).index() + 1; }
#define KIND_CREATE(Ret, name, params, ...) Ret name params { return standin::create<Ret>(#name __VA_OPT__(, ) __VA_ARGS__); }
#define KIND_GET(Ret, name, params, ...) Ret name params { return standin::get<Ret>(#name, __VA_ARGS__); }
#define KIND_SLOT(Ret, name, params, ...) Ret name params { return standin::slot<Ret>(#name, __VA_ARGS__); }
#define KIND_COUNT(Ret, name, params, ...) Ret name params { return standin::count<Ret>(#name, __VA_ARGS__); }
#define KIND_ANSWER(Ret, name, params, ...) Ret name params { return standin::answer<Ret>(#name __VA_OPT__(, ) __VA_ARGS__); }
#include "calls.def"
