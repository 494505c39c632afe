// The macOS backend in four tables: values, accessibility calls, events and
// workspace records. On a Mac they run against the real frameworks, with
// ownership checked through CFGetRetainCount; elsewhere against the stand-in
// in tests/apple_standin, whose ledger answers the same counts and reports
// every leak and misuse after each test. The parts marked "stand-in only"
// script the platform's answers or read the arguments it was called with.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "ax/targeting.h"
#include "input/keyboard.h"
#include "platform/macos/macos_backend.h"
#include "platform/native.h"
#ifndef __APPLE__
#include "standin.h"
#endif

namespace nuvra::macos {
namespace {

using Ref = CFHandle<CFTypeRef>;
using Calls = std::vector<std::string>;
using namespace std::literals;
Ref own(CFTypeRef created) { return Ref::adopt(created); }
CFIndex refs(const Ref& ref) { return CFGetRetainCount(ref.get()); }

// New values whose one reference the caller takes over.
CFTypeRef str(std::u16string_view s) {
    return CFStringCreateWithCharacters(nullptr, (const UniChar*)s.data(), CFIndex(s.size()));
}
template <class T> CFTypeRef num(CFNumberType type, T v) { return CFNumberCreate(nullptr, type, &v); }
template <class T> CFTypeRef box(AXValueType type, T v) { return AXValueCreate(type, &v); }
CFTypeRef arr(std::vector<CFTypeRef> items) {  // takes over the items' references
    CFTypeRef array = CFArrayCreate(nullptr, items.data(), CFIndex(items.size()), &kCFTypeArrayCallBacks);
    for (CFTypeRef item : items) CFRelease(item);
    return array;
}

std::string render(const AttrValue& v) {
    const char* const kinds[] = {"text \"", "attributed \"", "", "[", "element",
                                 "point ", "size ", "box", "other"};
    const char* const numbers[] = {"integer ", "floating ", "boolean "};
    std::string out = kinds[int(v.kind)] + v.text;
    if (v.kind == ValueKind::Number) out += numbers[int(v.numberKind)] + v.decimal;
    if (v.first || v.second) out += std::to_string(v.first) + "," + std::to_string(v.second);  // boxes only
    for (const AttrValue& item : v.items) out += render(item) + (&item == &v.items.back() ? "" : ", ");
    return out + (v.kind == ValueKind::Array ? "]" : v.kind <= ValueKind::AttributedText ? "\"" : "");
}
std::string render(const std::optional<AttrValue>& v) { return v ? render(*v) : "none"; }

struct Backend : ::testing::Test {
#ifndef __APPLE__
    void TearDown() override { EXPECT_EQ(standin::reset(), Calls{}); }
#endif
    std::unique_ptr<Platform> platform = makeNativePlatform();
};

TEST_F(Backend, ValuesAsTypedWhileTheCallerKeepsThem) {
    CFTypeRef nested = str(u"leaf");
    for (int i = 0; i < 40; ++i) nested = arr({nested});
    const Ref hi = own(str(u"Hi"));
    const std::pair<CFTypeRef, std::string> rows[] = {
        {str(u"e\u0301\0 \U0001F44D"sv), "text \"e\xCC\x81\0 \xF0\x9F\x91\x8D\""s},
        {str(u"a\xD800" "b\xDC00\xD800"), "text \"a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {CFRetain(cfStringFromUtf8("\xC3\xA9\xF0\x9F\x91\x8D a\x80z\xE2\x82x\xF0\x9F\x91").get()),
         "text \"\xC3\xA9\xF0\x9F\x91\x8D a\xEF\xBF\xBDz\xEF\xBF\xBDx\xEF\xBF\xBD\""},
        {CFAttributedStringCreate(nullptr, CFStringRef(hi.get()), nullptr), "attributed \"Hi\""},
        {num(kCFNumberSInt64Type, INT64_MIN), "integer -9223372036854775808"},
        // Beyond int64: kCFNumberSInt128Type (17), as NSNumber keeps a large unsigned.
        {num(CFNumberType(17), std::pair(int64_t(0), UINT64_MAX)), "floating 1.8446744073709552e+19"},
        {num(kCFNumberFloat64Type, 3.0), "floating 3"},
        {num(kCFNumberFloat64Type, 0.1), "floating 0.1"},
        {num(kCFNumberFloat64Type, 0.1 + 0.2), "floating 0.30000000000000004"},  // all 17 digits
        // A CFBoolean is no CFNumber; an event is a type the backend does not translate.
        {arr({CFRetain(kCFBooleanTrue), CFRetain(kCFBooleanFalse),
              CGEventCreateMouseEvent(nullptr, CGEventType(5), {}, CGMouseButton(0))}),
         "[boolean 1, boolean 0, other]"},
        {nested, std::string(32, '[') + "other" + std::string(32, ']')},  // nesting stops at 32
        {AXUIElementCreateApplication(getpid()), "element"},
        {box(kAXValueTypeCGPoint, CGPoint{10, 20.5}), "point 10.000000,20.500000"},
        {box(kAXValueTypeCGSize, CGSize{1440, 875}), "size 1440.000000,875.000000"},
        {box(kAXValueTypeCGRect, CGRect{{1, 2}, {3, 4}}), "box"},
    };
    for (const auto& [value, expected] : rows) {
        ASSERT_NE(value, nullptr) << expected;
        const Ref owned = own(value);
        const CFIndex before = refs(owned);
        std::optional<AttrValue> translated = attrValueFromCF(value);
        EXPECT_EQ(render(translated), expected);
        // The Get rule: nothing released; only an element is kept, while its value lives.
        EXPECT_EQ(refs(owned), before + (translated->kind == ValueKind::ElementRef)) << expected;
        translated.reset();
        EXPECT_EQ(refs(owned), before) << expected;
    }
}

TEST_F(Backend, ElementsAreKnownByTheirHashAndNamesCompareIgnoringCaseAndDiacritics) {
    const auto id = [&](pid_t p) { return platform->identityHash(platform->createApplicationElement(p)); };
    EXPECT_EQ(id(getpid()), id(getpid()));  // two handles, one element
    EXPECT_NE(id(getpid()), id(1));
    std::optional<AttrValue> out = AttrValue::other();  // a null element is never asked
    EXPECT_EQ(platform->copyAttributeValue(Element(), "AXRole", out), kAXErrorInvalidUIElement);
    const std::pair<const char*, CFComparisonResult> rows[] = {
        {"EDITEUR", kCFCompareEqualTo}, {"Editeurs", kCFCompareLessThan}, {"Editeu", kCFCompareGreaterThan}};
    for (const auto& [other, answer] : rows) {
#ifndef __APPLE__  // the real frameworks answer for themselves
        standin::script("CFStringCompare", answer);
#endif
        EXPECT_EQ(platform->equalIgnoringCaseAndDiacritics("\xC3\x89" "diteur", other),
                  answer == kCFCompareEqualTo);
    }
#ifndef __APPLE__  // stand-in only: the options asked for
    EXPECT_EQ(standin::calls("CFStringCompare")[0], "CFStringCompare \"\xC3\x89" "diteur\" \"EDITEUR\" 129");
#endif
}

#ifndef __APPLE__  // stand-in only: scripted answers, and what was passed
TEST_F(Backend, AccessibilityCallsKeepTheSlotContractAndReleaseWhatTheyAreGiven) {
    const Ref title = own(str(u"Title")), names = own(arr({str(u"AXPress")}));
    const Ref found = own(AXUIElementCreateApplication(9));
    const Element window = platform->createApplicationElement(7);
    const struct { AXError code; bool filled; std::string expected; } rows[] = {
        {kAXErrorSuccess, true, "text \"Title\" [text \"AXPress\"] 9"},
        {kAXErrorSuccess, false, "none none 0"},
        {kAXErrorNoValue, false, "other other 7"},
        {kAXErrorCannotComplete, true, "other other 7"},  // a value returned together with an error
    };
    for (const auto& row : rows) {
        standin::script("AXUIElementCopyAttributeValue", row.code, row.filled ? title.get() : nullptr);
        standin::script("AXUIElementCopyActionNames", row.code, row.filled ? names.get() : nullptr);
        standin::script("AXUIElementCopyElementAtPosition", row.code, row.filled ? found.get() : nullptr);
        std::optional<AttrValue> attribute = AttrValue::other(), actions = AttrValue::other();
        Element at = window;
        // The calls themselves, without the run's memory of time-outs.
        EXPECT_EQ(copyAttributeValue(window, "AXTitle", attribute), row.code);
        EXPECT_EQ(copyActionNames(window, actions), row.code);
        EXPECT_EQ(copyElementAtPosition(window, 10.5f, 20.25f, at), row.code);
        EXPECT_EQ(render(attribute) + " " + render(actions) + " " +
                  std::to_string(platform->identityHash(at)), row.expected);
        at = nullptr;
        // Whatever a call handed out was released once: only the test's references remain.
        EXPECT_EQ(std::tuple(refs(title), refs(names), refs(found)), std::tuple(1, 1, 1)) << row.expected;
    }
    EXPECT_FALSE(platform->isProcessTrusted());  // asked each time, never remembered
    standin::script("AXIsProcessTrusted", 1);
    EXPECT_TRUE(platform->isProcessTrusted());
    standin::script("AXUIElementPerformAction", kAXErrorCannotComplete);
    EXPECT_EQ(platform->performAction(window, "AXPress"), kAXErrorCannotComplete);
    EXPECT_EQ(platform->setAttributeValue(window, "AXValue", "w\xC3\xB6rld"), kAXErrorSuccess);
    const Calls calls = standin::calls("AXUIElement");
    EXPECT_EQ(Calls(calls.end() - 5, calls.end()), (Calls{
        "AXUIElementCopyAttributeValue #4 \"AXTitle\" ptr", "AXUIElementCopyActionNames #4 ptr",
        "AXUIElementCopyElementAtPosition #4 10.5 20.25 ptr", "AXUIElementPerformAction #4 \"AXPress\"",
        "AXUIElementSetAttributeValue #4 \"AXValue\" \"w\xC3\xB6rld\""}));
}
#endif

#ifndef __APPLE__  // stand-in only: scripted answers
// A table's rows are counted, and read in ranges, without reading them all.
TEST_F(Backend, ArrayAttributesAreCountedAndReadInRanges) {
    const Ref rows = own(arr({AXUIElementCreateApplication(3), AXUIElementCreateApplication(4)}));
    standin::script("AXUIElementGetAttributeValueCount", kAXErrorSuccess, rows.get());
    standin::script("AXUIElementCopyAttributeValues", kAXErrorSuccess, rows.get());
    const Element table = platform->createApplicationElement(7);
    int64_t count = -1;
    std::optional<AttrValue> out;
    EXPECT_EQ(platform->getAttributeValueCount(table, "AXRows", count), kAXErrorSuccess);
    EXPECT_EQ(platform->copyAttributeValues(table, "AXVisibleRows", 5, 2, out), kAXErrorSuccess);
    EXPECT_EQ(std::tuple(count, render(out)), std::tuple(2, "[element, element]"));
    out.reset();
    EXPECT_EQ(refs(rows), 1);
    const Calls asked = standin::calls("AXUIElementCopyAttributeValues");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].ends_with(" \"AXVisibleRows\" 5 2 ptr")) << asked[0];
    // A count that times out marks the application hung, as a read does.
    standin::hang(7);
    EXPECT_EQ(platform->getAttributeValueCount(table, "AXRows", count), kAXErrorCannotComplete);
    EXPECT_EQ(platform->copyAttributeValues(table, "AXRows", 0, 1, out), kAXErrorCannotComplete);
    EXPECT_EQ(std::tuple(count, standin::calls("AXUIElementCopyAttributeValues").size()), std::tuple(2, 1u));
}
#endif

