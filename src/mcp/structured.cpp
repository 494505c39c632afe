// nuvra-click's observe block and hit line read back into values. The
// texts an application controls are JSON strings in the element lines; the
// role, app name and window title are printed bare but can hold no line
// break, so every line is read from its fixed start and its fixed end.
#include <charconv>

#include "mcp/mcp.h"

namespace nuvra::mcp {

namespace {

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        size_t end = text.find('\n');
        if (end == std::string_view::npos) return {};  // every line ends with a line feed
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    return lines;
}

bool consume(std::string_view& text, std::string_view prefix) {
    if (!text.starts_with(prefix)) return false;
    text.remove_prefix(prefix.size());
    return true;
}

bool consumeSuffix(std::string_view& text, std::string_view suffix) {
    if (!text.ends_with(suffix)) return false;
    text.remove_suffix(suffix.size());
    return true;
}

// A decimal integer at the start of `text`, consumed.
std::optional<int64_t> integer(std::string_view& text) {
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) return std::nullopt;
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return value;
}

// A JSON string literal that ends `text`, decoded and cut off with the space
// before it; none when `text` does not end with one.
std::optional<std::string> trailingString(std::string_view& text, std::string_view lead) {
    if (!text.ends_with('"') || text.size() < 2) return std::nullopt;
    // The opening quote is the last one not escaped: an even run of
    // backslashes before it.
    for (size_t i = text.size() - 1; i-- > 0;) {
        if (text[i] != '"') continue;
        size_t slashes = 0;
        while (slashes < i && text[i - 1 - slashes] == '\\') ++slashes;
        if (slashes % 2 != 0) continue;
        std::string_view before = text.substr(0, i);
        if (!before.ends_with(lead)) return std::nullopt;
        json decoded = json::parse(text.substr(i), nullptr, false);
        if (!decoded.is_string()) return std::nullopt;
        text = before.substr(0, before.size() - lead.size());
        return decoded.get<std::string>();
    }
    return std::nullopt;
}

// " @x,y" at the end of `text`, cut off.
std::optional<std::pair<int64_t, int64_t>> trailingCentre(std::string_view& text) {
    size_t at = text.rfind(" @");
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view span = text.substr(at + 2);
    std::optional<int64_t> x = integer(span);
    if (!x || !consume(span, ",")) return std::nullopt;
    std::optional<int64_t> y = integer(span);
    if (!y || !span.empty()) return std::nullopt;
    text = text.substr(0, at);
    return std::pair{*x, *y};
}

// `  [eN] ROLE "title" @x,y value="…" disabled focused`, the parts after
// the role each optional, read from the end.
std::optional<json> element(std::string_view line) {
    size_t indent = line.find_first_not_of(' ');
    if (indent == std::string_view::npos || indent % 2 != 0) return std::nullopt;
    line.remove_prefix(indent);
    std::optional<int64_t> index;
    if (!consume(line, "[e") || !(index = integer(line)) || !consume(line, "] "))
        return std::nullopt;
    json e = {{"index", *index}, {"depth", indent / 2}};
    e["focused"] = consumeSuffix(line, " focused");
    e["disabled"] = consumeSuffix(line, " disabled");
    if (auto value = trailingString(line, " value=")) e["value"] = *value;
    if (auto centre = trailingCentre(line)) {
        e["x"] = centre->first;
        e["y"] = centre->second;
    }
    if (auto title = trailingString(line, " ")) e["title"] = *title;
    if (line.empty()) return std::nullopt;
    e["role"] = std::string(line);
    return e;
}

// A flag field " NAME=0" or " NAME=1" at the start of `text`, consumed.
std::optional<bool> flagField(std::string_view& text, std::string_view name) {
    std::string_view rest = text;
    if (!consume(rest, " ") || !consume(rest, name) || !consume(rest, "=")) return std::nullopt;
    if (!rest.starts_with('0') && !rest.starts_with('1')) return std::nullopt;
    const bool value = rest.front() == '1';
    text = rest.substr(1);
    return value;
}

