// A file written whole or not at all: the bytes go to a new file beside it,
// which then takes the file's name in one rename, so a reader never sees
// part of a picture and a run that fails or is killed leaves the name as it
// was. An existing file of that name is replaced.
#pragma once

#include <string>
#include <string_view>

namespace nuvra {

// What names something other than a regular file (a device such as
// /dev/null, a pipe, a socket): never replaced.
constexpr int kNotRegularFile = -1;

// 0 when a file can be written at `path` as far as can be told without
// writing it (its folder exists and may be written to, and `path` names no
// folder and nothing but a regular file); otherwise kNotRegularFile or the
// errno value that says why not.
int checkWritable(const std::string& path);

// Writes `bytes` as the whole file at `path`: 0, or what checkWritable
// answers, or the errno value of what failed; nothing is left behind then.
int writeWhole(const std::string& path, std::string_view bytes);

}  // namespace nuvra
