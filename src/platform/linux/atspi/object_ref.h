// Where an accessible object lives: the owning connection's name on the
// accessibility bus and the object path. The registry's desktop and each
// application's root are ordinary objects too.
#pragma once

#include <string>

namespace nuvra::atspi {

struct ObjectRef {
    std::string bus;
    std::string path;
};

inline constexpr const char* kNullPath = "/org/a11y/atspi/null";
inline constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
inline constexpr const char* kRegistryName = "org.a11y.atspi.Registry";

inline bool isNullRef(const ObjectRef& ref) {
    return ref.bus.empty() || ref.path.empty() || ref.path == kNullPath;
}

inline bool sameObject(const ObjectRef& a, const ObjectRef& b) {
    return a.bus == b.bus && a.path == b.path;
}

}  // namespace nuvra::atspi