// " NAME=null" or " NAME=\"…\"" at the end of `text`, cut off: false when
// neither; `value` stays empty for null.
bool trailingTextOrNull(std::string_view& text, std::string_view name,
                        std::optional<std::string>& value) {
    const std::string lead = " " + std::string(name) + "=";
    if (consumeSuffix(text, lead + "null")) return true;
    value = trailingString(text, lead);
    return value.has_value();
}

// `NUVRA_APP pid=N regular=0|1 frontmost=0|1 responding=0|1 name=… bundle=…`
std::optional<json> appLine(std::string_view line) {
    std::optional<int64_t> pid;
    std::optional<std::string> name, bundle;
    if (!consume(line, "NUVRA_APP pid=") || !(pid = integer(line)) ||
        !trailingTextOrNull(line, "bundle", bundle) || !trailingTextOrNull(line, "name", name))
        return std::nullopt;
    std::optional<bool> regular = flagField(line, "regular");
    std::optional<bool> frontmost = regular ? flagField(line, "frontmost") : std::nullopt;
    std::optional<bool> responding = frontmost ? flagField(line, "responding") : std::nullopt;
    if (!responding || !line.empty()) return std::nullopt;
    json app = {{"pid", *pid}, {"regular", *regular}, {"frontmost", *frontmost}};
    // Told only of one that did not answer: then its name and state are unknown.
    if (!*responding) app["responding"] = false;
    if (name) app["name"] = *name;
    if (bundle) app["bundleId"] = *bundle;
    return app;
}

// `NUVRA_TOPLEVEL n=N focused=F main=M modal=D frame=X,Y,W,H|null title=…`
std::optional<json> windowLine(std::string_view line) {
    std::optional<int64_t> number;
    std::optional<std::string> title;
    if (!consume(line, "NUVRA_TOPLEVEL n=") || !(number = integer(line)) ||
        !trailingTextOrNull(line, "title", title))
        return std::nullopt;
    json w = {{"number", *number}};
    for (const char* name : {"focused", "main", "modal"}) {
        std::optional<bool> value = flagField(line, name);
        if (!value) return std::nullopt;
        w[name] = *value;
    }
    if (!consume(line, " frame=")) return std::nullopt;
    if (line != "null") {
        for (const char* name : {"x", "y", "width", "height"}) {
            std::optional<int64_t> value = integer(line);
            if (!value || !(std::string_view(name) == "height" || consume(line, ","))) return std::nullopt;
            w[name] = *value;
        }
        if (!line.empty()) return std::nullopt;
    }
    if (title) w["title"] = *title;
    return w;
}

}  // namespace

std::optional<json> appsStructure(std::string_view out) {
    std::vector<std::string_view> lines = linesOf(out);
    if (lines.empty() && !out.empty()) return std::nullopt;
    json apps = json::array();
    for (std::string_view line : lines) {
        std::optional<json> app = appLine(line);
        if (!app) return std::nullopt;
        apps.push_back(std::move(*app));
    }
    return json{{"applications", std::move(apps)}};
}

std::optional<json> launchStructure(std::string_view out) {
    std::vector<std::string_view> lines = linesOf(out);
    if (lines.size() != 1) return std::nullopt;
    return appLine(lines[0]);
}

std::optional<json> windowsStructure(std::string_view out) {
    std::vector<std::string_view> lines = linesOf(out);
    if (lines.size() < 2) return std::nullopt;
    std::optional<json> app = appLine(lines[0]);
    std::string_view end = lines.back();
    std::optional<int64_t> count;
    if (!app || !consume(end, "NUVRA_END windows=") || !(count = integer(end)) ||
        !(end == " truncated=0" || end == " truncated=1") ||
        *count != static_cast<int64_t>(lines.size()) - 2)
        return std::nullopt;
    json windows = json::array();
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        std::optional<json> w = windowLine(lines[i]);
        if (!w) return std::nullopt;
        windows.push_back(std::move(*w));
    }
    return json{{"app", std::move(*app)}, {"windows", std::move(windows)},
                {"truncated", end == " truncated=1"}};
}

