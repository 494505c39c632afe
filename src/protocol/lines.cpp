#include "protocol/lines.h"

#include <charconv>

#include <nlohmann/json.hpp>

#include "text/text_append.h"

namespace nuvra {

namespace {

void appendInt(std::string& out, int64_t v) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, res.ptr);
}

void appendFlag(std::string& out, std::string_view name, bool value) {
    out.append(name);
    out.push_back(value ? '1' : '0');
}

void appendQuotedOrNull(std::string& out, const std::optional<std::string>& text) {
    if (text) textAppend::jsonString(out, *text);
    else out.append("null");
}

// ---- reading ----

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

std::optional<bool> flagAt(std::string_view& text, std::string_view name) {
    if (!consume(text, name) || text.empty() || (text[0] != '0' && text[0] != '1'))
        return std::nullopt;
    const bool value = text[0] == '1';
    text.remove_prefix(1);
    return value;
}

std::optional<std::string> decodeString(std::string_view literal) {
    nlohmann::json decoded = nlohmann::json::parse(literal, nullptr, false);
    if (!decoded.is_string()) return std::nullopt;
    return decoded.get<std::string>();
}

// A JSON string literal at the start of `text`, decoded and consumed.
std::optional<std::string> leadingString(std::string_view& text) {
    if (!text.starts_with('"')) return std::nullopt;
    for (size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            std::optional<std::string> decoded = decodeString(text.substr(0, i + 1));
            if (decoded) text.remove_prefix(i + 1);
            return decoded;
        }
    }
    return std::nullopt;
}

// A JSON string literal that ends `text` with `lead` before it, decoded and
// cut off together with the lead. Every quotation mark inside a literal is
// escaped, so its opening one is the last that follows an even run of
// backslashes.
std::optional<std::string> trailingString(std::string_view& text, std::string_view lead) {
    if (text.size() < 2 || !text.ends_with('"')) return std::nullopt;
    for (size_t i = text.size() - 1; i-- > 0;) {
        if (text[i] != '"') continue;
        size_t slashes = 0;
        while (slashes < i && text[i - 1 - slashes] == '\\') ++slashes;
        if (slashes % 2 != 0) continue;
        std::string_view before = text.substr(0, i);
        if (!before.ends_with(lead)) return std::nullopt;
        std::optional<std::string> decoded = decodeString(text.substr(i));
        if (decoded) text = before.substr(0, before.size() - lead.size());
        return decoded;
    }
    return std::nullopt;
}

