#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nuvra {

// Whole-text equality ignoring letter case and diacritical marks (and
// canonical-equivalence differences): "Éditeur" equals "editeur". Ill-formed
// UTF-8 on either side never compares equal.
bool foldedEqual(std::string_view a, std::string_view b);

// The canonical composition (NFC) of a text; none for ill-formed UTF-8.
std::optional<std::string> canonicallyComposed(std::string_view text);

}  // namespace nuvra
