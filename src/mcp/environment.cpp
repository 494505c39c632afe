// The advice for a host that started this server without the desktop's
// variables: which are missing, and the "env" entry that gives them.
#include "mcp/mcp.h"

namespace nuvra::mcp {

std::string environmentAdvice(const std::vector<SessionVariable>& missing) {
    if (missing.empty()) return {};
    std::string names, echo;
    json env = json::object();
    for (size_t i = 0; i < missing.size(); ++i) {
        names += (i == 0 ? "" : i + 1 == missing.size() ? " and " : ", ") + missing[i].name;
        echo += (i == 0 ? "$" : " $") + missing[i].name;
        env[missing[i].name] = missing[i].likely;
    }
    return "This server was started without " + names +
           ", which nuvra-click needs to reach the desktop: add \"env\": " + serialize(env) +
           " beside \"command\" in the host's settings for it, with the values `echo " + echo +
           "` prints in the desktop session";
}

}  // namespace nuvra::mcp