// " @x,y" at the end of `text`, cut off.
std::optional<ElementLine::Centre> trailingCentre(std::string_view& text) {
    size_t at = text.rfind(" @");
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view span = text.substr(at + 2);
    std::optional<int64_t> x = integer(span);
    if (!x || !consume(span, ",")) return std::nullopt;
    std::optional<int64_t> y = integer(span);
    if (!y || !span.empty()) return std::nullopt;
    text = text.substr(0, at);
    return ElementLine::Centre{*x, *y};
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

// The element line is read from its end: each part after the role is
// recognised by its own form, and what is left is the role. A bare role
// that would lose its end to one of those parts is printed quoted.
bool roleReadsBare(const ElementLine& e) {
    std::string_view role = e.role;
    if (role.find('"') != std::string_view::npos) return false;
    if (e.label || e.centre) return true;
    if (std::string_view rest = role; trailingCentre(rest)) return false;
    if (e.value || e.disabled) return true;
    if (role.ends_with(" disabled")) return false;
    return e.focused || !role.ends_with(" focused");
}

// `NUVRA_APP pid=N regular=0|1 frontmost=0|1 responding=0|1 name=… bundle=…`
std::optional<AppLine> appLine(std::string_view line) {
    AppLine app;
    std::optional<int64_t> pid;
    if (!consume(line, "NUVRA_APP pid=") || !(pid = integer(line)) ||
        !trailingTextOrNull(line, "bundle", app.bundle) ||
        !trailingTextOrNull(line, "name", app.name))
        return std::nullopt;
    std::optional<bool> regular = flagAt(line, " regular=");
    std::optional<bool> frontmost = regular ? flagAt(line, " frontmost=") : std::nullopt;
    std::optional<bool> responding = frontmost ? flagAt(line, " responding=") : std::nullopt;
    if (!responding || !line.empty()) return std::nullopt;
    app.pid = *pid;
    app.regular = *regular;
    app.frontmost = *frontmost;
    app.responding = *responding;
    return app;
}

std::optional<ToplevelLine> toplevelLine(std::string_view line) {
    ToplevelLine w;
    std::optional<int64_t> number;
    if (!consume(line, "NUVRA_TOPLEVEL n=") || !(number = integer(line)) ||
        !trailingTextOrNull(line, "title", w.title))
        return std::nullopt;
    w.number = *number;
    for (auto [name, field] : {std::pair{" focused=", &w.focused}, std::pair{" main=", &w.main},
                               std::pair{" modal=", &w.modal}}) {
        std::optional<bool> value = flagAt(line, name);
        if (!value) return std::nullopt;
        *field = *value;
    }
    if (!consume(line, " frame=")) return std::nullopt;
    if (line == "null") return w;
    ToplevelLine::Frame f;
    int64_t* parts[] = {&f.x, &f.y, &f.width, &f.height};
    for (size_t i = 0; i < 4; ++i) {
        std::optional<int64_t> value = integer(line);
        if (!value || (i < 3 && !consume(line, ","))) return std::nullopt;
        *parts[i] = *value;
    }
    if (!line.empty()) return std::nullopt;
    w.frame = f;
    return w;
}

// What the plain hit line's reader makes of "title|label": a text twice is
// both, else the title ends at the first bar.
std::pair<std::string_view, std::string_view> splitMiddle(std::string_view middle) {
    const size_t half = middle.size() / 2;
    if (middle.size() % 2 == 1 && middle[half] == '|' &&
        middle.substr(0, half) == middle.substr(half + 1))
        return {middle.substr(0, half), middle.substr(half + 1)};
    const size_t bar = middle.find('|');
    if (bar == std::string_view::npos) return {middle, {}};  // never written
    return {middle.substr(0, bar), middle.substr(bar + 1)};
}

bool hitReadsPlain(const HitLine& hit) {
    if (hit.role.starts_with('"') || hit.role.find('|') != std::string::npos ||
        hit.subrole.find('|') != std::string::npos)
        return false;
    if (hit.title == hit.label) return true;
    const std::string middle = hit.title + "|" + hit.label;
    return splitMiddle(middle).first == hit.title;
}

}  // namespace

void appendElementLine(std::string& out, const ElementLine& e) {
    out.append(static_cast<size_t>(2 * e.depth), ' ');
    out.append("[e");
    appendInt(out, e.index);
    out.append("] ");
    if (roleReadsBare(e)) out.append(e.role);
    else textAppend::jsonString(out, e.role);
    if (e.label) {
        out.push_back(' ');
        textAppend::jsonString(out, *e.label);
    }
    if (e.centre) {
        out.append(" @");
        appendInt(out, e.centre->x);
        out.push_back(',');
        appendInt(out, e.centre->y);
    }
    if (e.value) {
        out.append(" value=");
        textAppend::jsonString(out, *e.value);
    }
    if (e.disabled) out.append(" disabled");
    if (e.focused) out.append(" focused");
}

std::optional<ElementLine> readElementLine(std::string_view line) {
    size_t indent = line.find_first_not_of(' ');
    if (indent == std::string_view::npos || indent % 2 != 0) return std::nullopt;
    line.remove_prefix(indent);
    ElementLine e;
    e.depth = static_cast<int64_t>(indent / 2);
    std::optional<int64_t> index;
    if (!consume(line, "[e") || !(index = integer(line)) || !consume(line, "] "))
        return std::nullopt;
    e.index = *index;
    e.focused = consumeSuffix(line, " focused");
    e.disabled = consumeSuffix(line, " disabled");
    e.value = trailingString(line, " value=");
    e.centre = trailingCentre(line);
    e.label = trailingString(line, " ");
    if (line.starts_with('"')) {
        std::optional<std::string> role = leadingString(line);
        if (!role || !line.empty()) return std::nullopt;
        e.role = std::move(*role);
    } else {
        if (line.find('"') != std::string_view::npos) return std::nullopt;
        e.role = std::string(line);
    }
    return e;
}