#ifndef __APPLE__  // stand-in only: scripted answers
// What the backend asks to find a modal dialog in front of an application:
// its windows in one range, then each whether it is modal.
TEST_F(Backend, AModalWindowIsFoundAmongTheApplicationsWindows) {
    const Ref windows = own(arr({AXUIElementCreateApplication(5)}));
    standin::script("AXUIElementCopyAttributeValues", kAXErrorSuccess, windows.get());
    standin::script("AXUIElementCopyAttributeValue", kAXErrorSuccess, kCFBooleanTrue);
    EXPECT_EQ(platform->identityHash(chosenWindow(*platform, platform->createApplicationElement(7))), 5u);
    const Calls asked = standin::calls("AXUIElementCopy");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_TRUE(asked[0].ends_with(" \"AXWindows\" 0 64 ptr") && asked[1].ends_with(" \"AXModal\" ptr"))
        << asked[0] << "; " << asked[1];
}
#endif

#ifndef __APPLE__  // stand-in only: a hung application
TEST_F(Backend, AnApplicationWhoseReadTimedOutIsNotAskedAgainInTheRun) {
    const Ref title = own(str(u"Title"));
    standin::script("AXUIElementCopyAttributeValue", kAXErrorSuccess, title.get());
    standin::hang(7);
    const Element hung = platform->createApplicationElement(7), other = platform->createApplicationElement(8);
    std::optional<AttrValue> out;
    EXPECT_EQ(platform->performAction(hung, "AXPress"), kAXErrorCannotComplete);  // may be a modal dialog
    for (int run = 0; run < 2; ++run, platform = makeNativePlatform()) {
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(platform->copyAttributeValue(hung, "AXRole", out), kAXErrorCannotComplete);
            EXPECT_EQ(platform->copyActionNames(hung, out), kAXErrorCannotComplete);
            EXPECT_EQ(platform->performAction(hung, "AXPress"), kAXErrorCannotComplete);
            EXPECT_EQ(platform->setAttributeValue(hung, "AXValue", ""), kAXErrorCannotComplete);
            EXPECT_EQ(platform->copyAttributeValue(other, "AXTitle", out), kAXErrorSuccess);
        }
    }
    // Each run asks the hung application once, then only the other one.
    const std::string role = "AXUIElementCopyAttributeValue #1 \"AXRole\" ptr", t = "AXUIElementCopyAttributeValue #2 \"AXTitle\" ptr";
    EXPECT_EQ(standin::calls("AXUIElementCopy"), (Calls{role, t, t, t, role, t, t, t}));
    EXPECT_EQ(standin::calls("AXUIElementPerform").size() + standin::calls("AXUIElementSet").size(), 1u);
}
#endif

