#include "platform/linux/x11/key_bindings.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "platform/linux/limits.h"
#include "platform/linux/x11/display.h"

namespace nuvra::x11 {

namespace {

constexpr const char* kRecord = "_NUVRA_KEY_BINDINGS";

struct Entry {
    uint32_t window = 0;
    uint32_t keycode = 0;
    uint32_t keysym = 0;
};

uint32_t recordAtom(Connection& c, bool create) {
    auto atom = replyTo<xcb_intern_atom_reply_t>(
        c, xcb_intern_atom(c.xcb, create ? 0 : 1, static_cast<uint16_t>(std::strlen(kRecord)),
                           kRecord));
    return atom ? atom->atom : uint32_t{XCB_ATOM_NONE};
}

std::vector<Entry> readRecord(Connection& c, uint32_t atom) {
    std::vector<Entry> entries;
    if (atom == XCB_ATOM_NONE) return entries;
    auto prop = replyTo<xcb_get_property_reply_t>(
        c, xcb_get_property(c.xcb, 0, c.root, atom, XCB_ATOM_CARDINAL, 0, 3 * kMaxEntries));
    if (!prop || prop->format != 32) return entries;
    const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(prop.get()));
    const uint32_t n = prop->value_len / 3;
    for (uint32_t i = 0; i < n; ++i)
        entries.push_back({values[3 * i], values[3 * i + 1], values[3 * i + 2]});
    return entries;
}

void writeRecord(Connection& c, uint32_t atom, const std::vector<Entry>& entries) {
    if (entries.empty()) {
        xcb_delete_property(c.xcb, c.root, atom);
        return;
    }
    std::vector<uint32_t> values;
    for (const Entry& e : entries) values.insert(values.end(), {e.window, e.keycode, e.keysym});
    xcb_change_property(c.xcb, XCB_PROP_MODE_REPLACE, c.root, atom, XCB_ATOM_CARDINAL, 32,
                        static_cast<uint32_t>(values.size()), values.data());
}

// Whether a window exists. A server that did not answer has not said.
std::optional<bool> windowExists(Connection& c, uint32_t window) {
    auto geometry = replyTo<xcb_get_geometry_reply_t>(c, xcb_get_geometry(c.xcb, window));
    if (!geometry && c.gone) return std::nullopt;
    return geometry != nullptr;
}

// Whether a keycode types only keysyms of `bound`, and one of them at
// least, as a binding leaves it.
bool holds(Connection& c, uint8_t keycode, const std::vector<uint32_t>& bound) {
    auto mapping = replyTo<xcb_get_keyboard_mapping_reply_t>(
        c, xcb_get_keyboard_mapping(c.xcb, keycode, 1));
    if (!mapping) return false;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int n = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
    bool found = false;
    for (int i = 0; i < n; ++i) {
        if (syms[i] == kNoSymbol) continue;
        if (std::find(bound.begin(), bound.end(), syms[i]) == bound.end()) return false;
        found = true;
    }
    return found;
}

// Two keysyms a keycode, the second typed with Shift; a lone one on both
// levels. Two keysyms that are not a letter's two cases make a two-level
// key, where Caps Lock changes nothing; with one group, every group types
// them.
void bindKeycode(Connection& c, uint8_t keycode, const std::vector<uint32_t>& keysyms) {
    const xcb_keysym_t syms[2] = {keysyms[0], keysyms.size() > 1 ? keysyms[1] : keysyms[0]};
    xcb_change_keyboard_mapping(c.xcb, 1, keycode, 2, syms);
}

void unbindKeycode(Connection& c, uint8_t keycode) {
    const xcb_keysym_t none = kNoSymbol;
    xcb_change_keyboard_mapping(c.xcb, 1, keycode, 1, &none);
}

}  // namespace

template <typename Keep>
void KeyBindings::rewriteRecord(Connection& c, Keep keep, bool withOwn) {
    const uint32_t atom = recordAtom(c, withOwn);
    if (atom == XCB_ATOM_NONE) return;
    // Another run may rewrite the record at the same time.
    xcb_grab_server(c.xcb);
    std::vector<Entry> entries = readRecord(c, atom);
    std::erase_if(entries, [&](const Entry& e) { return !keep(e); });
    if (withOwn) {
        for (uint8_t keycode : pressed_) entries.push_back({window(c), keycode, 0});
        for (const auto& [keycode, keysyms] : bound_)
            for (uint32_t keysym : keysyms) entries.push_back({window(c), keycode, keysym});
    }
    writeRecord(c, atom, entries);
    xcb_ungrab_server(c.xcb);
    sync(c);
}

