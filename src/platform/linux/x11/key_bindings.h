// Characters the layout has no key for are typed through spare keycodes
// (keycodes without keysyms, which no key of the layout produces), bound to
// them for the run with ChangeKeyboardMapping and unbound before it ends.
//
// A run killed before it could undo this leaves the bindings behind, and
// also any key it held down: the X server keeps an XTest key down after its
// client has gone, and a Control held for good makes every key a shortcut.
// So each run writes, before its first key goes down, every keycode it will
// press and every one it binds on the root window, in the property
// _NUVRA_KEY_BINDINGS (CARDINAL: window, keycode, keysym or 0 for each, the
// window an unmapped one the run created), read and rewritten under a
// server grab. The X server destroys a client's windows when it goes, so
// entries whose window no longer exists are a run's that could not clean
// up: the next run that uses the keyboard releases those keys that are
// still down and unbinds those keycodes that still hold what was bound.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "platform/linux/x11/keymap.h"

namespace nuvra::x11 {

// A keycode bound for the run, and whether Shift types the keysym on it.
struct BoundKey {
    uint8_t keycode = 0;
    bool shift = false;
};

class KeyBindings {
public:
    // Releases and unbinds what runs that are gone left, then takes the
    // keycodes that are spare now. Once per run, before anything else.
    void start(Connection& c, Keymap& map);

    // Records the keycodes of the layout the run is about to press.
    void willPress(Connection& c, const std::set<uint8_t>& keycodes);

    // The key bound to `keysym`, binding it first; `soon` (the keysyms
    // wanted next, in order) are bound with it while spare keycodes last,
    // two a keycode (one under Caps Lock), so a text of many characters
    // rebinds seldom. Keycodes in `held` keep their binding. Nothing when
    // no spare keycode is free or the server did not answer.
    std::optional<BoundKey> bind(Connection& c, uint32_t keysym, const std::vector<uint32_t>& soon,
                                 const std::set<uint8_t>& held);
    // The key now bound to `keysym`, if any.
    std::optional<BoundKey> boundTo(uint32_t keysym) const;
    // Whether any keycode is spare: without one, a character the layout
    // lacks cannot be typed.
    bool anySpare() const { return !spares_.empty(); }

    // Unbinds every keycode this run bound that still holds what it bound,
    // and takes the run's entries off the root window. Its keys must have
    // been released.
    void restore(Connection& c);

private:
    // Rewrites the record under a grab: `keep` says which of the entries
    // there stay; with `withOwn`, the run's own are written after them.
    template <typename Keep>
    void rewriteRecord(Connection& c, Keep keep, bool withOwn);

    // Creates the run's mark in the record on first use.
    uint32_t window(Connection& c);

    std::vector<uint8_t> spares_;
    std::map<uint8_t, std::vector<uint32_t>> bound_;  // keycode -> its keysyms, by level
    size_t levels_ = 2;
    std::set<uint8_t> pressed_;          // layout keycodes recorded by willPress
    uint32_t window_ = 0;
};

}  // namespace nuvra::x11