#ifndef __APPLE__  // stand-in only: looks of a wait, and activation
TEST_F(Backend, EachLookAsksAHungApplicationAgainWithinWhatIsLeftOfTheDeadline) {
    standin::hang(7);
    const Element hung = platform->createApplicationElement(7);
    std::optional<AttrValue> out;
    const int64_t now = platform->monotonicMicroseconds();
    for (int64_t left : {2'500'000, 60'000'000, -1}) {
        platform->beginLook(now + left);
        EXPECT_EQ(platform->copyAttributeValue(hung, "AXRole", out), kAXErrorCannotComplete);
        EXPECT_EQ(platform->copyAttributeValue(hung, "AXRole", out), kAXErrorCannotComplete);
    }
    // Asked once in each look, the messaging time-out what the deadline
    // leaves (at most the system's, at least the shortest); the look
    // begun past its deadline was cut short.
    EXPECT_EQ(standin::calls("AXUIElementCopy").size(), 3u);
    const Calls timeouts = standin::calls("AXUIElementSetMessagingTimeout");
    ASSERT_EQ(timeouts.size(), 3u);
    auto seconds = [&](size_t i) { return std::stod(timeouts[i].substr(timeouts[i].rfind(' ') + 1)); };
    EXPECT_TRUE(seconds(0) > 2.4 && seconds(0) <= 2.5) << timeouts[0];  // the clock moved on a little
    EXPECT_EQ(seconds(1), kSystemMessaging);
    EXPECT_FLOAT_EQ(seconds(2), kShortestMessaging);
    EXPECT_TRUE(platform->lookCutShort());
}

