// The JSON-RPC and MCP lifecycle: what a line from the client is, and what
// answers it.
#include <array>
#include <exception>

#include "mcp/mcp.h"

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

json callRequest(Session& session, const json& id, const json& params) {
    const json* name = member(params, "name");
    if (name == nullptr || !name->is_string())
        return errorReply(id, kInvalidParams, "tools/call needs params.name, a tool's name");
    const json* arguments = member(params, "arguments");
    if (arguments != nullptr && !arguments->is_object() && !arguments->is_null())
        return errorReply(id, kInvalidParams, "params.arguments must be an object");
    if (!isTool(*name))
        return errorReply(id, kInvalidParams, "unknown tool: " + name->get<std::string>());
    json none = json::object();
    return resultReply(id, callTool(session, *name,
                                    arguments && arguments->is_object() ? *arguments : none));
}

json request(Session& session, const json& id, const std::string& method, const json& params) {
    if (method == "ping") return resultReply(id, json::object());
    if (method == "initialize") return initialize(session, id, params);
    if (method != "tools/list" && method != "tools/call")
        return errorReply(id, kMethodNotFound, "method not found: " + method);
    if (!session.initialized)
        return errorReply(id, kInvalidRequest, "not initialized: send initialize first");
    if (method == "tools/list") return resultReply(id, {{"tools", toolList()}});
    return callRequest(session, id, params);
}

std::optional<json> answer(Session& session, const json& message) {
    if (!message.is_object())
        return errorReply(nullptr, kInvalidRequest, "a message is one JSON object");
    const json* id = member(message, "id");
    const json* method = member(message, "method");
    const json* version = member(message, "jsonrpc");
    // A reply to a request of ours: this server sends none, so there is
    // nothing to match it with.
    if (method == nullptr && id != nullptr &&
        (member(message, "result") != nullptr || member(message, "error") != nullptr))
        return std::nullopt;
    const bool idValid = id != nullptr && (id->is_string() || id->is_number());
    const json replyId = idValid ? *id : json(nullptr);
    if (version == nullptr || *version != "2.0" || method == nullptr || !method->is_string() ||
        (id != nullptr && !idValid))
        return errorReply(replyId, kInvalidRequest,
                          "not a JSON-RPC 2.0 request: needs jsonrpc \"2.0\", a string method "
                          "and a string or number id");
    // Notifications (initialized, cancelled, progress…) ask for no answer
    // and change nothing here.
    if (id == nullptr) return std::nullopt;
    const json* params = member(message, "params");
    if (params != nullptr && !params->is_object())
        return errorReply(replyId, kInvalidParams, "params must be an object");
    return request(session, replyId, *method, params ? *params : json::object());
}

}  // namespace

std::optional<std::string> handleLine(Session& session, std::string_view line) {
    json id = nullptr;
    try {
        json message = json::parse(line, nullptr, false);
        if (message.is_discarded())
            return serialize(
                errorReply(nullptr, kParseError, "parse error: not a JSON text in UTF-8"));
        if (message.is_object() && message.contains("id")) id = message["id"];
        std::optional<json> reply = answer(session, message);
        if (!reply) return std::nullopt;
        return serialize(*reply);
    } catch (const std::exception& e) {
        if (!id.is_string() && !id.is_number()) id = nullptr;
        return serialize(errorReply(id, kInternalError, std::string("internal error: ") + e.what()));
    }
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
