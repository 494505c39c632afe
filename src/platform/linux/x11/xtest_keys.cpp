#include "platform/linux/x11/xtest_keys.h"

#include <algorithm>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "platform/linux/x11/display.h"

namespace nuvra::x11 {

namespace {

constexpr uint32_t kShiftL = 0xFFE1;
constexpr uint32_t kShiftR = 0xFFE2;
constexpr uint32_t kControlL = 0xFFE3;
constexpr uint32_t kControlR = 0xFFE4;
constexpr uint32_t kMetaL = 0xFFE7;
constexpr uint32_t kMetaR = 0xFFE8;
constexpr uint32_t kAltL = 0xFFE9;
constexpr uint32_t kAltR = 0xFFEA;
constexpr uint32_t kSuperL = 0xFFEB;
constexpr uint32_t kSuperR = 0xFFEC;

// The keys that may stand for a modifier, in the order they are looked
// for: each row a modifier, then its stand-ins (0 ends a row).
constexpr uint32_t kStandIns[][4] = {
    {kShiftL, kShiftR, 0, 0},
    {kControlL, kControlR, 0, 0},
    {kAltL, kAltR, kMetaL, kMetaR},
    {kSuperL, kSuperR, 0, 0},
};

std::optional<uint8_t> modifierKeyFor(const Keymap& map, uint32_t modifier) {
    for (const auto& row : kStandIns) {
        if (row[0] != modifier) continue;
        for (uint32_t keysym : row)
            if (keysym != 0)
                if (auto keycode = modifierKey(map, keysym)) return keycode;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Keyboard::Resolved> Keyboard::layoutFor(const KeyEvent& event) const {
    if (event.modifier) {
        auto keycode = modifierKeyFor(*map_, event.keysym);
        if (!keycode) return std::nullopt;
        return Resolved{*keycode, false};
    }
    // In another group, or with Caps Lock on, the layout's keys type other
    // characters than their first two keysyms; a bound key types its own.
    if (event.character && (!map_->firstGroup || map_->capsLock)) return std::nullopt;
    auto key = layoutKey(*map_, event.keysym);
    if (!key) return std::nullopt;
    return Resolved{key->keycode, key->shift};
}

bool Keyboard::prepare(Connection* c, const KeyEvent& event) {
    if (c == nullptr) return false;
    if (!loaded_) {
        loaded_ = true;
        map_ = readKeymap(*c);
        if (map_) bindings_.start(*c, *map_);
    }
    if (!map_) return false;
    if (auto key = layoutFor(event)) {
        willPress_.insert(key->keycode);
        if (key->shift) {
            auto shift = modifierKeyFor(*map_, kShiftL);
            if (!shift) return false;
            willPress_.insert(*shift);
        }
        return true;
    }
    if (event.modifier || !bindings_.anySpare()) return false;
    // A bound key may type its keysym on its second level.
    if (auto shift = modifierKeyFor(*map_, kShiftL)) willPress_.insert(*shift);
    if (event.down) wanted_.push_back(event.keysym);
    return true;
}

void Keyboard::fake(Connection& c, uint8_t keycode, bool press) {
    xcb_test_fake_input(c.xcb, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME,
                        XCB_NONE, 0, 0, 0);
    if (press)
        held_.insert(keycode);
    else
        held_.erase(keycode);
}

bool Keyboard::post(Connection* c, const KeyEvent& event) {
    if (c == nullptr || !map_) return false;
    // Recorded before they go down, for a later run to release should this
    // one be killed while holding them.
    bindings_.willPress(*c, willPress_);
    std::optional<Resolved> key = layoutFor(event);
    if (!key && event.down) {
        auto at = std::find(wanted_.begin() + static_cast<ptrdiff_t>(std::min(next_, wanted_.size())),
                            wanted_.end(), event.keysym);
        std::vector<uint32_t> soon;
        if (at != wanted_.end()) {
            soon.assign(at + 1, wanted_.end());
            next_ = static_cast<size_t>(at - wanted_.begin()) + 1;
        }
        auto bound = bindings_.bind(*c, event.keysym, soon, held_);
        if (!bound) return false;
        key = Resolved{bound->keycode, bound->shift};
    } else if (!key) {
        auto bound = bindings_.boundTo(event.keysym);
        if (!bound) return false;
        key = Resolved{bound->keycode, bound->shift};
    }
    if (event.down) {
        bool shiftHeld = std::any_of(map_->modifiers[0].begin(), map_->modifiers[0].end(),
                                     [&](uint8_t k) { return held_.count(k) != 0; });
        if (key->shift && !shiftHeld) {
            auto shift = modifierKeyFor(*map_, kShiftL);
            if (!shift) return false;
            fake(*c, *shift, true);
            addedShift_[key->keycode] = *shift;
        }
        fake(*c, key->keycode, true);
    } else {
        fake(*c, key->keycode, false);
        if (auto added = addedShift_.find(key->keycode); added != addedShift_.end()) {
            fake(*c, added->second, false);
            addedShift_.erase(added);
        }
    }
    return sync(*c);
}

void Keyboard::finish(Connection* c) {
    if (c == nullptr) return;
    // A key whose release was never sent would stay down for every client
    // after this run; sending never waits for the server.
    for (uint8_t keycode : std::set<uint8_t>(held_)) fake(*c, keycode, false);
    xcb_flush(c->xcb);
    bindings_.restore(*c);
}

}  // namespace nuvra::x11