TEST_F(Backend, ActivationRaisesTheChosenWindow) {
    const Element window = platform->createApplicationElement(9);
    // The stand-in's workspace has no application to activate; the window
    // is raised all the same, and the request counts as not delivered.
    EXPECT_FALSE(platform->activateApplication(9, window));
    EXPECT_EQ(standin::calls("AXUIElementPerformAction"), (Calls{"AXUIElementPerformAction #0 \"AXRaise\""}));
}
#endif

TEST_F(Backend, EventsFromNoSourceInPixelsWithTwoWheelsPostedAtTheHidTap) {
    const Event events[] = {platform->createMouseEvent(kLeftMouseDown, {100, 200}, kLeftButton),
                            platform->createMouseEvent(kRightMouseDragged, {0.25, -3}, kRightButton),
                            platform->createScrollWheelEvent(-3, -5, 0),
                            platform->createScrollWheelEvent(INT32_MIN, 0, 0)};
    for (const Event& event : events) EXPECT_TRUE(event);
#ifndef __APPLE__  // stand-in only: the arguments, and posting (never on a real desktop)
    for (const Event& event : {events[2], events[0], events[0], Event()}) platform->postEvent(event);
    standin::script("CGEventCreateMouseEvent", 1);  // creation fails: a null event
    EXPECT_FALSE(platform->createMouseEvent(kLeftMouseUp, {1, 2}, kLeftButton));
    EXPECT_EQ(standin::calls("CGEvent"), (Calls{"CGEventCreateMouseEvent null 1 100,200 0",
        "CGEventCreateMouseEvent null 7 0.25,-3 1", "CGEventCreateScrollWheelEvent2 null 0 2 -3 -5 0",
        "CGEventCreateScrollWheelEvent2 null 0 2 -2147483648 0 0", "CGEventPost 0 #2",
        "CGEventPost 0 #0", "CGEventPost 0 #0", "CGEventCreateMouseEvent null 2 1,2 0"}));
#endif
}

