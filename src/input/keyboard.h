#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "outcome.h"
#include "input/limits.h"
#include "platform/platform.h"

namespace nuvra {

// One key as the platform knows it: its virtual key code and, for a key
// that types a character (a letter, a digit, punctuation), that character,
// so that the key is found by what it types whatever the layout.
struct Key {
    uint16_t virtualKey = 0;
    std::string character;  // UTF-8; empty for a named key (Return, F1, Up)
};

// A modifier key and the flag it sets while held.
struct Modifier {
    uint16_t virtualKey = 0;
    uint64_t flag = 0;
};

// Modifiers pressed in the order written, then at most one key. A chord of
// modifiers alone presses and releases them.
struct Chord {
    std::vector<Modifier> modifiers;
    std::optional<Key> key;
};

// Why a chord's text is no chord; `name` is the name at fault.
struct ChordFault {
    enum Kind { EmptyName, UnknownName, TwoKeys, ModifierAfterKey } kind = EmptyName;
    std::string name;
};

struct ParsedChord {
    std::optional<Chord> chord;
    ChordFault fault;  // when there is no chord
};

// "ctrl+shift+Tab": key names joined by "+", modifiers first. Names are
// matched ignoring ASCII letter case; "+" as the last name is the plus key
// ("ctrl++").
ParsedChord parseChord(std::string_view text);

// Why a text cannot be typed.
enum class TextFault {
    NotUtf8,
    ControlCharacter,  // a C0 control other than tab, line feed and carriage return, DEL or C1
    TooLong,           // more than kMaxTypedCharacters
};

std::optional<TextFault> typingFault(std::string_view text);

// Presses and releases each chord in order, at the fixed pacing. Every event
// is created before any is posted, so a chord the platform cannot make sends
// nothing (EventNotCreated); so does a post the platform knows was lost.
// Asked to end (Platform::endRequested), it stops before the next chord:
// Interrupted.
MaybeFailure pressChords(Platform& platform, const std::vector<Chord>& chords);

// Types `text` (which passed typingFault) into whatever has keyboard focus:
// each code point as one key carrying it, line feeds and carriage returns
// (a CR LF pair once) as Return, tabs as Tab. Created in full before
// anything is posted, and stopped before the next character when asked to
// end, as pressChords.
MaybeFailure typeText(Platform& platform, std::string_view text);

// Whether keyboard events posted now reach `target`'s application (or,
// null, whatever holds focus): KeysUnreachable, with `index` (the target's
// element number, 0 for none), when they cannot.
MaybeFailure keysReach(Platform& platform, const Element& target, int64_t index);

}  // namespace nuvra
