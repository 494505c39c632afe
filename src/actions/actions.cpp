// PLACEHOLDER: replaced by the actions work.
#include "actions/actions.h"
#include "cli/fail.h"
namespace nuvra {
ObservedElement staleGuardedRecord(Platform&, int64_t, int64_t, int64_t, int64_t, std::string_view,
                                   const std::optional<std::string>&) {
    fail("nuvra-click: press and settext are not yet available", 6);
}
bool pressElement(Platform&, const Element&) { return false; }
bool pressRecursive(Platform&, const Element&, int64_t, std::unordered_set<uint64_t>&) { return false; }
void assignText(Platform&, int64_t, std::string_view, int64_t, int64_t, int64_t, std::string_view,
                const std::optional<std::string>&) {
    fail("nuvra-click: settext is not yet available", 8);
}
void hitTest(Platform&, double, double) { fail("nuvra-click: hit is not yet available", 4); }
}  // namespace nuvra