uint32_t KeyBindings::window(Connection& c) {
    if (window_ == 0) {
        window_ = xcb_generate_id(c.xcb);
        xcb_create_window(c.xcb, XCB_COPY_FROM_PARENT, window_, c.root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    }
    return window_;
}

void KeyBindings::start(Connection& c, Keymap& map) {
    std::vector<Entry> left = readRecord(c, recordAtom(c, false));
    std::map<uint32_t, bool> gone;  // by window
    for (const Entry& e : left) {
        if (gone.count(e.window) != 0) continue;
        std::optional<bool> exists = windowExists(c, e.window);
        if (!exists) return;  // the server has stopped answering
        gone[e.window] = !*exists;
    }
    if (std::any_of(gone.begin(), gone.end(), [](const auto& g) { return g.second; })) {
        auto down = replyTo<xcb_query_keymap_reply_t>(c, xcb_query_keymap(c.xcb));
        std::map<std::pair<uint32_t, uint8_t>, std::vector<uint32_t>> bindings;  // of runs gone
        for (const Entry& e : left) {
            if (!gone[e.window] || e.keycode > 255) continue;
            const auto keycode = static_cast<uint8_t>(e.keycode);
            // A release of a key that is not down on XTest's device is
            // dropped by the server, so a key the user holds stays held.
            if (down && (down->keys[keycode / 8] >> (keycode % 8) & 1))
                xcb_test_fake_input(c.xcb, XCB_KEY_RELEASE, keycode, XCB_CURRENT_TIME, XCB_NONE,
                                    0, 0, 0);
            if (e.keysym != kNoSymbol) bindings[{e.window, keycode}].push_back(e.keysym);
        }
        for (const auto& [where, keysyms] : bindings) {
            const uint8_t keycode = where.second;
            if (!holds(c, keycode, keysyms)) continue;
            unbindKeycode(c, keycode);
            if (keycode >= map.minKeycode && keycode <= map.maxKeycode)
                std::fill_n(map.syms.begin() + (keycode - map.minKeycode) * map.perKeycode,
                            map.perKeycode, kNoSymbol);
        }
        rewriteRecord(c, [&](const Entry& e) { return !gone[e.window]; }, false);
    }
    spares_ = spareKeycodes(map);
    levels_ = map.capsLock ? 1 : 2;
}

void KeyBindings::willPress(Connection& c, const std::set<uint8_t>& keycodes) {
    if (std::includes(pressed_.begin(), pressed_.end(), keycodes.begin(), keycodes.end())) return;
    pressed_.insert(keycodes.begin(), keycodes.end());
    rewriteRecord(c, [&](const Entry& e) { return e.window != window_; }, true);
}

std::optional<BoundKey> KeyBindings::boundTo(uint32_t keysym) const {
    for (const auto& [keycode, keysyms] : bound_)
        for (size_t level = 0; level < keysyms.size(); ++level)
            if (keysyms[level] == keysym) return BoundKey{keycode, level == 1};
    return std::nullopt;
}

std::optional<BoundKey> KeyBindings::bind(Connection& c, uint32_t keysym,
                                          const std::vector<uint32_t>& soon,
                                          const std::set<uint8_t>& held) {
    if (auto bound = boundTo(keysym)) return bound;
    std::vector<uint32_t> wanted{keysym};
    for (uint32_t next : soon)
        if (wanted.size() < spares_.size() * levels_ &&
            std::find(wanted.begin(), wanted.end(), next) == wanted.end())
            wanted.push_back(next);
    auto isWanted = [&](uint32_t sym) {
        return std::find(wanted.begin(), wanted.end(), sym) != wanted.end();
    };
    // Keycodes free for the wanted keysyms: spare ones bound to none, or to
    // none wanted now, and not held down.
    std::vector<uint8_t> free;
    for (uint8_t keycode : spares_) {
        auto bound = bound_.find(keycode);
        if (bound == bound_.end() ||
            (held.count(keycode) == 0 && std::none_of(bound->second.begin(), bound->second.end(), isWanted)))
            free.push_back(keycode);
    }
    std::map<uint8_t, std::vector<uint32_t>> changes;
    size_t next = 0;
    for (uint32_t sym : wanted) {
        if (boundTo(sym)) continue;
        while (next < free.size() && changes[free[next]].size() >= levels_) ++next;
        if (next == free.size()) break;
        changes[free[next]].push_back(sym);
    }
    std::erase_if(changes, [](const auto& change) { return change.second.empty(); });
    if (changes.empty()) return std::nullopt;
    if (std::any_of(changes.begin(), changes.end(),
                    [&](const auto& change) { return bound_.count(change.first) != 0; }))
        std::this_thread::sleep_for(kRebindSettle);
    // Recorded before the keymap changes, the keycodes' old bindings
    // included: a run killed in between leaves nothing unrecorded.
    std::vector<Entry> old;
    for (const auto& [keycode, syms] : changes)
        if (auto was = bound_.find(keycode); was != bound_.end())
            for (uint32_t sym : was->second) old.push_back({window_, keycode, sym});
    for (const auto& [keycode, syms] : changes) bound_[keycode] = syms;
    rewriteRecord(
        c, [&](const Entry& e) {
            return e.window != window_ || std::any_of(old.begin(), old.end(), [&](const Entry& o) {
                       return o.keycode == e.keycode && o.keysym == e.keysym;
                   });
        },
        true);
    for (const auto& [keycode, syms] : changes) bindKeycode(c, keycode, syms);
    if (!sync(c)) return std::nullopt;
    return boundTo(keysym);
}

void KeyBindings::restore(Connection& c) {
    if (window_ == 0) return;  // nothing recorded, nothing bound
    if (!bound_.empty()) std::this_thread::sleep_for(kRebindSettle);
    for (const auto& [keycode, keysyms] : bound_)
        if (holds(c, keycode, keysyms)) unbindKeycode(c, keycode);
    bound_.clear();
    pressed_.clear();
    rewriteRecord(c, [&](const Entry& e) { return e.window != window_; }, false);
}

}  // namespace nuvra::x11
