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

}  // namespace

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
