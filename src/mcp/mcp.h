// nuvra-mcp: the commands of nuvra-click as tools of the Model Context
// Protocol, spoken as JSON-RPC 2.0 over standard input and output, one
// message a line. Every tool but list_applications runs the nuvra-click
// installed beside this program; list_applications reads the workspace.
//
// nlohmann-json reports misuse by throwing. Nothing here lets an exception
// leave handleLine: a request that makes anything throw is answered with an
// internal error and the session goes on.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "actions/actions.h"
#include "platform/platform.h"

namespace nuvra::mcp {

using json = nlohmann::json;

// How one run of nuvra-click ended, with all it printed.
struct ChildRun {
    enum class End { Exited, Signalled, TimedOut, NotStarted };
    End end = End::NotStarted;
    int status = 0;   // Exited: the exit status; Signalled: the signal
    std::string out;
    std::string err;  // TimedOut, NotStarted: what happened, in words
};

// Runs nuvra-click with these arguments (without the program path).
using Runner = std::function<ChildRun(const std::vector<std::string>& args)>;

// The workspace's applications, or why the desktop could not be read.
struct AppListing {
    std::vector<RunningApplication> apps;
    std::optional<std::string> refusal;
};
using AppLister = std::function<AppListing()>;

// What produced a hash, so that press and settext can repeat it.
struct Remembered {
    std::string sha256;
    ObserveLimits limits;
    std::optional<std::string> app;
};

struct Session {
    Runner runner;
    AppLister lister;
    bool initialized = false;
    std::deque<Remembered> recent;  // newest last, at most kRemembered
};

constexpr size_t kRemembered = 64;
// Longer lines are read to their end and answered with an invalid request.
constexpr size_t kMaxLineBytes = 4 << 20;

// One line from the client (without its line feed); the line to answer with,
// if any: notifications and responses get none.
std::optional<std::string> handleLine(Session& session, std::string_view line);
// The answer to a line longer than kMaxLineBytes.
std::string overlongLineReply();
// A message as one line; text from other programs goes out repaired where it
// is not UTF-8.
std::string serialize(const json& message);

// --- tools.cpp ---
json toolList();
bool isTool(const std::string& name);
// The result of a call of a tool isTool accepts; argument errors and failed
// runs are results with isError set.
json callTool(Session& session, const std::string& name, const json& arguments);

// --- structured.cpp: nuvra-click's output as the tools' structured content ---
std::optional<json> observeStructure(std::string_view out);
std::optional<json> hitStructure(std::string_view out);
std::optional<json> textStructure(std::string_view out);

// --- child.cpp ---
ChildRun runChild(const std::string& program, const std::vector<std::string>& args,
                  double timeoutSeconds);

}  // namespace nuvra::mcp
