// The JSON-RPC and MCP lifecycle: what a line from the client is, and what
// answers it.
#include <array>
#include <charconv>
#include <exception>

#include "mcp/mcp.h"
#include "text/text.h"

#ifndef NUVRA_VERSION
#define NUVRA_VERSION "0"
#endif

namespace nuvra::mcp {

namespace {

// Newest first: a client asking for a version not listed gets the first.
constexpr std::array<const char*, 4> kVersions = {"2025-11-25", "2025-06-18", "2025-03-26",
                                                  "2024-11-05"};

constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;

constexpr const char* kInstructions =
    "Drives other applications' windows through the accessibility interface. "
    "list_applications names the applications (pass a name or bundleId as app); observe reads "
    "a window as numbered elements with a sha256 of its state; press and settext act on an "
    "element by its number and that sha256. Observe again after anything that changes the "
    "window. click, drag, scroll and hit work in screen points, as observe prints them.";

json errorReply(const json& id, int code, const std::string& message) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

json resultReply(const json& id, json result) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}};
}

Handling reply(const json& message) {
    Handling handling;
    handling.reply = serialize(message);
    return handling;
}

const json* member(const json& object, const char* key) {
    auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

json initialize(Session& session, const json& id, const json& params) {
    const json* asked = member(params, "protocolVersion");
    if (asked == nullptr || !asked->is_string())
        return errorReply(id, kInvalidParams, "initialize needs params.protocolVersion, a string");
    if (session.initialized) return errorReply(id, kInvalidRequest, "already initialized");
    std::string version = kVersions[0];
    for (const char* known : kVersions)
        if (*asked == known) version = known;
    session.initialized = true;
    return resultReply(id, {{"protocolVersion", version},
                            {"capabilities", {{"tools", {{"listChanged", false}}}}},
                            {"serverInfo", {{"name", "nuvra-mcp"}, {"version", NUVRA_VERSION}}},
                            {"instructions", kInstructions}});
}

// A call of a known tool is queued; the rest is answered now.
Handling callRequest(const json& id, const json& params) {
    const json* name = member(params, "name");
    if (name == nullptr || !name->is_string())
        return reply(errorReply(id, kInvalidParams, "tools/call needs params.name, a tool's name"));
    const json* arguments = member(params, "arguments");
    if (arguments != nullptr && !arguments->is_object() && !arguments->is_null())
        return reply(errorReply(id, kInvalidParams, "params.arguments must be an object"));
    if (!isTool(*name))
        return reply(errorReply(id, kInvalidParams, "unknown tool: " + name->get<std::string>()));
    Handling queued;
    queued.call = QueuedCall{id, *name,
                             arguments && arguments->is_object() ? *arguments : json::object()};
    return queued;
}

Handling request(Session& session, const json& id, const std::string& method, const json& params) {
    if (method == "ping") return reply(resultReply(id, json::object()));
    if (method == "initialize") return reply(initialize(session, id, params));
    if (method != "tools/list" && method != "tools/call")
        return reply(errorReply(id, kMethodNotFound, "method not found: " + method));
    if (!session.initialized)
        return reply(errorReply(id, kInvalidRequest, "not initialized: send initialize first"));
    if (method == "tools/list") return reply(resultReply(id, {{"tools", toolList()}}));
    return callRequest(id, params);
}

// What a parsed message is, as JSON-RPC sees it.
struct Kind {
    enum { Request, Notification, Response, Invalid } what;
    json id;  // Request, Invalid: the id to answer with (null when unreadable)
};

Kind kindOf(const json& message) {
    if (!message.is_object()) return {Kind::Invalid, nullptr};
    const json* id = member(message, "id");
    const json* method = member(message, "method");
    const json* version = member(message, "jsonrpc");
    // A reply to a request of ours: this server sends none, so there is
    // nothing to match it with.
    if (method == nullptr && id != nullptr &&
        (member(message, "result") != nullptr || member(message, "error") != nullptr))
        return {Kind::Response, nullptr};
    const bool idValid = id != nullptr && (id->is_string() || id->is_number());
    const json replyId = idValid ? *id : json(nullptr);
    if (version == nullptr || *version != "2.0" || method == nullptr || !method->is_string() ||
        (id != nullptr && !idValid))
        return {Kind::Invalid, replyId};
    return {id == nullptr ? Kind::Notification : Kind::Request, replyId};
}

Handling answer(Session& session, const json& message) {
    if (!message.is_object())
        return reply(errorReply(nullptr, kInvalidRequest, "a message is one JSON object"));
    Kind kind = kindOf(message);
    if (kind.what == Kind::Response) return {};
    if (kind.what == Kind::Invalid)
        return reply(errorReply(kind.id, kInvalidRequest,
                                "not a JSON-RPC 2.0 request: needs jsonrpc \"2.0\", a string method "
                                "and a string or number id"));
    const json* params = member(message, "params");
    if (kind.what == Kind::Notification) {
        // Only a cancellation changes anything; initialized, progress and
        // the rest ask for nothing.
        Handling handling;
        const json* ended = params && params->is_object() ? member(*params, "requestId") : nullptr;
        if (message["method"] == "notifications/cancelled" && ended &&
            (ended->is_string() || ended->is_number()))
            handling.cancel = *ended;
        return handling;
    }
    if (params != nullptr && !params->is_object())
        return reply(errorReply(kind.id, kInvalidParams, "params must be an object"));
    return request(session, kind.id, message["method"], params ? *params : json::object());
}

// The line with every string made valid: each ill-formed UTF-8 sequence and
// each \u escape of a lone surrogate becomes U+FFFD. Only read to learn
// what the message was, never served.
std::string repaired(std::string_view line) {
    const std::string text = validUtf8(line);
    auto surrogate = [&](size_t at, unsigned lo, unsigned hi) {
        if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') return false;
        unsigned value = 0;
        auto [end, error] = std::from_chars(text.data() + at + 2, text.data() + at + 6, value, 16);
        return error == std::errc() && end == text.data() + at + 6 && value >= lo && value <= hi;
    };
    std::string out;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') inString = !inString;
        if (!inString || text[i] != '\\') {
            out.push_back(text[i]);
            continue;
        }
        if (surrogate(i, 0xD800, 0xDBFF) && surrogate(i + 6, 0xDC00, 0xDFFF)) {
            out.append(text, i, 12);
            i += 11;
        } else if (surrogate(i, 0xD800, 0xDFFF)) {
            out += "\\ufffd";
            i += 5;
        } else {
            out.append(text, i, 2);  // any other escape, kept whole
            i += 1;
        }
    }
    return out;
}

