#pragma once

#include <string_view>

namespace nuvra {

// Whole-text equality ignoring letter case and diacritical marks (and
// canonical-equivalence differences): "Éditeur" equals "editeur". Ill-formed
// UTF-8 on either side never compares equal.
bool foldedEqual(std::string_view a, std::string_view b);

}  // namespace nuvra
