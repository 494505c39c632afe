// Installed applications as the desktop knows them: desktop entries
// (freedesktop.org's desktop entry format), found by their desktop
// file id and turned into the command line they stand for.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nuvra::desktop {

struct DesktopEntry {
    std::string path;               // the file read
    std::string id;                 // its desktop file id, ".desktop" included
    std::vector<std::string> argv;  // its Exec, field codes expanded or removed
    std::optional<std::string> startupWmClass;
    std::optional<std::string> workingDirectory;  // Path
};

// What the entry says, from the text of a file at `path`: the keys of its
// [Desktop Entry] group. Nothing when it is no application that can be
// started: not Type=Application, Hidden=true, no Exec, or an Exec that does
// not parse. TryExec is the caller's to check.
struct EntryKeys {
    std::string exec;
    std::optional<std::string> tryExec, icon, name, startupWmClass, path;
};
std::optional<EntryKeys> entryKeys(std::string_view text);

// Exec split into arguments as desktop entries quote them, with the
// field codes for files and URLs (%f %F %u %U, and the deprecated %d %D
// %n %N %v %m) removed, since nothing is opened, %i %c %k replaced by the
// icon, the name and the entry's path, and %% a percent sign. Nothing
// for unbalanced quotes, an unknown field code or no program.
std::optional<std::vector<std::string>> execArguments(std::string_view exec,
                                                      const EntryKeys& keys,
                                                      std::string_view path);

// The desktop file id with ".desktop" appended when it lacks it; nothing
// for one that cannot be an id (empty, or holding a slash).
std::optional<std::string> desktopFileId(std::string_view name);

// The installed entry with this id: in $XDG_DATA_HOME (else
// ~/.local/share), then each of $XDG_DATA_DIRS (else /usr/local/share and
// /usr/share), under applications/, the first that has the id deciding
// (a hidden one in the user's own directory hides the system's). An id
// maps onto a file below a subdirectory too ("kde4-app.desktop" is
// applications/kde4/app.desktop). Nothing when none has it, it cannot be
// started, or its TryExec names no program on PATH.
std::optional<DesktopEntry> findDesktopEntry(std::string_view id);

}  // namespace nuvra::desktop
