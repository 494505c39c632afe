// The tools: their schemas, the checks of their arguments, the nuvra-click
// command each becomes and what its run answers.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "mcp/mcp.h"

namespace nuvra::mcp {

namespace {

constexpr int64_t kMaxCount = std::numeric_limits<int64_t>::max();
// Why a string cannot become one argument of nuvra-click, or nothing: every
// text a tool hands on is checked here, before anything runs.
std::optional<std::string> argumentTextRefusal(const json& value) {
    if (!value.is_string()) return "a string without NUL characters";
    const std::string& text = value.get_ref<const std::string&>();
    // A NUL would silently end the argument nuvra-click receives.
    if (text.find('\0') != std::string::npos) return "a string without NUL characters";
    if (text.size() > kMaxArgumentBytes)
        return "at most " + std::to_string(kMaxArgumentBytes) + " bytes in UTF-8, the most one "
               "command-line argument holds (this one has " + std::to_string(text.size()) + ")";
    return std::nullopt;
}

enum class Kind { Coord, Count, Delta, Text, Sha, Button, Flag, Limits, Region, Chords };

struct Field {
    const char* name;
    Kind kind;
    bool required;
    std::string description;
    json fallback = nullptr;  // what an optional field is when absent (null: nothing)
};

struct Tool {
    const char* name;
    const char* title;
    bool readOnly;
    std::string description;
    std::vector<Field> fields;
};

constexpr const char* kApp =
    "The application: its bundleId exactly, else its name (letter case and accents ignored), as "
    "list_applications gives them. Without it, the frontmost application.";
constexpr const char* kIndex = "The element's number: N of [eN] in the observe output.";
constexpr const char* kSha = "The sha256 of the observe the element number comes from.";
constexpr const char* kTargetApp =
    "The app of that observe. Only needed when this server did not make that observe.";
constexpr const char* kLimits =
    "The maxNodes, maxDepth and maxTextBytes of that observe. Only needed when this server did "
    "not make that observe; given, they win over the remembered ones.";
const std::string kGuard =
    " It reads the window again first and acts only when it still hashes to sha256; otherwise "
    "it changes nothing and the result says to observe again. This server remembers the limits "
    "and app of its recent observations, so index and sha256 are enough.";

const std::vector<Tool>& tools() {
    static const std::vector<Tool> table = {
        {"observe", "Observe a window", true,
         "Reads the focused window of an application as numbered accessibility elements, "
         "breadth first, and a sha256 of the window's state. Each line: [eN] role, the title in "
         "quotes, the centre @x,y in screen points, value=\"...\", disabled, focused; "
         "indentation shows depth. Pass an element's number and the sha256 to press or "
         "settext. The hash changes when elements appear, vanish, are renamed, enabled, "
         "disabled or focused, not when values change. truncated says a limit cut something.",
         {{"maxNodes", Kind::Count, false, "The most elements to read.", 300},
          {"maxDepth", Kind::Count, false, "The most levels to read below the window.", 25},
          {"maxTextBytes", Kind::Count, false,
           "The most bytes of element lines to print; elements left out keep their numbers.",
           60000},
          {"app", Kind::Text, false, kApp}}},
        {"press", "Press an element", false,
         "Performs the press action of an observed element (a button, check box, menu item, "
         "tab)." + kGuard,
         {{"index", Kind::Count, true, kIndex},
          {"sha256", Kind::Sha, true, kSha},
          {"app", Kind::Text, false, kTargetApp},
          {"limits", Kind::Limits, false, kLimits}}},
        {"settext", "Set an element's text", false,
         "Replaces the whole text of an observed element (a text field) in one assignment and "
         "checks that it took." + kGuard,
         {{"index", Kind::Count, true, kIndex},
          {"text", Kind::Text, true,
           "The whole new text; empty allowed, spaces and line feeds kept; at most " +
               std::to_string(kMaxArgumentBytes) + " bytes in UTF-8."},
          {"sha256", Kind::Sha, true, kSha},
          {"app", Kind::Text, false, kTargetApp},
          {"limits", Kind::Limits, false, kLimits}}},
        {"text", "Read an element's whole text", true,
         "Reads the whole text of an observed element (a paragraph, a text area, a label, a "
         "document), line breaks kept, where observe cuts values to 120 characters. Never a "
         "password field's. At most maxTextBytes bytes, cut between characters; truncated says "
         "there is more, total how much." + kGuard,
         {{"index", Kind::Count, true, kIndex},
          {"sha256", Kind::Sha, true, kSha},
          {"maxTextBytes", Kind::Count, false, "The most bytes of text to return.", 1000000},
          {"app", Kind::Text, false, kTargetApp},
          {"limits", Kind::Limits, false, kLimits}}},
        {"click", "Click at a point", false,
         "Posts a mouse click at a screen point (as observe prints centres): press and release, "
         "twice for a double click.",
         {{"x", Kind::Coord, true, "Screen x in points."},
          {"y", Kind::Coord, true, "Screen y in points."},
          {"button", Kind::Button, false, "The mouse button.", "left"},
          {"double", Kind::Flag, false, "A double click.", false}}},
        {"drag", "Drag between points", false,
         "Presses at (x1, y1), moves in 20 steps and releases exactly at (x2, y2).",
         {{"x1", Kind::Coord, true, "Start x in screen points."},
          {"y1", Kind::Coord, true, "Start y in screen points."},
          {"x2", Kind::Coord, true, "End x in screen points."},
          {"y2", Kind::Coord, true, "End y in screen points."},
          {"button", Kind::Button, false, "The mouse button held.", "left"}}},
        {"scroll", "Scroll", false,
         "Posts one scroll-wheel event of (dx, dy) pixels where the pointer is, or at (x, y) "
         "after moving the pointer there when both are given. Positive dy scrolls up, positive "
         "dx right.",
         {{"dx", Kind::Delta, true, "Horizontal pixels."},
          {"dy", Kind::Delta, true, "Vertical pixels."},
          {"x", Kind::Coord, false, "Screen x to move to first (with y)."},
          {"y", Kind::Coord, false, "Screen y to move to first (with x)."}}},
        {"hit", "Name the element at a point", true,
         "Names the accessibility element under a screen point: role, subrole, title, label "
         "(the title, else the description), enabled, focused.",
         {{"x", Kind::Coord, true, "Screen x in points."},
          {"y", Kind::Coord, true, "Screen y in points."}}},
        {"screenshot", "Take a screenshot", true,
         "A picture of the window observe reads (the same app), or of a region of the screen, "
         "as a PNG image. It shows what is on the screen there, windows above included. With "
         "marks, every element observe would list is framed and labelled eN on it, and the "
         "observation of the same moment comes beside it (text and structured, as observe "
         "gives them); press and settext take its numbers and sha256. The result gives the "
         "region in screen points and the scale in pixels per point: pixel (px, py) is the "
         "point (x + px / scale, y + py / scale), where click acts. Images longer than 1568 "
         "pixels on a side, or too large for one result, are shrunk, and the scale says so.",
         {{"app", Kind::Text, false, kApp},
          {"marks", Kind::Flag, false, "Draw the elements' frames and numbers, and observe.",
           false},
          {"maxNodes", Kind::Count, false, "With marks: the most elements to read.", 300},
          {"maxDepth", Kind::Count, false, "With marks: the most levels to read.", 25},
          {"maxTextBytes", Kind::Count, false, "With marks: the most bytes of element lines.",
           60000},
          {"region", Kind::Region, false,
           "A rectangle of the screen in points instead of the window; not with app or marks."}}},
        {"type", "Type text", false,
         "Types text character by character, as the keyboard would, into whatever has keyboard "
         "focus; or, given index and sha256, into that observed element after giving it "
         "keyboard focus, then checks that the text arrived where the element's value can be "
         "read (never a password's). Any Unicode text, whatever the keyboard layout; line feeds "
         "type Return, tabs Tab. Works where settext is refused, as in web pages. At most 2000 "
         "characters. With index, the element's window is read again first and nothing is "
         "typed unless it still hashes to sha256; this server remembers the limits and app of "
         "its recent observations.",
         {{"text", Kind::Text, true, "The text to type."},
          {"index", Kind::Count, false, "With sha256: the element to type into, N of [eN]."},
          {"sha256", Kind::Sha, false, "With index: the sha256 of the observe it comes from."},
          {"app", Kind::Text, false, kTargetApp},
          {"limits", Kind::Limits, false, kLimits}}},
        {"key", "Press keys", false,
         "Presses and releases each chord in order, into whatever has keyboard focus: submit "
         "with Return, close with Escape, move with Tab, save with ctrl+s. A chord is key names "
         "joined by +, modifiers first (ctrl, shift, alt, super; cmd and option are macOS's "
         "names for super and alt), then one key: a letter, digit or punctuation character, "
         "Return, Tab, Escape, BackSpace, Delete, space, Up, Down, Left, Right, Home, End, "
         "Page_Up, Page_Down, F1 to F24, Insert or Menu. Letter case is ignored.",
         {{"keys", Kind::Chords, true, "The chords, in order, such as [\"ctrl+a\", \"BackSpace\"]."}}},
        {"list_applications", "List applications", true,
         "Lists the running applications an agent can name as app: name, bundleId, pid, whether "
         "regular (only regular ones can be observed by name) and whether frontmost (the one "
         "observe reads without app); responding false for one that did not answer in time, "
         "whose name and state are then unknown.",
         {}},
        {"windows", "List an application's windows", true,
         "Lists the top-level windows of an application: number (what activate takes), title, "
         "frame in screen points (only where it is on screen), focused (the one observe reads), "
         "main and modal. To read a window that is not the focused one, activate it, then "
         "observe.",
         {{"app", Kind::Text, false, kApp}}},
        {"activate", "Bring an application to the front", false,
         "Brings an application, and one of its windows, to the front with the keyboard focus, "
         "and succeeds only once it is frontmost: observe without app then reads that window, and "
         "pointer events at its elements land in it.",
         {{"app", Kind::Text, true, kApp},
          {"window", Kind::Count, false,
           "The window's number in windows; without it, the window observe reads."}}},
        {"launch", "Start an application", false,
         "Starts an installed application by its desktop entry id (Linux, such as "
         "org.xfce.mousepad) or bundle identifier (macOS), never a command line, and returns once "
         "it has a window observe can read, with its entry as list_applications gives it.",
         {{"id", Kind::Text, true, "The desktop entry id (\".desktop\" may be left off) or bundle identifier."}}},
        {"wait", "Wait for a change", true,
         "Observes the window again and again until it no longer hashes to sha256 (after a press "
         "that starts something slow) or until an element's title or value contains text, and "
         "returns that observation, as observe does. Fails once ms have passed." + std::string(
         " Pass sha256 or text, not both. This server remembers the limits and app of its recent "
         "observations, so sha256 alone is enough."),
         {{"ms", Kind::Count, true, "How long to wait at most, in milliseconds."},
          {"sha256", Kind::Sha, false, "The sha256 of an observe: wait until the window differs."},
          {"text", Kind::Text, false,
           "Wait until an element's title or value, as observe prints it, contains this text."},
          {"app", Kind::Text, false, kApp},
          {"limits", Kind::Limits, false,
           "The maxNodes, maxDepth and maxTextBytes to observe with: for sha256, those of its "
           "observe (only needed when this server did not make it); for text, 300, 25 and 60000 "
           "unless given."}}},
    };
    return table;
}

json object(json properties, json required) {
    return {{"type", "object"}, {"properties", std::move(properties)},
            {"required", std::move(required)}, {"additionalProperties", false}};
}

json countSchema() { return {{"type", "integer"}, {"minimum", 1}, {"maximum", kMaxCount}}; }

json limitsSchema() {
    return object({{"maxNodes", countSchema()}, {"maxDepth", countSchema()},
                   {"maxTextBytes", countSchema()}},
                  {"maxNodes", "maxDepth", "maxTextBytes"});
}

json regionSchema() {
    const json origin = {{"type", "number"}, {"minimum", 0}};
    const json extent = {{"type", "number"}, {"exclusiveMinimum", 0}};
    return object({{"x", origin}, {"y", origin}, {"width", extent}, {"height", extent}},
                  {"x", "y", "width", "height"});
}

json fieldSchema(const Field& field) {
    json schema;
    switch (field.kind) {
    case Kind::Coord: schema = {{"type", "number"}, {"minimum", 0}}; break;
    case Kind::Count: schema = countSchema(); break;
    case Kind::Delta:
        schema = {{"type", "integer"}, {"minimum", std::numeric_limits<int32_t>::min()},
                  {"maximum", std::numeric_limits<int32_t>::max()}};
        break;
    case Kind::Text: schema = {{"type", "string"}}; break;
    case Kind::Sha: schema = {{"type", "string"}, {"pattern", "^[0-9a-f]{64}$"}}; break;
    case Kind::Button: schema = {{"type", "string"}, {"enum", {"left", "right"}}}; break;
    case Kind::Flag: schema = {{"type", "boolean"}}; break;
    case Kind::Limits: schema = limitsSchema(); break;
    case Kind::Region: schema = regionSchema(); break;
    case Kind::Chords:
        schema = {{"type", "array"}, {"items", {{"type", "string"}}}, {"minItems", 1}};
        break;
    }
    schema["description"] = field.description;
    if (!field.fallback.is_null()) schema["default"] = field.fallback;
    return schema;
}

json outputSchema(const std::string& tool) {
    const json text = {{"type", "string"}}, integer = {{"type", "integer"}},
               flag = {{"type", "boolean"}};
    if (tool == "observe" || tool == "wait") {
        json element = object({{"index", integer}, {"depth", integer}, {"role", text},
                               {"title", text}, {"x", integer}, {"y", integer},
                               {"value", text}, {"disabled", flag}, {"focused", flag}},
                              {"index", "depth", "role", "disabled", "focused"});
        return object({{"app", text}, {"window", text},
                       {"elements", {{"type", "array"}, {"items", element}}},
                       {"nodes", integer}, {"truncated", flag}, {"sha256", text}},
                      {"app", "window", "elements", "nodes", "truncated", "sha256"});
    }
    if (tool == "screenshot") {
        const json number = {{"type", "number"}};
        return object({{"region", object({{"x", number}, {"y", number}, {"width", number},
                                          {"height", number}},
                                         {"x", "y", "width", "height"})},
                       {"width", integer}, {"height", integer}, {"scale", number},
                       {"observation", outputSchema("observe")}},
                      {"region", "width", "height", "scale"});
    }
    if (tool == "hit")
        return object({{"role", text}, {"subrole", text}, {"title", text}, {"label", text},
                       {"enabled", flag}, {"focused", flag}},
                      {"role", "subrole", "title", "label", "enabled", "focused"});
    if (tool == "text")
        return object({{"text", text}, {"bytes", integer}, {"total", integer}, {"truncated", flag}},
                      {"text", "bytes", "total", "truncated"});
    json app = object({{"name", text}, {"bundleId", text}, {"pid", integer},
                       {"regular", flag}, {"frontmost", flag}, {"responding", flag}},
                      {"pid", "regular", "frontmost"});
    if (tool == "list_applications")
        return object({{"applications", {{"type", "array"}, {"items", app}}}}, {"applications"});
    if (tool == "launch") return app;
    if (tool == "windows") {
        json window = object({{"number", integer}, {"title", text}, {"x", integer}, {"y", integer},
                              {"width", integer}, {"height", integer}, {"focused", flag},
                              {"main", flag}, {"modal", flag}},
                             {"number", "focused", "main", "modal"});
        return object({{"app", app}, {"windows", {{"type", "array"}, {"items", window}}},
                       {"truncated", flag}},
                      {"app", "windows", "truncated"});
    }
    return nullptr;
}

const Tool* findTool(const std::string& name) {
    for (const Tool& tool : tools())
        if (name == tool.name) return &tool;
    return nullptr;
}

// A JSON number that is a whole number from lo to hi, however it is written.
std::optional<int64_t> integerIn(const json& value, int64_t lo, int64_t hi) {
    if (value.is_number_unsigned()) {
        uint64_t u = value.get<uint64_t>();
        if (u > static_cast<uint64_t>(hi) || (lo > 0 && u < static_cast<uint64_t>(lo)))
            return std::nullopt;
        return static_cast<int64_t>(u);
    }
    if (value.is_number_integer()) {
        int64_t i = value.get<int64_t>();
        if (i < lo || i > hi) return std::nullopt;
        return i;
    }
    if (!value.is_number_float()) return std::nullopt;
    double d = value.get<double>();
    if (d != std::floor(d) || d < static_cast<double>(lo) || d > static_cast<double>(hi) ||
        d >= 0x1p63)
        return std::nullopt;
    return static_cast<int64_t>(d);
}

bool isRegion(const json& value) {
    if (!value.is_object() || value.size() != 4) return false;
    for (const char* key : {"x", "y", "width", "height"}) {
        if (!value.contains(key) || !value[key].is_number()) return false;
        const double v = value[key].get<double>();
        const bool origin = std::string_view(key).size() == 1;  // x or y
        if (!(origin ? v >= 0 : v > 0) || !std::isfinite(v)) return false;
    }
    return true;
}

bool isLimits(const json& value) {
    if (!value.is_object() || value.size() != 3) return false;
    for (const char* key : {"maxNodes", "maxDepth", "maxTextBytes"})
        if (!value.contains(key) || !integerIn(value[key], 1, kMaxCount)) return false;
    return true;
}

// What an argument must be, when it is not.
std::optional<std::string> refusal(Kind kind, const json& value) {
    switch (kind) {
    case Kind::Coord:
        if (value.is_number() && value.get<double>() >= 0) return std::nullopt;
        return "a number of at least 0";
    case Kind::Count:
        if (integerIn(value, 1, kMaxCount)) return std::nullopt;
        return "an integer from 1 to 9223372036854775807";
    case Kind::Delta:
        if (integerIn(value, std::numeric_limits<int32_t>::min(),
                      std::numeric_limits<int32_t>::max()))
            return std::nullopt;
        return "an integer from -2147483648 to 2147483647";
    case Kind::Text: return argumentTextRefusal(value);
    case Kind::Sha: {
        const std::string* s = value.is_string() ? &value.get_ref<const std::string&>() : nullptr;
        if (s && s->size() == 64 && s->find_first_not_of("0123456789abcdef") == std::string::npos)
            return std::nullopt;
        return "64 lowercase hexadecimal digits, as observe returned them";
    }
    case Kind::Button:
        if (value == "left" || value == "right") return std::nullopt;
        return "\"left\" or \"right\"";
    case Kind::Flag:
        if (value.is_boolean()) return std::nullopt;
        return "true or false";
    case Kind::Limits:
        if (isLimits(value)) return std::nullopt;
        return "an object of exactly maxNodes, maxDepth and maxTextBytes, each an integer from 1 "
               "to 9223372036854775807";
    case Kind::Region:
        if (isRegion(value)) return std::nullopt;
        return "an object of exactly x and y (at least 0), width and height (above 0), in points";
    case Kind::Chords:
        if (value.is_array() && !value.empty() &&
            std::all_of(value.begin(), value.end(), [](const json& chord) {
                return !refusal(Kind::Text, chord);
            }))
            return std::nullopt;
        return "a list of at least one chord, each a string without NUL characters";
    }
    return "valid";
}

// The arguments with the defaults filled in and nulls dropped, or what is
// wrong with them.
std::optional<std::string> checkArguments(const Tool& tool, const json& arguments, json& filled) {
    filled = json::object();
    for (const auto& [key, value] : arguments.items()) {
        const Field* field = nullptr;
        for (const Field& f : tool.fields)
            if (key == f.name) field = &f;
        if (field == nullptr) {
            std::string known;
            for (const Field& f : tool.fields) known += (known.empty() ? "" : ", ") + std::string(f.name);
            return "unknown argument \"" + key + "\"; " + tool.name + " takes " +
                   (known.empty() ? std::string("none") : known);
        }
        if (value.is_null() && !field->required) continue;
        if (auto wrong = refusal(field->kind, value))
            return "argument \"" + key + "\" must be " + *wrong;
        filled[key] = value;
    }
    for (const Field& f : tool.fields) {
        if (filled.contains(f.name)) continue;
        if (f.required) return std::string("missing argument \"") + f.name + "\": " + f.description;
        if (!f.fallback.is_null()) filled[f.name] = f.fallback;
    }
    return std::nullopt;
}

std::string countText(const json& value) {
    return std::to_string(integerIn(value, std::numeric_limits<int64_t>::min(), kMaxCount).value_or(0));
}

ObserveLimits limitsOf(const json& value) {
    return {*integerIn(value["maxNodes"], 1, kMaxCount), *integerIn(value["maxDepth"], 1, kMaxCount),
            *integerIn(value["maxTextBytes"], 1, kMaxCount)};
}

std::vector<std::string> limitArgs(const ObserveLimits& l) {
    return {std::to_string(l.maxNodes), std::to_string(l.maxDepth), std::to_string(l.maxTextBytes)};
}

json textResult(const std::string& text, bool isError) {
    return {{"content", {{{"type", "text"}, {"text", text}}}}, {"isError", isError}};
}

json structuredResult(const std::string& text, json structured) {
    json result = textResult(text, false);
    result["structuredContent"] = std::move(structured);
    return result;
}

std::string failureText(const Session& session, const ChildRun& run) {
    if (run.end == ChildRun::End::Signalled)
        return "nuvra-click ended by signal " + std::to_string(run.status);
    if (run.end != ChildRun::End::Exited) return run.err;
    std::string text = run.err;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    if (text.empty()) text = "nuvra-click failed";
    text += " (exit status " + std::to_string(run.status) + ")";
    if (run.status == 6)
        text += ". The window is no longer as that observation saw it: call observe again and use "
                "its element numbers and sha256.";
    if (run.err == "nuvra-click: no frontmost application\n")
        text += ". Pass app, one of the applications list_applications names.";
    // Hung or busy (still working on a big window's last request): a
    // later call may find it answering again.
    if (run.status == 5 && run.err.find(" not responding") != std::string::npos)
        text += ". It did not answer in time and nothing was done: call again later.";
    // Without the desktop's variables there is no bus to find and no
    // display to post to.
    if ((run.status == 2 || run.status == 4) && !session.environmentAdvice.empty())
        text += ". " + session.environmentAdvice;
    return text;
}

const Remembered* recall(const Session& session, const std::string& sha) {
    for (auto it = session.recent.rbegin(); it != session.recent.rend(); ++it)
        if (it->sha256 == sha) return &*it;
    return nullptr;
}

void remember(Session& session, Remembered produced) {
    std::erase_if(session.recent, [&](const Remembered& r) { return r.sha256 == produced.sha256; });
    session.recent.push_back(std::move(produced));
    while (session.recent.size() > kRemembered) session.recent.pop_front();
}

// wait's arguments after ms: the limits, then the hash or "contains" and
// the text; what is wrong with them otherwise.
std::optional<std::string> waitArguments(Session& session, const json& a, CallStart& call) {
    if (a.contains("sha256") == a.contains("text"))
        return std::string("give either sha256 (wait until the window differs from that observe) "
                           "or text (wait until an element shows it), not both");
    // Past the server's time limit the run is stopped, and its answer lost.
    const auto most = static_cast<int64_t>(session.runSeconds * 1000) - kWaitMargin;
    const int64_t ms = *integerIn(a["ms"], 1, kMaxCount);
    if (ms > most)
        return "ms must be at most " + std::to_string(std::max<int64_t>(most, 0)) +
               ": this server stops a run after " + coordText(session.runSeconds) +
               " s (start it with --timeout to wait longer)";
    ObserveLimits limits{300, 25, 60000};
    if (a.contains("sha256")) {
        const Remembered* known = recall(session, a["sha256"]);
        if (!known && !a.contains("limits"))
            return "sha256 " + a["sha256"].get<std::string>() + " is not from a recent observe of "
                   "this server: pass the limits ({maxNodes, maxDepth, maxTextBytes}) and app of "
                   "the observe it comes from";
        if (known) limits = known->limits;
        if (!call.app && known) call.app = known->app;
    }
    if (a.contains("limits")) limits = limitsOf(a["limits"]);
    call.observed = limits;
    call.args.push_back(std::to_string(ms));
    for (auto& limit : limitArgs(limits)) call.args.push_back(limit);
    if (a.contains("sha256")) call.args.push_back(a["sha256"]);
    else call.args.insert(call.args.end(), {"contains", a["text"].get<std::string>()});
    return std::nullopt;
}

}  // namespace

std::string coordText(const json& value) {
    if (value.is_number_integer()) return value.dump();
    double d = value.get<double>();
    if (d == 0) return "0";
    char buffer[64];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, d).ptr;
    return std::string(buffer, end);
}

