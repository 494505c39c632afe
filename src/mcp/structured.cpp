// nuvra-click's output read back into values, by the readers that sit
// beside its writers, for the structured result of a tool.
#include "mcp/mcp.h"
#include "protocol/lines.h"

namespace nuvra::mcp {

namespace {

json appJson(const AppLine& app) {
    json out = {{"pid", app.pid}, {"regular", app.regular}, {"frontmost", app.frontmost}};
    // Told only of one that did not answer: then its name and state are unknown.
    if (!app.responding) out["responding"] = false;
    if (app.name) out["name"] = *app.name;
    if (app.bundle) out["bundleId"] = *app.bundle;
    return out;
}

}  // namespace

std::optional<json> appsStructure(std::string_view out) {
    std::optional<std::vector<AppLine>> apps = readApps(out);
    if (!apps) return std::nullopt;
    json list = json::array();
    for (const auto& app : *apps) list.push_back(appJson(app));
    return json{{"applications", std::move(list)}};
}

std::optional<json> launchStructure(std::string_view out) {
    std::optional<std::vector<AppLine>> apps = readApps(out);
    if (!apps || apps->size() != 1) return std::nullopt;
    return appJson(apps->front());
}

std::optional<json> windowsStructure(std::string_view out) {
    std::optional<WindowsBlock> listed = readWindows(out);
    if (!listed) return std::nullopt;
    json windows = json::array();
    for (const auto& w : listed->windows) {
        json entry = {{"number", w.number}, {"focused", w.focused}, {"main", w.main},
                      {"modal", w.modal}};
        if (w.frame) {
            entry["x"] = w.frame->x;
            entry["y"] = w.frame->y;
            entry["width"] = w.frame->width;
            entry["height"] = w.frame->height;
        }
        if (w.title) entry["title"] = *w.title;
        windows.push_back(std::move(entry));
    }
    return json{{"app", appJson(listed->app)}, {"windows", std::move(windows)},
                {"truncated", listed->truncated}};
}

std::optional<json> observeStructure(std::string_view out) {
    std::optional<ObservationBlock> block = readObservation(out);
    if (!block) return std::nullopt;
    json elements = json::array();
    for (const auto& e : block->elements) {
        json entry = {{"index", e.index}, {"depth", e.depth}, {"role", e.role},
                      {"disabled", e.disabled}, {"focused", e.focused}};
        if (e.label) entry["title"] = *e.label;
        if (e.centre) {
            entry["x"] = e.centre->x;
            entry["y"] = e.centre->y;
        }
        if (e.value) entry["value"] = *e.value;
        elements.push_back(std::move(entry));
    }
    return json{{"app", block->app},         {"window", block->window},
                {"elements", std::move(elements)}, {"nodes", block->nodes},
                {"truncated", block->truncated}, {"sha256", block->sha256}};
}

std::optional<json> hitStructure(std::string_view out) {
    std::optional<HitLine> hit = readHit(out);
    if (!hit) return std::nullopt;
    return json{{"role", hit->role},   {"subrole", hit->subrole}, {"title", hit->title},
                {"label", hit->label}, {"enabled", hit->enabled}, {"focused", hit->focused}};
}

std::optional<json> textStructure(std::string_view out) {
    std::optional<TextBlock> text = readText(out);
    if (!text) return std::nullopt;
    return json{{"text", text->text}, {"bytes", text->bytes}, {"total", text->total},
                {"truncated", text->truncated}};
}

}  // namespace nuvra::mcp
