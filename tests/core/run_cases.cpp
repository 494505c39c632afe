// Whole runs of the tool as data: each case in cases/*.cases edits the test
// desktop, runs one argument vector in-process, and states the exact standard
// output, standard error, exit status and the platform calls that must (or
// must never) happen. cases/README describes the format.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cli/entry.h"
#include "desktop.h"
#include "observation/tree.h"
#include "text/text.h"

namespace nuvra::testing {
namespace {

using Words = std::vector<std::string>;

struct State {
    std::unique_ptr<FakeDesktop> d = testDesktop();
    std::string sha, out, err;  // the kept hash; the expected streams
    Words logSeen;
    std::optional<Words> logAll;
    int wantStatus = -1;
    RunOutput output;  // what the run gave
    int status = -1;
};

// The escapes of cases/README, after "{sha}" and "{N*TEXT}" are replaced.
std::string expand(const State& s, std::string text) {
    for (size_t at; (at = text.find('{')) != std::string::npos;) {
        size_t end = text.find('}', at), star = text.find('*', at);
        std::string with = s.sha;
        if (star < end) {
            with.clear();
            for (size_t i = std::stoul(text.substr(at + 1)); i > 0; --i) with += text.substr(star + 1, end - star - 1);
        }
        text.replace(at, end - at + 1, with);
    }
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i] == '\\' && i + 1 < text.size() ? text[++i] : '\0';
        if (c == 'x') {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else if (c != 'e') {
            out.push_back(c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c == 's' ? ' ' : c ? c : text[i]);
        }
    }
    return out;
}

Words split(const State& s, const std::string& rest) {
    Words out;
    std::istringstream in(rest);
    for (std::string word; in >> word;) out.push_back(expand(s, word));
    return out;
}

Element named(FakeDesktop& d, const std::string& name) {
    Element e = d.find(name);
    return e ? e : d.element(name);
}

AttrValue value(FakeDesktop& d, const Words& w) {
    const std::string& kind = w[3];
    auto num = [&](size_t i) { return std::stod(w[3 + i]); };
    if (kind == "text") return AttrValue::plainText(w.size() > 4 ? w[4] : "");
    if (kind == "rich") return AttrValue::attributedText(w[4]);
    if (kind == "int") return AttrValue::integer(std::stoll(w[4]));
    if (kind == "bool") return AttrValue::boolean(w[4] == "1");
    if (kind == "float") return AttrValue::floating(num(1));
    if (kind == "point") return AttrValue::pointBox(num(1), num(2));
    if (kind == "size") return AttrValue::sizeBox(num(1), num(2));
    if (kind == "ref") return AttrValue::elementRef(named(d, w[4]));
    std::vector<AttrValue> items;  // "list a b c": elements, "-" for a text
    for (size_t i = 4; i < w.size(); ++i)
        items.push_back(w[i] == "-" ? AttrValue::plainText("x") : AttrValue::elementRef(named(d, w[i])));
    return kind == "list" ? AttrValue::array(std::move(items)) : AttrValue::other();
}

// N refusing children under `parent` and under each of them, `levels` deep.
void fan(FakeDesktop& d, const Element& parent, int n, int levels) {
    std::vector<Element> children(levels > 0 ? n : 0);
    for (Element& child : children) {
        d.setPerformResult(child = d.element("fan", "AXGroup"), kAXFailure);
        fan(d, child, n, levels - 1);
    }
    d.setChildren(parent, children);
}

void edit(FakeDesktop& d, const Words& w);

// install ID PID NAME MICROSECONDS [fails]: an application with one window
// titled NAME, joining the workspace that long after it is started.
void install(FakeDesktop& d, const Words& w) {
    RunningApplication app;
    app.processIdentifier = std::stoi(w[2]);
    app.localizedName = w[3];
    app.bundleIdentifier = w[1];
    Element root = d.element(w[3] + " app", "AXApplication", w[3]);
    Element window = d.element(w[3] + " window", "AXWindow", w[3]);
    d.setChildren(root, {window});
    d.install(w[1], app, root, std::stoll(w[4]), w.size() > 5 && w[5] == "fails");
}

void edit(FakeDesktop& d, const Words& w) {
    const std::string& verb = w[0];
    auto number = [&](size_t i) { return i < w.size() ? std::stoi(w[i]) : 0; };
    if (verb == "untrusted") d.trusted = false;
    else if (verb == "events") d.eventsBeforeFailure = number(1);
    else if (verb == "at") d.setElementAtPosition(w[1] == "none" ? nullptr : named(d, w[1]), number(2));
    else if (verb == "app" && w[2] == "name") d.app(number(1))->localizedName = w.size() > 3 ? std::optional(w[3]) : std::nullopt;
    else if (verb == "app" && w[2] == "late") d.setLate(number(1));
    else if (verb == "app" && w[2] == "silent") d.setSilent(number(1));
    else if (verb == "app") d.app(number(1))->isActive = w[3] == "1";
    else if (verb == "set") d.set(named(d, w[1]), w[2], value(d, w));
    else if (verb == "unset") d.unset(named(d, w[1]), w[2]);
    else if (verb == "error") d.setError(named(d, w[1]), w[2], number(3));
    else if (verb == "actions") d.setActions(named(d, w[1]), Words(w.begin() + 2, w.end()));
    else if (verb == "perform") d.setPerformResult(named(d, w[1]), number(2));
    else if (verb == "write") d.setWriteResult(named(d, w[1]), number(2));
    else if (verb == "remove") d.removeElement(named(d, w[1]));
    else if (verb == "hang") d.setHangsOnPress(named(d, w[1]));
    else if (verb == "ignore") d.setIgnoresWrites(named(d, w[1]));
    else if (verb == "offbus") d.inaccessible.push_back(RunningApplication{0, false, std::nullopt, w[2], number(1)});
    else if (verb == "claim") d.setClaimedCount(named(d, w[1]), w[2], std::stoll(w[3]));
    else if (verb == "cap") d.setWriteLimit(named(d, w[1]), number(2));
    else if (verb == "fan") fan(d, named(d, w[1]), number(2), number(3));
    else if (verb == "slow") d.performMicroseconds = number(1);
    else if (verb == "end") d.endAfterPosts = number(1);
    else if (verb == "wayland") d.reach = KeyboardReach::NativeWayland;
    else if (verb == "deaf") d.setIgnoresKeys(named(d, w[1]));
    else if (verb == "recording") d.screenRecording = number(1) != 0;
    else if (verb == "capture") d.captureAnswer = static_cast<CaptureResult>(number(1));
    else if (verb == "density") d.pixelsPerPoint = number(1);
    else if (verb == "placement") d.placement = static_cast<PlacementGap>(number(1));
    else if (verb == "displays")
        for (size_t i = 1; i + 3 < w.size(); i += 4)
            d.displays.push_back({std::stod(w[i]), std::stod(w[i + 1]), std::stod(w[i + 2]), std::stod(w[i + 3])});
    else if (verb == "posts") d.postsBeforeFailure = number(1);
    else if (verb == "later") d.at(number(1), [&d, rest = Words(w.begin() + 2, w.end())] { edit(d, rest); });
    else if (verb == "parent") d.setParent(number(1), number(2));
    else if (verb == "cut") d.looksCutShort = true;
    else if (verb == "activation") (w[1] == "refused" ? d.activationDelivered : d.activationTakes) = false;
    else if (verb == "install") install(d, w);
    else ADD_FAILURE() << "unknown edit " << verb;
}

void step(State& s, const std::string& verb, const std::string& rest) {
    if (verb == "desk") {
        edit(*s.d, split(s, rest));
    } else if (verb == "sha") {
        RunOutput o;
        EXPECT_EQ(runMain(*s.d, split(s, "observe " + rest), o), 0) << o.err;
        s.sha = o.out.substr(o.out.rfind("sha256=") + 7, 64);
    } else if (verb == "run") {
        s.d->clearLog();
        s.status = runMain(*s.d, split(s, rest), s.output);
    } else if (verb == "exit") {
        s.wantStatus = std::stoi(rest);
    } else if (verb == "out" || verb == "err") {
        (verb == "out" ? s.out : s.err) += expand(s, rest) + "\n";
    } else if (verb == "log=") {
        (s.logAll ? *s.logAll : s.logAll.emplace()).push_back(expand(s, rest));
    } else if (verb == "log+") {
        s.logSeen.push_back(expand(s, rest));
    } else if (verb == "log-") {
        EXPECT_EQ(s.d->calls(expand(s, rest)), Words{});
    } else if (verb == "log#") {
        EXPECT_EQ(s.d->calls(expand(s, rest.substr(rest.find(' ') + 1))).size(), std::stoul(rest)) << rest;
    } else {
        ADD_FAILURE() << "unknown step " << verb;
    }
}

void finish(const State& s, const std::string& name) {
    SCOPED_TRACE(name);
    EXPECT_EQ(s.status, s.wantStatus);
    EXPECT_EQ(s.output.out, s.out);
    EXPECT_EQ(s.output.err, s.err);
    if (s.logAll) {
        EXPECT_EQ(s.d->log(), *s.logAll);
    }
    // The listed calls happen in this order; others may come between.
    size_t next = 0;
    for (const auto& entry : s.d->log()) next += next < s.logSeen.size() && entry == s.logSeen[next];
    EXPECT_EQ(next, s.logSeen.size()) << "not called in order: " << s.logSeen[next];
}

class Cases : public ::testing::TestWithParam<std::string> {};

TEST_P(Cases, Run) {
    std::ifstream in(std::string(NUVRA_CASES_DIR) + "/" + GetParam() + ".cases");
    std::optional<State> s;
    std::string name, text;
    int cases = 0;
    for (int n = 1; std::getline(in, text); ++n) {
        if (text.empty() || text[0] == '#') continue;
        size_t space = text.find(' ');
        std::string verb = text.substr(0, space), rest = space == std::string::npos ? "" : text.substr(space + 1);
        if (verb == "case") {
            if (s) finish(*s, name);
            s.emplace();
            name = GetParam() + ".cases:" + std::to_string(n) + " " + rest;
            ++cases;
            continue;
        }
        SCOPED_TRACE(name);
        step(*s, verb, rest);
    }
    if (s) finish(*s, name);
    EXPECT_GT(cases, 4);
}

INSTANTIATE_TEST_SUITE_P(Core, Cases, ::testing::Values("dispatch", "observe", "actions", "pointer", "secrets",
                                                       "screenshot", "keyboard", "workspace"));

// cases/text.table: RULE | IN | OUT | what the row shows.
TEST(TextRules, Table) {
    std::ifstream in(std::string(NUVRA_CASES_DIR) + "/text.table");
    State s;
    int rows = 0;
    for (std::string row; std::getline(in, row); rows += row[0] != '#') {
        if (row.empty() || row[0] == '#') continue;
        Words f;
        for (size_t at = 0, bar = 0; bar != std::string::npos; at = bar + 3)
            f.push_back(row.substr(at, (bar = row.find(" | ", at)) - at));
        std::string text = expand(s, f[1]);
        std::string got = f[0] == "json" ? observeJsonString(text)
                          : f[0] == "valid" ? validUtf8(text)
                          : f[0][0] == 'l' ? lineSafe(text, std::stoll(f[0].substr(9)))
                          : observeSanitize(text, std::stoll(f[0].substr(9)));
        EXPECT_EQ(got, expand(s, f[2])) << f[3];
    }
    EXPECT_GT(rows, 40);
}

// cases/element.table: EDITS | LINE | HASH LINE, the OK button walked alone.
TEST(ElementRules, Table) {
    int rows = 0;
    std::ifstream in(std::string(NUVRA_CASES_DIR) + "/element.table");
    for (std::string row; std::getline(in, row);) {
        if (row.empty() || row[0] == '#') continue;
        State s;
        Words f;
        for (size_t at = 0, bar = 0; bar != std::string::npos; at = bar + 3)
            f.push_back(row.substr(at, (bar = row.find(" | ", at)) - at));
        for (size_t at = 0, semi = 0; semi != std::string::npos; at = semi + 3)
            edit(*s.d, split(s, f[0].substr(at, (semi = f[0].find(" ; ", at)) - at)));
        ObservedTree t = observeTree(*s.d, s.d->find("ok"), 1, 1, 9999);
        EXPECT_EQ(t.lines, Words{expand(s, f[1])}) << row;
        EXPECT_EQ(t.elements[0].hashLine, expand(s, f.size() > 2 ? f[2] : "1|AXButton||OK|OK|true|false")) << row;
        ++rows;
    }
    EXPECT_GT(rows, 20);
}

}  // namespace
}  // namespace nuvra::testing