// A line that is not valid JSON in UTF-8. A request that can still be read
// once its strings are repaired is refused by its id, so its client does
// not wait for an answer; a notification gets none.
Handling unreadable(std::string_view line) {
    json message = json::parse(repaired(line), nullptr, false);
    Kind kind = message.is_discarded() ? Kind{Kind::Invalid, nullptr} : kindOf(message);
    if (kind.what == Kind::Notification || kind.what == Kind::Response) return {};
    if (kind.what == Kind::Request)
        return reply(errorReply(kind.id, kInvalidParams,
                                "invalid string: not UTF-8, or a lone surrogate escape such as "
                                "\\ud800; nothing was done"));
    return reply(errorReply(nullptr, kParseError, "parse error: not a JSON text in UTF-8"));
}

}  // namespace

Handling handleLine(Session& session, std::string_view line) {
    json id = nullptr;
    try {
        json message = json::parse(line, nullptr, false);
        if (message.is_discarded()) return unreadable(line);
        if (message.is_object() && message.contains("id")) id = message["id"];
        return answer(session, message);
    } catch (const std::exception& e) {
        if (!id.is_string() && !id.is_number()) id = nullptr;
        Handling handling;
        handling.reply = internalErrorReply(id, e.what());
        return handling;
    }
}

std::string callReply(const json& id, json result) {
    return serialize(resultReply(id, std::move(result)));
}

std::string internalErrorReply(const json& id, std::string_view what) {
    return serialize(errorReply(id, kInternalError, "internal error: " + std::string(what)));
}

std::string serialize(const json& message) {
    return message.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string overlongLineReply() {
    return serialize(errorReply(nullptr, kInvalidRequest,
                                "message longer than " + std::to_string(kMaxLineBytes) +
                                    " bytes, ignored"));
}

}  // namespace nuvra::mcp