#ifndef __APPLE__  // stand-in only: keys are never posted on a real desktop
// One chord and one text through the core, as the key and type commands
// send them: each event created with its key code and down or up, its flags
// set, a character as its Unicode string; all created before the first post.
TEST_F(Backend, KeyEventsCarryFlagsAndTheirCharacterAndArePostedInOrder) {
    ParsedChord chord = parseChord("cmd+S");
    ASSERT_TRUE(chord.chord);
    EXPECT_EQ(pressChords(*platform, {*chord.chord}), std::nullopt);
    EXPECT_EQ(typeText(*platform, "\xC3\xA9\xF0\x9F\x98\x80\n"), std::nullopt);
    EXPECT_FALSE(platform->createKeyboardEvent(0x80, true, 0, {}));  // F21: no key of a Mac
    const std::string s = "CGEventKeyboardSetUnicodeString ";
    EXPECT_EQ(standin::calls("CGEvent"), (Calls{
        "CGEventCreateKeyboardEvent null 55 1", "CGEventSetFlags #0 1048576",
        "CGEventCreateKeyboardEvent null 1 1", "CGEventSetFlags #1 1048576", s + "#1 1 \"s\"",
        "CGEventCreateKeyboardEvent null 1 0", "CGEventSetFlags #2 1048576", s + "#2 1 \"s\"",
        "CGEventCreateKeyboardEvent null 55 0", "CGEventSetFlags #3 0",
        "CGEventPost 0 #0", "CGEventPost 0 #1", "CGEventPost 0 #2", "CGEventPost 0 #3",
        "CGEventCreateKeyboardEvent null 0 1", "CGEventSetFlags #4 0", s + "#4 1 \"\xC3\xA9\"",
        "CGEventCreateKeyboardEvent null 0 0", "CGEventSetFlags #5 0", s + "#5 1 \"\xC3\xA9\"",
        "CGEventCreateKeyboardEvent null 0 1", "CGEventSetFlags #6 0", s + "#6 2 \"\xF0\x9F\x98\x80\"",
        "CGEventCreateKeyboardEvent null 0 0", "CGEventSetFlags #7 0", s + "#7 2 \"\xF0\x9F\x98\x80\"",
        "CGEventCreateKeyboardEvent null 36 1", "CGEventSetFlags #8 0",
        "CGEventCreateKeyboardEvent null 36 0", "CGEventSetFlags #9 0",
        "CGEventPost 0 #4", "CGEventPost 0 #5", "CGEventPost 0 #6", "CGEventPost 0 #7",
        "CGEventPost 0 #8", "CGEventPost 0 #9"}));
    // Focus is a boolean written as Core Foundation's own true.
    const Element field = platform->createApplicationElement(7);
    EXPECT_EQ(platform->setBooleanAttribute(field, "AXFocused", true), kAXErrorSuccess);
    EXPECT_EQ(standin::calls("AXUIElementSet"), Calls{"AXUIElementSetAttributeValue #10 \"AXFocused\" #0"});
}
#endif