json toolList() {
    json list = json::array();
    for (const Tool& tool : tools()) {
        json properties = json::object(), required = json::array();
        for (const Field& field : tool.fields) {
            properties[field.name] = fieldSchema(field);
            if (field.required) required.push_back(field.name);
        }
        json entry = {{"name", tool.name},
                      {"title", tool.title},
                      {"description", tool.description},
                      {"inputSchema", object(std::move(properties), std::move(required))},
                      {"annotations", {{"title", tool.title}, {"readOnlyHint", tool.readOnly}}}};
        if (json output = outputSchema(tool.name); !output.is_null())
            entry["outputSchema"] = std::move(output);
        list.push_back(std::move(entry));
    }
    return list;
}

bool isTool(const std::string& name) { return findTool(name) != nullptr; }

CallStart startCall(Session& session, const std::string& name, const json& arguments) {
    CallStart call;
    call.name = name;
    json a;
    if (auto wrong = checkArguments(*findTool(name), arguments, a)) {
        call.result = textResult(*wrong, true);
        return call;
    }
    std::vector<std::string>& args = call.args;
    args = {name == "list_applications" ? "apps" : name};
    auto append = [&](std::vector<std::string> more) {
        args.insert(args.end(), more.begin(), more.end());
    };
    std::optional<std::string>& app = call.app;
    if (a.contains("app")) app = a["app"].get<std::string>();
    if (name == "observe") {
        call.observed = limitsOf(a);
        append(limitArgs(*call.observed));
    } else if (name == "key") {
        for (const json& chord : a["keys"]) append({chord.get<std::string>()});
    } else if (name == "type" && !a.contains("index") && !a.contains("sha256")) {
        if (app || a.contains("limits")) {
            call.result = textResult("app and limits go with index and sha256: without them the "
                                     "text goes to whatever has keyboard focus", true);
            return call;
        }
        append({a["text"].get<std::string>()});
    } else if (name == "type" && a.contains("index") != a.contains("sha256")) {
        call.result = textResult("give both index and sha256 (the element's number and its "
                                 "observe's hash), or neither to type into whatever has "
                                 "keyboard focus", true);
        return call;
    } else if (name == "press" || name == "settext" || name == "text" || name == "type") {
        const std::string sha = a["sha256"];
        const Remembered* known = recall(session, sha);
        if (!known && !a.contains("limits")) {
            call.result = textResult(
                "sha256 " + sha + " is not from a recent observe of this server: call observe "
                "first and pass the sha256 it returns, or pass the limits ({maxNodes, maxDepth, "
                "maxTextBytes}) and app of the observe it comes from (a host that starts a new "
                "server for each call must always pass them)",
                true);
            return call;
        }
        if (!app && known) app = known->app;
        append({countText(a["index"])});
        if (name == "settext" || name == "type") append({a["text"].get<std::string>()});
        ObserveLimits limits = a.contains("limits") ? limitsOf(a["limits"]) : known->limits;
        // The guard does not hash maxTextBytes: the text's own bound takes its place.
        if (name == "text") limits.maxTextBytes = *integerIn(a["maxTextBytes"], 1, kMaxCount);
        append(limitArgs(limits));
        append({sha});
    } else if (name == "click") {
        args = {coordText(a["x"]), coordText(a["y"])};
        if (a["button"] == "right") append({"right"});
        if (a["double"] == true) append({"double"});
    } else if (name == "drag") {
        append({coordText(a["x1"]), coordText(a["y1"]), coordText(a["x2"]), coordText(a["y2"])});
        if (a["button"] == "right") append({"right"});
    } else if (name == "scroll") {
        if (a.contains("x") != a.contains("y")) {
            call.result = textResult(
                "give both x and y (the pointer moves there first), or neither", true);
            return call;
        }
        // Without a point nuvra-click still takes one, and leaves the pointer be.
        append({a.contains("x") ? coordText(a["x"]) : "0", a.contains("y") ? coordText(a["y"]) : "0",
                countText(a["dx"]), countText(a["dy"])});
        if (a.contains("x")) append({"at"});
    } else if (name == "hit") {
        append({coordText(a["x"]), coordText(a["y"])});
    } else if (name == "activate") {
        append({*app});
        if (a.contains("window")) append({countText(a["window"])});
        return call;
    } else if (name == "launch") {
        append({a["id"].get<std::string>()});
    } else if (name == "wait") {
        if (auto wrong = waitArguments(session, a, call)) {
            call.result = textResult(*wrong, true);
            return call;
        }
    } else if (name == "screenshot") {
        const bool marks = a["marks"] == true;
        if (a.contains("region") && (app || marks)) {
            call.result = textResult(
                "a region is a rectangle of the screen: give it without app and marks", true);
            return call;
        }
        call.picture = std::make_shared<PictureFolder>();
        if (!call.picture->made()) {
            call.result = textResult("cannot make a folder for the picture: " + call.picture->error(), true);
            return call;
        }
        args.push_back(call.picture->path());
        if (a.contains("region")) {
            const json& r = a["region"];
            append({coordText(r["x"]), coordText(r["y"]), coordText(r["width"]), coordText(r["height"])});
        } else if (marks) {
            call.observed = limitsOf(a);
            append({"marks"});
            append(limitArgs(*call.observed));
        }
    }
    if (app) append({*app});
    return call;
}

