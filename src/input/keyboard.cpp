// Chords and typed text as key events, at a fixed pacing.
#include "input/keyboard.h"

#include <string>

#include "input/pointer.h"
#include "text/utf8.h"

namespace nuvra {

namespace {

// kVK_Return and kVK_Tab, for the line feeds and tabs of a typed text.
constexpr uint16_t kReturnKey = 0x24;
constexpr uint16_t kTabKey = 0x30;
// A typed character's events carry it as their string, which wins over
// the key code; the code is then that of the ANSI A key (0).
constexpr uint16_t kCharacterKey = 0x00;

// The events of a run, each with the pause that follows it.
struct Step {
    Event event;
    uint32_t pauseUs = 0;
};

class Steps {
public:
    explicit Steps(Platform& platform) : platform_(platform) {}

    // Adds one event; false (and nothing more added) once one cannot be made.
    bool add(uint16_t key, bool down, uint64_t flags, std::string_view character,
             uint32_t pauseUs) {
        if (failed_) return false;
        Event e = platform_.createKeyboardEvent(key, down, flags, character);
        if (!e) return !(failed_ = true);
        steps_.push_back({std::move(e), pauseUs});
        return true;
    }

    // A chord or a character begins: a point where no key is held, at which
    // a run asked to end may stop.
    void unit() { units_.push_back(steps_.size()); }

    // A key pressed and released.
    bool tap(uint16_t key, uint64_t flags, std::string_view character) {
        return add(key, true, flags, character, kKeyHoldUs) &&
               add(key, false, flags, character, kKeyGapUs);
    }

    MaybeFailure post() {
        if (failed_) return lost();
        size_t done = 0;
        for (size_t i = 0; i < steps_.size(); ++i) {
            if (done < units_.size() && units_[done] == i) {
                if (i > 0 && platform_.endRequested())
                    return Failure{Refusal::Interrupted,
                                   std::to_string(done) + " of " + std::to_string(units_.size()), 0};
                ++done;
            }
            if (!platform_.postEvent(steps_[i].event)) return lost();
            // Nothing follows the last release.
            if (i + 1 < steps_.size()) platform_.sleepMicroseconds(steps_[i].pauseUs);
        }
        return std::nullopt;
    }

private:
    Failure lost() { return noEvent(platform_, Refusal::EventNotCreated, "key"); }

    Platform& platform_;
    std::vector<Step> steps_;
    std::vector<size_t> units_;  // where each chord or character begins
    bool failed_ = false;
};

}  // namespace

MaybeFailure pressChords(Platform& platform, const std::vector<Chord>& chords) {
    Steps steps(platform);
    for (const Chord& chord : chords) {
        steps.unit();
        uint64_t flags = 0;
        for (const Modifier& m : chord.modifiers) {
            flags |= m.flag;
            steps.add(m.virtualKey, true, flags, {},
                      chord.key || &m != &chord.modifiers.back() ? kKeyGapUs : kKeyHoldUs);
        }
        if (chord.key) steps.tap(chord.key->virtualKey, flags, chord.key->character);
        // Released in the reverse order, each release without its own flag.
        for (auto m = chord.modifiers.rbegin(); m != chord.modifiers.rend(); ++m) {
            flags &= ~m->flag;
            steps.add(m->virtualKey, false, flags, {}, kKeyGapUs);
        }
    }
    return steps.post();
}

MaybeFailure typeText(Platform& platform, std::string_view text) {
    Steps steps(platform);
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        char32_t cp;
        bool valid;
        size_t at = i;
        i += utf8::decodeOne(p + i, text.size() - i, cp, valid);
        if (cp == '\r' && i < text.size() && text[i] == '\n') continue;  // CR LF: one Return
        steps.unit();
        if (cp == '\n' || cp == '\r')
            steps.tap(kReturnKey, 0, {});
        else if (cp == '\t')
            steps.tap(kTabKey, 0, {});
        else
            steps.tap(kCharacterKey, 0, text.substr(at, i - at));
    }
    return steps.post();
}

MaybeFailure keysReach(Platform& platform, const Element& target, int64_t index) {
    switch (platform.keyboardReach(target)) {
    case KeyboardReach::Reaches:
        return std::nullopt;
    case KeyboardReach::NativeWayland:
        break;
    }
    return Failure{Refusal::KeysUnreachable, std::nullopt, index};
}

}  // namespace nuvra