TEST_F(Backend, DisplaysInCoreGraphicsGlobalCoordinates) {
#ifdef __APPLE__  // a real session has a main display at the origin
    const auto displays = platform->displayBounds();
    ASSERT_FALSE(displays.empty());
    EXPECT_EQ(std::tie(displays[0].x, displays[0].y), std::tuple(0.0, 0.0));
#else
    EXPECT_TRUE(platform->displayBounds().empty());
    standin::setDisplays({{{0, 0}, {1440, 900}}, {{-1920, -180}, {1920, 1080}}});
    const auto displays = platform->displayBounds();
    ASSERT_EQ(displays.size(), 2u);
    EXPECT_EQ(std::tie(displays[1].x, displays[1].y, displays[1].width, displays[1].height),
              std::tuple(-1920.0, -180.0, 1920.0, 1080.0));
#endif
}

#ifndef __APPLE__  // stand-in only: the screen and its pictures
TEST_F(Backend, PicturesComeFromScreenCaptureKitWhereItIsAndFromTheWindowListBefore) {
    standin::screen(2);
    EXPECT_FALSE(platform->mayCaptureScreen());  // asked each time, never remembered
    standin::script("CGPreflightScreenCaptureAccess", 1);
    EXPECT_TRUE(platform->mayCaptureScreen());
    for (long kit : {0, 1, 2}) {  // unavailable, a picture, a failure
        standin::script("SCScreenshotManager", kit);
        ScreenImage image;
        ASSERT_EQ(platform->captureScreen({10, 20, 3, 2}, image),
                  kit == 2 ? CaptureResult::Failed : CaptureResult::Captured);
        if (kit == 2) continue;
        // At the display's density, as sRGB words without the alpha byte: pixel
        // (2, 1) shows the screen's pixel (22, 41).
        EXPECT_EQ(std::tie(image.width, image.height, image.pixels[6 + 2]), std::tuple(6, 4, 0x162933u));
    }
    EXPECT_EQ(standin::calls("SCScreenshotManager").size(), 3u);
    EXPECT_EQ(standin::calls("CGWindowListCreateImage"), Calls{"CGWindowListCreateImage 10,20 3x2 1 0 0"});
    EXPECT_EQ(standin::calls("CGBitmapContextCreate").size(), 2u);
    EXPECT_EQ(standin::calls("CGBitmapContextCreate")[0].substr(22), "ptr 6 4 8 24 #1 8198");
}
#endif

TEST_F(Backend, WorkspaceRecordsTellNilFromEmpty) {
    const Ref notes = own(str(u"Notes")), empty = own(str(u""));
    const RunningApplication a = runningApplicationRecord(3, true, nullptr, CFStringRef(notes.get()), 501);
    const RunningApplication b = runningApplicationRecord(0, false, CFStringRef(empty.get()), nullptr, -1);
    EXPECT_EQ(std::tie(a.activationPolicy, a.isActive, a.bundleIdentifier, a.localizedName,
                       a.processIdentifier, b.bundleIdentifier, b.localizedName),
              std::tuple(3, true, std::nullopt, "Notes", 501, "", std::nullopt));
#ifdef __APPLE__  // the real list: the runner's session has Finder, the Dock and more
    EXPECT_FALSE(platform->runningApplications().empty());
#endif
}

}  // namespace
}  // namespace nuvra::macos