json finishCall(Session& session, const CallStart& call, const ChildRun& run) {
    const std::string& name = call.name;
    if (run.end != ChildRun::End::Exited || run.status != 0)
        return textResult(failureText(session, run), true);
    if (call.picture) {
        // The numbers drawn can be pressed like those of an observe.
        json result = pictureResult(run.out, call.picture->read());
        const json* seen = result.contains("structuredContent") &&
                                   result["structuredContent"].contains("observation")
                               ? &result["structuredContent"]["observation"]
                               : nullptr;
        if (seen && call.observed) remember(session, {(*seen)["sha256"], *call.observed, call.app});
        return result;
    }
    std::optional<json> structured;
    if (name == "observe" || name == "wait") structured = observeStructure(run.out);
    else if (name == "hit") structured = hitStructure(run.out);
    else if (name == "text") structured = textStructure(run.out);
    else if (name == "list_applications") structured = appsStructure(run.out);
    else if (name == "windows") structured = windowsStructure(run.out);
    else if (name == "launch") structured = launchStructure(run.out);
    else return textResult(run.out.empty() ? "done" : run.out, false);
    if (!structured)
        return textResult("nuvra-click printed what this server cannot read:\n" + run.out, true);
    if (call.observed) remember(session, {(*structured)["sha256"], *call.observed, call.app});
    return structuredResult(run.out, std::move(*structured));
}

}  // namespace nuvra::mcp
