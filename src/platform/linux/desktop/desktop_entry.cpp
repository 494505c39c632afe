#include "platform/linux/desktop/desktop_entry.h"
#include "platform/linux/limits.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace nuvra::desktop {

namespace {

// The escapes of a string value: \s \n \t \r \\.
std::string unescaped(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out.push_back(value[i]);
            continue;
        }
        switch (value[++i]) {
        case 's': out.push_back(' '); break;
        case 'n': out.push_back('\n'); break;
        case 't': out.push_back('\t'); break;
        case 'r': out.push_back('\r'); break;
        case '\\': out.push_back('\\'); break;
        default: out.push_back('\\'); out.push_back(value[i]); break;
        }
    }
    return out;
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool onPath(const std::string& program) {
    if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0;
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (size_t at = 0; at <= dirs.size();) {
        size_t colon = std::min(dirs.find(':', at), dirs.size());
        std::string dir(dirs.substr(at, colon - at));
        if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        at = colon + 1;
    }
    return false;
}

// The file below `dir` whose id is `id`: the file itself, or one below a
// subdirectory named by the id's part before a dash.
std::optional<std::string> locate(const std::string& dir, std::string_view id, int depth) {
    std::string direct = dir + "/" + std::string(id);
    if (isFile(direct)) return direct;
    if (depth >= kMaxSubdirectories) return std::nullopt;
    for (size_t dash = id.find('-'); dash != std::string_view::npos; dash = id.find('-', dash + 1)) {
        std::string sub = dir + "/" + std::string(id.substr(0, dash));
        if (!isDirectory(sub)) continue;
        if (auto found = locate(sub, id.substr(dash + 1), depth + 1)) return found;
    }
    return std::nullopt;
}

std::vector<std::string> dataDirectories() {
    std::vector<std::string> dirs;
    const char* home = std::getenv("XDG_DATA_HOME");
    if (home && *home == '/') dirs.push_back(home);
    else if (const char* user = std::getenv("HOME"); user && *user == '/')
        dirs.push_back(std::string(user) + "/.local/share");
    const char* shared = std::getenv("XDG_DATA_DIRS");
    std::string_view list = shared && *shared ? shared : "/usr/local/share:/usr/share";
    for (size_t at = 0; at <= list.size();) {
        size_t colon = std::min(list.find(':', at), list.size());
        // Relative entries are invalid, and ignored.
        if (colon > at && list[at] == '/') dirs.emplace_back(list.substr(at, colon - at));
        at = colon + 1;
    }
    return dirs;
}

}  // namespace

std::optional<EntryKeys> entryKeys(std::string_view text) {
    EntryKeys keys;
    std::optional<std::string> type, exec, hidden;
    bool inEntry = false;
    for (size_t at = 0; at < text.size();) {
        size_t end = std::min(text.find('\n', at), text.size());
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        size_t equals = line.find('=');
        if (!inEntry || equals == std::string_view::npos) continue;
        std::string_view key = line.substr(0, equals);
        while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
        std::string_view raw = line.substr(equals + 1);
        while (!raw.empty() && raw.front() == ' ') raw.remove_prefix(1);
        std::string value = unescaped(raw);
        // Localised keys (Name[de]) are left to the untranslated one.
        if (key == "Type") type = value;
        else if (key == "Exec") exec = value;
        else if (key == "Hidden") hidden = value;
        else if (key == "TryExec") keys.tryExec = value;
        else if (key == "Icon") keys.icon = value;
        else if (key == "Name") keys.name = value;
        else if (key == "StartupWMClass") keys.startupWmClass = value;
        else if (key == "Path") keys.path = value;
    }
    if (type != "Application" || hidden == "true" || !exec || exec->empty()) return std::nullopt;
    keys.exec = *exec;
    return keys;
}

std::optional<std::vector<std::string>> execArguments(std::string_view exec,
                                                      const EntryKeys& keys,
                                                      std::string_view path) {
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    auto end = [&] {
        if (inArgument) args.push_back(std::move(current));
        current.clear();
        inArgument = false;
    };
    for (size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            // Inside quotes only these four are escaped, and field codes
            // have no place.
            if (c == '"') quoted = false;
            else if (c == '\\' && i + 1 < exec.size() && std::string_view("\"`$\\").find(exec[i + 1]) != std::string_view::npos)
                current.push_back(exec[++i]);
            else current.push_back(c);
        } else if (c == ' ' || c == '\t' || c == '\n') {
            end();
        } else if (c == '"') {
            quoted = inArgument = true;
        } else if (c == '%') {
            if (i + 1 == exec.size()) return std::nullopt;
            const char code = exec[++i];
            const bool alone = !inArgument && (i + 1 == exec.size() || exec[i + 1] == ' ' || exec[i + 1] == '\t');
            if (code == '%') {
                current.push_back('%');
                inArgument = true;
            } else if (std::string_view("fFuUdDnNvm").find(code) != std::string_view::npos) {
                // No file or URL is opened: the code goes, and an argument
                // that was nothing but the code goes with it.
            } else if (code == 'i') {
                if (alone && keys.icon && !keys.icon->empty()) {
                    args.push_back("--icon");
                    args.push_back(*keys.icon);
                }
            } else if (code == 'c' || code == 'k') {
                current += code == 'c' ? keys.name.value_or("") : std::string(path);
                inArgument = true;
            } else {
                return std::nullopt;
            }
        } else {
            current.push_back(c);
            inArgument = true;
        }
    }
    if (quoted) return std::nullopt;
    end();
    if (args.empty() || args.front().empty()) return std::nullopt;
    return args;
}

std::optional<std::string> desktopFileId(std::string_view name) {
    if (name.empty() || name.find('/') != std::string_view::npos) return std::nullopt;
    std::string id(name);
    if (!id.ends_with(".desktop")) id += ".desktop";
    return id;
}

std::optional<DesktopEntry> findDesktopEntry(std::string_view name) {
    std::optional<std::string> id = desktopFileId(name);
    if (!id) return std::nullopt;
    for (const std::string& dir : dataDirectories()) {
        std::optional<std::string> path = locate(dir + "/applications", *id, 0);
        if (!path) continue;
        // The first directory that has the id decides, whatever the file says.
        std::ifstream file(*path, std::ios::binary);
        std::string text;
        text.resize(static_cast<size_t>(kMaxEntryBytes));
        file.read(text.data(), kMaxEntryBytes);
        text.resize(static_cast<size_t>(file.gcount()));
        std::optional<EntryKeys> keys = entryKeys(text);
        if (!keys || (keys->tryExec && !onPath(*keys->tryExec))) return std::nullopt;
        auto argv = execArguments(keys->exec, *keys, *path);
        if (!argv) return std::nullopt;
        return DesktopEntry{*path, *id, std::move(*argv), keys->startupWmClass, keys->path};
    }
    return std::nullopt;
}

}  // namespace nuvra::desktop
