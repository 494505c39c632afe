// Cost of one observation (walk, render, hash) per element, on fake windows
// shaped like real ones. The fake's own answers are part of what is measured,
// so a second benchmark replays exactly the platform calls the observation
// made, without the observation; the difference is the core's own cost.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "observation/run.h"
#include "platform/fake/fake_desktop.h"

namespace nuvra {
namespace {

constexpr int32_t kPid = 900;

// A mail-like window: nested groups, lists of rows with cells, toolbars of
// buttons, text fields with values; texts of everyday length, some
// non-ASCII, a few long enough to be cut.
struct Window {
    FakeDesktop fake;
    Element root;

    explicit Window(int elements) {
        static const std::array<std::string_view, 10> kRoles = {
            "AXGroup", "AXButton", "AXStaticText", "AXRow", "AXCell",
            "AXTextField", "AXImage", "AXCheckBox", "AXScrollArea", "AXSecureTextField"};
        static const std::array<std::string_view, 8> kTitles = {
            "Reply All",
            "Invoice 2291 \u2014 Q3 report.pdf",
            "Gr\u00FC\u00DFe aus M\u00FCnchen",
            "Re: Lunch on Friday? \U0001F35D",
            "",
            "Move to Junk",
            "   Search   mailboxes  ",
            "Meeting notes from the planning session about the release schedule, the open "
            "questions on localisation, and who owns the migration of the old archive",
        };
        Element appRoot = fake.element("app", "AXApplication", "Mail");
        root = fake.element("window", "AXWindow", "Inbox \u2014 1,204 messages");
        fake.setText(root, "AXSubrole", "AXStandardWindow");
        fake.setFrame(root, 0, 25, 1440, 875);
        fake.set(appRoot, "AXFocusedWindow", AttrValue::elementRef(root));
        RunningApplication app;
        app.processIdentifier = kPid;
        app.bundleIdentifier = "com.example.mail";
        app.localizedName = "Mail";
        app.isActive = true;
        fake.addApp(app, appRoot);

        // Breadth-first construction, eight children per container.
        std::vector<std::vector<Element>> children(1);
        int made = 1;
        size_t parent = 0;
        std::vector<Element> all = {root};
        while (made < elements) {
            const int i = made++;
            std::string_view role = kRoles[static_cast<size_t>(i) % kRoles.size()];
            Element e = fake.element("e" + std::to_string(i), std::string(role));
            std::string_view title = kTitles[static_cast<size_t>(i * 7) % kTitles.size()];
            if (!title.empty() && i % 3 != 0) fake.setText(e, "AXTitle", std::string(title));
            if (i % 3 == 0) fake.setText(e, "AXDescription", "Flag message " + std::to_string(i));
            if (role == "AXTextField" || role == "AXSecureTextField")
                fake.setText(e, "AXValue", "max.mustermann@example.com, Jos\u00E9 N\u00FA\u00F1ez");
            if (role == "AXCheckBox") fake.set(e, "AXValue", AttrValue::boolean(i % 2 == 0));
            if (role == "AXStaticText") fake.setText(e, "AXValue", std::string(title));
            fake.set(e, "AXEnabled", AttrValue::boolean(i % 11 != 0));
            fake.set(e, "AXFocused", AttrValue::boolean(i == 5));
            fake.setFrame(e, (i * 37) % 1400, 25 + (i * 53) % 850, 20 + i % 300, 17 + i % 40);
            all.push_back(e);
            children[parent].push_back(e);
            if (children[parent].size() == 8) {
                fake.setChildren(all[parent], children[parent]);
                ++parent;
            }
            children.emplace_back();
        }
        if (parent < all.size() && !children[parent].empty())
            fake.setChildren(all[parent], children[parent]);
        fake.recording = false;
    }
};

ObservationRun observeAll(Window& w, int64_t elements) {
    return std::move(runObserve(w.fake, elements, 1000, int64_t{1} << 40, std::nullopt).value());
}

void perElement(benchmark::State& state, int64_t elements) {
    state.counters["per_element"] = benchmark::Counter(
        static_cast<double>(elements),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Observe(benchmark::State& state) {
    const int64_t n = state.range(0);
    Window w(static_cast<int>(n));
    ObservationRun check = observeAll(w, n);
    if (check.nodes != n) state.SkipWithError("walk did not record every element");
    for (auto _ : state) {
        ObservationRun run = observeAll(w, n);
        benchmark::DoNotOptimize(run.stateHash.data());
    }
    perElement(state, n);
}

// The same observation with the fake writing its call log, as in the tests.
void BM_ObserveLogged(benchmark::State& state) {
    const int64_t n = state.range(0);
    Window w(static_cast<int>(n));
    w.fake.recording = true;
    for (auto _ : state) {
        w.fake.clearLog();
        ObservationRun run = observeAll(w, n);
        benchmark::DoNotOptimize(run.stateHash.data());
    }
    perElement(state, n);
}

// One platform call of an observation, kept to be replayed without the core.
struct Call {
    enum Kind { Read, Hash, Apps, CreateApp } kind;
    Element element;
    std::string attribute;
};

void BM_PlatformCallsOnly(benchmark::State& state) {
    const int64_t n = state.range(0);
    Window w(static_cast<int>(n));
    // One observation through a platform that passes every call on to the
    // fake and tapes it.
    std::vector<Call> tape;
    {
        struct Forward : Platform {
            FakeDesktop& f;
            std::vector<Call>& tape;
            Forward(FakeDesktop& fake, std::vector<Call>& t) : f(fake), tape(t) {}
            bool isProcessTrusted() override { return f.isProcessTrusted(); }
            Element createApplicationElement(int32_t pid) override {
                tape.push_back({Call::CreateApp, nullptr, {}});
                return f.createApplicationElement(pid);
            }
            Element createSystemWideElement() override { return f.createSystemWideElement(); }
            AXResult copyElementAtPosition(const Element& s, float x, float y, Element& out) override {
                return f.copyElementAtPosition(s, x, y, out);
            }
            AXResult copyAttributeValue(const Element& e, std::string_view a,
                                        std::optional<AttrValue>& out) override {
                tape.push_back({Call::Read, e, std::string(a)});
                return f.copyAttributeValue(e, a, out);
            }
            AXResult copyActionNames(const Element& e, std::optional<AttrValue>& out) override {
                return f.copyActionNames(e, out);
            }
            AXResult performAction(const Element& e, std::string_view a) override {
                return f.performAction(e, a);
            }
            AXResult setAttributeValue(const Element& e, std::string_view a,
                                       std::string_view t) override {
                return f.setAttributeValue(e, a, t);
            }
            AXResult setBooleanAttribute(const Element& e, std::string_view a, bool v) override {
                return f.setBooleanAttribute(e, a, v);
            }
            Event createKeyboardEvent(uint16_t k, bool down, uint64_t flags,
                                      std::string_view c) override {
                return f.createKeyboardEvent(k, down, flags, c);
            }
            uint64_t identityHash(const Element& e) override {
                tape.push_back({Call::Hash, e, {}});
                return f.identityHash(e);
            }
            std::vector<RunningApplication> runningApplications() override {
                tape.push_back({Call::Apps, nullptr, {}});
                return f.runningApplications();
            }
            bool equalIgnoringCaseAndDiacritics(std::string_view a, std::string_view b) override {
                return f.equalIgnoringCaseAndDiacritics(a, b);
            }
            Event createMouseEvent(int32_t t, ScreenPoint p, int32_t b) override {
                return f.createMouseEvent(t, p, b);
            }
            Event createScrollWheelEvent(int32_t a, int32_t b, int32_t c) override {
                return f.createScrollWheelEvent(a, b, c);
            }
            bool postEvent(const Event& e) override { return f.postEvent(e); }
            void sleepMicroseconds(uint32_t us) override { f.sleepMicroseconds(us); }
            bool activateApplication(int32_t pid, const Element& e) override {
                return f.activateApplication(pid, e);
            }
            LaunchedProcess launchApplication(std::string_view id) override {
                return f.launchApplication(id);
            }
            std::vector<ScreenRect> displayBounds() override { return f.displayBounds(); }
            bool mayCaptureScreen() override { return f.mayCaptureScreen(); }
            CaptureResult captureScreen(const ScreenRect& a, ScreenImage& out) override {
                return f.captureScreen(a, out);
            }
        } forward(w.fake, tape);
        runObserve(forward, n, 1000, int64_t{1} << 40, std::nullopt);
    }
    for (auto _ : state) {
        for (const Call& c : tape) {
            switch (c.kind) {
                case Call::Read: {
                    std::optional<AttrValue> out;
                    benchmark::DoNotOptimize(w.fake.copyAttributeValue(c.element, c.attribute, out));
                    benchmark::DoNotOptimize(out);
                    break;
                }
                case Call::Hash: benchmark::DoNotOptimize(w.fake.identityHash(c.element)); break;
                case Call::Apps: benchmark::DoNotOptimize(w.fake.runningApplications()); break;
                case Call::CreateApp: benchmark::DoNotOptimize(w.fake.createApplicationElement(kPid)); break;
            }
        }
    }
    state.counters["calls_per_element"] =
        static_cast<double>(tape.size()) / static_cast<double>(n);
    perElement(state, n);
}

BENCHMARK(BM_Observe)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlatformCallsOnly)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ObserveLogged)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace nuvra