void appendObservationHead(std::string& out, std::string_view app, std::string_view window) {
    out.append("NUVRA_OBSERVE app=").append(app).push_back('\n');
    out.append("NUVRA_WINDOW ").append(window).push_back('\n');
}

void appendObservationEnd(std::string& out, int64_t nodes, bool truncated, std::string_view sha256) {
    out.append("NUVRA_END nodes=");
    appendInt(out, nodes);
    out.append(truncated ? " truncated=1" : " truncated=0");
    out.append(" sha256=").append(sha256).push_back('\n');
}

std::string writeObservation(const ObservationBlock& block) {
    std::string out;
    appendObservationHead(out, block.app, block.window);
    for (const auto& e : block.elements) {
        appendElementLine(out, e);
        out.push_back('\n');
    }
    appendObservationEnd(out, block.nodes, block.truncated, block.sha256);
    return out;
}

std::optional<ObservationBlock> readObservation(std::string_view out) {
    std::vector<std::string_view> lines = linesOf(out);
    if (lines.size() < 3) return std::nullopt;
    std::string_view app = lines[0], window = lines[1], end = lines.back();
    ObservationBlock block;
    std::optional<int64_t> nodes;
    if (!consume(app, "NUVRA_OBSERVE app=") || !consume(window, "NUVRA_WINDOW ") ||
        !consume(end, "NUVRA_END nodes=") || !(nodes = integer(end)))
        return std::nullopt;
    block.truncated = end.starts_with(" truncated=1");
    if (!(consume(end, " truncated=0") || consume(end, " truncated=1")) ||
        !consume(end, " sha256=") || end.size() != 64)
        return std::nullopt;
    for (size_t i = 2; i + 1 < lines.size(); ++i) {
        std::optional<ElementLine> e = readElementLine(lines[i]);
        if (!e) return std::nullopt;
        block.elements.push_back(std::move(*e));
    }
    block.app = std::string(app);
    block.window = std::string(window);
    block.nodes = *nodes;
    block.sha256 = std::string(end);
    return block;
}

void appendHitLine(std::string& out, const HitLine& hit) {
    out.append("NUVRA_HIT ");
    const bool plain = hitReadsPlain(hit);
    for (const std::string* text : {&hit.role, &hit.subrole, &hit.title, &hit.label}) {
        if (plain) out.append(*text);
        else textAppend::jsonString(out, *text);
        out.push_back('|');
    }
    out.append(hit.enabled ? "true|" : "false|");
    out.append(hit.focused ? "true\n" : "false\n");
}