std::optional<json> observeStructure(std::string_view out) {
    std::vector<std::string_view> lines = linesOf(out);
    if (lines.size() < 3) return std::nullopt;
    std::string_view app = lines[0], window = lines[1], end = lines.back();
    if (!consume(app, "NUVRA_OBSERVE app=") || !consume(window, "NUVRA_WINDOW ") ||
        !consume(end, "NUVRA_END nodes="))
        return std::nullopt;
    std::optional<int64_t> nodes = integer(end);
    if (!nodes || !(consume(end, " truncated=0") || consume(end, " truncated=1")) ||
        !consume(end, " sha256=") || end.size() != 64)
        return std::nullopt;
    json elements = json::array();
    for (size_t i = 2; i + 1 < lines.size(); ++i) {
        std::optional<json> e = element(lines[i]);
        if (!e) return std::nullopt;
        elements.push_back(std::move(*e));
    }
    return json{{"app", std::string(app)},
                {"window", std::string(window)},
                {"elements", std::move(elements)},
                {"nodes", *nodes},
                {"truncated", lines.back().find(" truncated=1 ") != std::string_view::npos},
                {"sha256", std::string(end)}};
}

// `NUVRA_HIT role|subrole|title|label|enabled|focused`, where a `|` inside a
// field is not escaped: role and subrole come first, the two states last,
// and title and label share the middle.
std::optional<json> hitStructure(std::string_view out) {
    std::vector<std::string_view> lines = linesOf(out);
    if (lines.size() != 1) return std::nullopt;
    std::string_view line = lines[0];
    if (!consume(line, "NUVRA_HIT ")) return std::nullopt;
    auto flag = [&](bool& value) {
        if (consumeSuffix(line, "|true")) value = true;
        else if (consumeSuffix(line, "|false")) value = false;
        else return false;
        return true;
    };
    bool enabled = false, focused = false;
    if (!flag(focused) || !flag(enabled)) return std::nullopt;
    size_t first = line.find('|');
    size_t second = first == std::string_view::npos ? first : line.find('|', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    std::string_view middle = line.substr(second + 1);
    // The label is the title when there is one: a middle "T|T" splits in half.
    size_t split = middle.find('|');
    size_t half = middle.size() / 2;
    if (middle.size() % 2 == 1 && middle[half] == '|' && middle.substr(0, half) == middle.substr(half + 1))
        split = half;
    if (split == std::string_view::npos) return std::nullopt;
    return json{{"role", std::string(line.substr(0, first))},
                {"subrole", std::string(line.substr(first + 1, second - first - 1))},
                {"title", std::string(middle.substr(0, split))},
                {"label", std::string(middle.substr(split + 1))},
                {"enabled", enabled},
                {"focused", focused}};
}

// `NUVRA_TEXT bytes=B total=T truncated=0|1`, then the text as one JSON string.
std::optional<json> textStructure(std::string_view out) {
    std::vector<std::string_view> lines = linesOf(out);
    if (lines.size() != 2) return std::nullopt;
    std::string_view head = lines[0];
    std::optional<int64_t> bytes, total;
    if (!consume(head, "NUVRA_TEXT bytes=") || !(bytes = integer(head)) ||
        !consume(head, " total=") || !(total = integer(head)))
        return std::nullopt;
    const bool truncated = head == " truncated=1";
    if (!truncated && head != " truncated=0") return std::nullopt;
    json text = json::parse(lines[1], nullptr, false);
    if (!text.is_string()) return std::nullopt;
    return json{{"text", text}, {"bytes", *bytes}, {"total", *total}, {"truncated", truncated}};
}

}  // namespace nuvra::mcp
