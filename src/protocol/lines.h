// The lines nuvra-click prints for what it found, as records, each with the
// function that writes it and the one that reads it back, side by side, so
// that reading what was written gives the same record. nuvra-click writes
// them; nuvra-mcp reads its children's output with the same functions.
//
// Texts in the records are as shown: a bare text (role, app name, window
// title) is already line-safe, a quoted one already cut and sanitised where
// the line cuts and sanitises it. The writers print them as they are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/limits.h"

namespace nuvra {

// `[eN] ROLE "label" @x,y value="…" disabled focused`, indented two spaces a
// level. The role is printed bare unless that would read back as something
// else (it holds a quotation mark, or ends as a later part of the line
// would, " @1,2", " disabled", " focused", with those parts absent): then
// it is a JSON string.
struct ElementLine {
    int64_t depth = 0;  // as indented: at most kIndentCap
    int64_t index = 0;
    std::string role;
    std::optional<std::string> label;
    struct Centre {
        int64_t x = 0;
        int64_t y = 0;
        bool operator==(const Centre&) const = default;
    };
    std::optional<Centre> centre;
    std::optional<std::string> value;
    bool disabled = false;
    bool focused = false;
    bool operator==(const ElementLine&) const = default;
};

void appendElementLine(std::string& out, const ElementLine& e);
std::optional<ElementLine> readElementLine(std::string_view line);

// "NUVRA_OBSERVE app=…", "NUVRA_WINDOW …", the element lines and
// "NUVRA_END nodes=N truncated=0|1 sha256=…".
struct ObservationBlock {
    std::string app;
    std::string window;
    std::vector<ElementLine> elements;
    int64_t nodes = 0;
    bool truncated = false;
    std::string sha256;
    bool operator==(const ObservationBlock&) const = default;
};

// The block's first two lines and its last, around element lines written
// already (the walk writes each as it goes, to count its bytes).
void appendObservationHead(std::string& out, std::string_view app, std::string_view window);
void appendObservationEnd(std::string& out, int64_t nodes, bool truncated, std::string_view sha256);
std::string writeObservation(const ObservationBlock& block);
// A whole output of lines that each end with a line feed.
std::optional<ObservationBlock> readObservation(std::string_view out);

// "NUVRA_HIT role|subrole|title|label|true|false". Plain while it reads back
// as written: a title equal to its label may hold bars, and so may a label
// after an empty title. Otherwise the four texts are JSON strings.
struct HitLine {
    std::string role;
    std::string subrole;
    std::string title;
    std::string label;
    bool enabled = true;
    bool focused = false;
    bool operator==(const HitLine&) const = default;
};

void appendHitLine(std::string& out, const HitLine& hit);
std::optional<HitLine> readHit(std::string_view out);

// "NUVRA_APP pid=N regular=0|1 frontmost=0|1 responding=0|1 name=… bundle=…",
// the texts JSON strings or null.
struct AppLine {
    int64_t pid = 0;
    bool regular = false;
    bool frontmost = false;
    bool responding = true;
    std::optional<std::string> name;
    std::optional<std::string> bundle;
    bool operator==(const AppLine&) const = default;
};

void appendAppLine(std::string& out, const AppLine& app);
std::optional<std::vector<AppLine>> readApps(std::string_view out);

// The application's line, "NUVRA_TOPLEVEL n=N focused=F main=M modal=D
// frame=X,Y,W,H|null title=…" for each window, "NUVRA_END windows=N
// truncated=0|1".
struct ToplevelLine {
    int64_t number = 0;
    bool focused = false;
    bool main = false;
    bool modal = false;
    struct Frame {
        int64_t x = 0, y = 0, width = 0, height = 0;
        bool operator==(const Frame&) const = default;
    };
    std::optional<Frame> frame;
    std::optional<std::string> title;
    bool operator==(const ToplevelLine&) const = default;
};

struct WindowsBlock {
    AppLine app;
    std::vector<ToplevelLine> windows;
    bool truncated = false;
    bool operator==(const WindowsBlock&) const = default;
};

void appendWindows(std::string& out, const WindowsBlock& listed);
std::optional<WindowsBlock> readWindows(std::string_view out);

// "NUVRA_TEXT bytes=B total=T truncated=0|1", then the text as one JSON string.
struct TextBlock {
    int64_t bytes = 0;
    int64_t total = 0;
    bool truncated = false;
    std::string text;
    bool operator==(const TextBlock&) const = default;
};

void appendText(std::string& out, const TextBlock& text);
std::optional<TextBlock> readText(std::string_view out);

}  // namespace nuvra