std::optional<HitLine> readHit(std::string_view out) {
    std::vector<std::string_view> lines = linesOf(out);
    if (lines.size() != 1) return std::nullopt;
    std::string_view line = lines[0];
    if (!consume(line, "NUVRA_HIT ")) return std::nullopt;
    HitLine hit;
    auto flag = [&](bool& value) {
        if (consumeSuffix(line, "|true")) value = true;
        else if (consumeSuffix(line, "|false")) value = false;
        else return false;
        return true;
    };
    if (!flag(hit.focused) || !flag(hit.enabled)) return std::nullopt;
    if (line.starts_with('"')) {
        std::string* texts[] = {&hit.role, &hit.subrole, &hit.title, &hit.label};
        for (size_t i = 0; i < 4; ++i) {
            std::optional<std::string> text = leadingString(line);
            if (!text || (i < 3 && !consume(line, "|"))) return std::nullopt;
            *texts[i] = std::move(*text);
        }
        if (!line.empty()) return std::nullopt;
        return hit;
    }
    size_t first = line.find('|');
    size_t second = first == std::string_view::npos ? first : line.find('|', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    std::string_view middle = line.substr(second + 1);
    if (middle.find('|') == std::string_view::npos) return std::nullopt;
    auto [title, label] = splitMiddle(middle);
    hit.role = std::string(line.substr(0, first));
    hit.subrole = std::string(line.substr(first + 1, second - first - 1));
    hit.title = std::string(title);
    hit.label = std::string(label);
    return hit;
}

void appendAppLine(std::string& out, const AppLine& app) {
    out.append("NUVRA_APP pid=");
    appendInt(out, app.pid);
    appendFlag(out, " regular=", app.regular);
    appendFlag(out, " frontmost=", app.frontmost);
    appendFlag(out, " responding=", app.responding);
    out.append(" name=");
    appendQuotedOrNull(out, app.name);
    out.append(" bundle=");
    appendQuotedOrNull(out, app.bundle);
    out.push_back('\n');
}

std::optional<std::vector<AppLine>> readApps(std::string_view out) {
    std::vector<std::string_view> lines = linesOf(out);
    if (lines.empty() && !out.empty()) return std::nullopt;
    std::vector<AppLine> apps;
    for (std::string_view line : lines) {
        std::optional<AppLine> app = appLine(line);
        if (!app) return std::nullopt;
        apps.push_back(std::move(*app));
    }
    return apps;
}

void appendWindows(std::string& out, const WindowsBlock& listed) {
    appendAppLine(out, listed.app);
    for (const auto& w : listed.windows) {
        out.append("NUVRA_TOPLEVEL n=");
        appendInt(out, w.number);
        appendFlag(out, " focused=", w.focused);
        appendFlag(out, " main=", w.main);
        appendFlag(out, " modal=", w.modal);
        out.append(" frame=");
        if (w.frame) {
            const ToplevelLine::Frame& f = *w.frame;
            appendInt(out, f.x);
            for (int64_t v : {f.y, f.width, f.height}) {
                out.push_back(',');
                appendInt(out, v);
            }
        } else {
            out.append("null");
        }
        out.append(" title=");
        appendQuotedOrNull(out, w.title);
        out.push_back('\n');
    }
    out.append("NUVRA_END windows=");
    appendInt(out, static_cast<int64_t>(listed.windows.size()));
    appendFlag(out, " truncated=", listed.truncated);
    out.push_back('\n');
}

std::optional<WindowsBlock> readWindows(std::string_view out) {
    std::vector<std::string_view> lines = linesOf(out);
    if (lines.size() < 2) return std::nullopt;
    std::optional<AppLine> app = appLine(lines[0]);
    std::string_view end = lines.back();
    std::optional<int64_t> count;
    std::optional<bool> truncated;
    if (!app || !consume(end, "NUVRA_END windows=") || !(count = integer(end)) ||
        !(truncated = flagAt(end, " truncated=")) || !end.empty() ||
        *count != static_cast<int64_t>(lines.size()) - 2)
        return std::nullopt;
    WindowsBlock listed{std::move(*app), {}, *truncated};
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        std::optional<ToplevelLine> w = toplevelLine(lines[i]);
        if (!w) return std::nullopt;
        listed.windows.push_back(std::move(*w));
    }
    return listed;
}

void appendText(std::string& out, const TextBlock& text) {
    out.append("NUVRA_TEXT bytes=");
    appendInt(out, text.bytes);
    out.append(" total=");
    appendInt(out, text.total);
    appendFlag(out, " truncated=", text.truncated);
    out.push_back('\n');
    textAppend::jsonString(out, text.text);
    out.push_back('\n');
}

std::optional<TextBlock> readText(std::string_view out) {
    std::vector<std::string_view> lines = linesOf(out);
    if (lines.size() != 2) return std::nullopt;
    std::string_view head = lines[0];
    std::optional<int64_t> bytes, total;
    std::optional<bool> truncated;
    if (!consume(head, "NUVRA_TEXT bytes=") || !(bytes = integer(head)) ||
        !consume(head, " total=") || !(total = integer(head)) ||
        !(truncated = flagAt(head, " truncated=")) || !head.empty())
        return std::nullopt;
    std::optional<std::string> text = decodeString(lines[1]);
    if (!text) return std::nullopt;
    return TextBlock{*bytes, *total, *truncated, std::move(*text)};
}

}  // namespace nuvra
