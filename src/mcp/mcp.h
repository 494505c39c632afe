// nuvra-mcp: the commands of nuvra-click as tools of the Model Context
// Protocol, spoken as JSON-RPC 2.0 over standard input and output, one
// message a line. Every tool runs the nuvra-click installed beside this
// program.
//
// nlohmann-json reports misuse by throwing. No exception leaves handleLine
// or the serving of a call: a request that makes anything throw is answered
// with an internal error and the session goes on.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "actions/actions.h"
#include "mcp/limits.h"
#include "platform/native.h"
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

// What produced a hash, so that press and settext can repeat it.
struct Remembered {
    std::string sha256;
    ObserveLimits limits;
    std::optional<std::string> app;
};

struct Session {
    // The time limit of one run (--timeout), which a wait must fit in.
    double runSeconds = 20;
    // What to tell a user whose host started this server without the
    // desktop's variables (empty when it has them): added to every result
    // that failed for want of them.
    std::string environmentAdvice;
    bool initialized = false;
    std::deque<Remembered> recent;  // newest last, at most kRemembered
};

// A tools/call of a known tool, served in its turn: one call runs at a
// time, the others wait in the order they came.
struct QueuedCall {
    json id;
    std::string name;
    json arguments;  // an object
};

// What one line from the client asks for: an answer now (none for
// notifications and responses), a call to queue, or the end of a request
// (notifications/cancelled: its requestId).
struct Handling {
    std::optional<std::string> reply;
    std::optional<QueuedCall> call;
    std::optional<json> cancel;
};

// One line from the client, without its line feed.
Handling handleLine(Session& session, std::string_view line);
// The answer to a call, once it has its result, or to one that threw.
std::string callReply(const json& id, json result);
std::string internalErrorReply(const json& id, std::string_view what);
// The answer to a line longer than kMaxLineBytes.
std::string overlongLineReply();
// A message as one line; text from other programs goes out repaired where it
// is not UTF-8.
std::string serialize(const json& message);

// --- tools.cpp ---
json toolList();
bool isTool(const std::string& name);

// --- picture.cpp: the screenshot tool's picture ---

// A folder of this server's own for one picture, removed with all in it.
class PictureFolder {
public:
    PictureFolder();
    ~PictureFolder();
    PictureFolder(const PictureFolder&) = delete;
    PictureFolder& operator=(const PictureFolder&) = delete;

    bool made() const { return !folder_.empty(); }
    const std::string& error() const { return error_; }  // why not, when not made
    std::string path() const { return folder_ + "/screenshot.png"; }
    // The picture as written; none when there is none.
    std::optional<std::string> read() const;

private:
    std::string folder_;
    std::string error_;
};

// The result of a screenshot run that printed `out` and wrote `file`: the
// image (shrunk to fit one result, its scale with it), the text, and the
// structured content.
json pictureResult(std::string_view out, const std::optional<std::string>& file);

// The shortest text that reads back as the same coordinate.
std::string coordText(const json& value);

// A call of a tool isTool accepts, as it begins: its result at once
// (argument errors), or the nuvra-click run it needs.
struct CallStart {
    std::optional<json> result;
    std::string name;
    std::vector<std::string> args;  // the run's arguments, without the program
    std::optional<ObserveLimits> observed;
    std::optional<std::string> app;
    // screenshot: where its run writes the picture; removed with the call.
    std::shared_ptr<PictureFolder> picture;
};
CallStart startCall(Session& session, const std::string& name, const json& arguments);
// The result of a started call once its run has ended; failed runs are
// results with isError set.
json finishCall(Session& session, const CallStart& call, const ChildRun& run);

// --- structured.cpp: nuvra-click's output as the tools' structured content ---
std::optional<json> observeStructure(std::string_view out);
std::optional<json> hitStructure(std::string_view out);
std::optional<json> textStructure(std::string_view out);
// `apps`: {applications: [...]}; `launch`: the one application; `windows`:
// {app, windows: [...], truncated}.
std::optional<json> appsStructure(std::string_view out);
std::optional<json> launchStructure(std::string_view out);
std::optional<json> windowsStructure(std::string_view out);

// --- environment.cpp ---
// For a host that started this server without the desktop's variables: the
// "env" to add, in words, or empty when none is missing.
std::string environmentAdvice(const std::vector<SessionVariable>& missing);

// --- child.cpp: one run of nuvra-click, driven by the caller's poll loop ---
using Clock = std::chrono::steady_clock;

struct Child {
    pid_t pid = -1;
    int out = -1, err = -1;  // the read ends of its outputs, -1 once closed
    ChildRun run;            // what it printed so far
    Clock::time_point deadline;
    std::optional<Clock::time_point> killAt;  // set by stopChild
    bool killed = false;
    bool timedOut = false;
    std::optional<int> waitStatus;  // once reaped
};

// Starts `program` with `args` (no shell, standard input from /dev/null,
// both outputs captured); nothing when it could not be started, `why` says.
std::optional<Child> startChild(const std::string& program, const std::vector<std::string>& args,
                                double timeoutSeconds, std::string& why);
// Reads what is ready on one of its outputs; an output that ended is closed.
void readChild(Child& child, int fd);
// Asks it to end (SIGTERM); SIGKILL follows after kStopGrace.
void stopChild(Child& child);
// Stops a run past its time, kills one past its grace and reaps one that
// has ended; true once it is reaped.
bool tendChild(Child& child);
// Milliseconds until tendChild has something to do (at most a minute).
int childWaitMs(const Child& child);
// How the reaped run ended.
ChildRun childOutcome(Child& child, double timeoutSeconds);

// --- serve.cpp ---
// Serves the client on standard input and output until its input ends,
// the client stops reading, or SIGTERM, SIGINT or SIGHUP comes (the signal
// is returned, else 0). A run still going then is stopped and waited for,
// and queued calls are dropped.
int serve(Session& session, const std::string& program, double timeoutSeconds);

}  // namespace nuvra::mcp
