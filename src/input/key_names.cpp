// The key names of a chord and the keys they stand for, in one table:
// modifiers, named keys, and the letters, digits and punctuation of an ANSI
// keyboard. Virtual key codes are macOS's (kVK_* in HIToolbox's Events.h),
// which number the physical keys of an ANSI layout; a key that types a
// character also carries it, so that a backend finds the key by what it
// types in the layout in use.
#include <array>

#include "input/keyboard.h"
#include "text/utf8.h"

namespace nuvra {

namespace {

struct ModifierName {
    std::string_view name;
    Modifier modifier;
};

// kVK_Control, kVK_Shift, kVK_Option, kVK_Command; cmd and option are the
// macOS names of super and alt.
constexpr std::array<ModifierName, 6> kModifiers{{
    {"ctrl", {0x3B, kFlagControl}},
    {"shift", {0x38, kFlagShift}},
    {"alt", {0x3A, kFlagAlternate}},
    {"option", {0x3A, kFlagAlternate}},
    {"super", {0x37, kFlagCommand}},
    {"cmd", {0x37, kFlagCommand}},
}};

struct NamedKey {
    std::string_view name;
    uint16_t virtualKey;
};

// F21-F24 exist on X keyboards only; macOS has no code for them, so they
// take codes past its 7-bit range, which its backend cannot create.
constexpr uint16_t kF21 = 0x80;

// BackSpace is the key macOS calls Delete, Delete its forward delete,
// Insert its Help key, Menu its contextual-menu key.
constexpr std::array<NamedKey, 40> kNamedKeys{{
    {"Return", 0x24},    {"Tab", 0x30},       {"Escape", 0x35},    {"BackSpace", 0x33},
    {"Delete", 0x75},    {"space", 0x31},     {"Up", 0x7E},        {"Down", 0x7D},
    {"Left", 0x7B},      {"Right", 0x7C},     {"Home", 0x73},      {"End", 0x77},
    {"Page_Up", 0x74},   {"Page_Down", 0x79}, {"Insert", 0x72},    {"Menu", 0x6E},
    {"F1", 0x7A},        {"F2", 0x78},        {"F3", 0x63},        {"F4", 0x76},
    {"F5", 0x60},        {"F6", 0x61},        {"F7", 0x62},        {"F8", 0x64},
    {"F9", 0x65},        {"F10", 0x6D},       {"F11", 0x67},       {"F12", 0x6F},
    {"F13", 0x69},       {"F14", 0x6B},       {"F15", 0x71},       {"F16", 0x6A},
    {"F17", 0x40},       {"F18", 0x4F},       {"F19", 0x50},       {"F20", 0x5A},
    {"F21", kF21},       {"F22", kF21 + 1},   {"F23", kF21 + 2},   {"F24", kF21 + 3},
}};

// The ANSI key that types each printable ASCII character, shifted or not,
// from space (0x20) to tilde (0x7E); letters are looked up in lower case.
constexpr std::array<uint8_t, 95> kAnsiKeys{{
    0x31, 0x12, 0x27, 0x14, 0x15, 0x17, 0x1A, 0x27,  //   ! " # $ % & '
    0x19, 0x1D, 0x1C, 0x18, 0x2B, 0x1B, 0x2F, 0x2C,  // ( ) * + , - . /
    0x1D, 0x12, 0x13, 0x14, 0x15, 0x17, 0x16, 0x1A,  // 0 1 2 3 4 5 6 7
    0x1C, 0x19, 0x29, 0x29, 0x2B, 0x18, 0x2F, 0x2C,  // 8 9 : ; < = > ?
    0x13, 0x00, 0x0B, 0x08, 0x02, 0x0E, 0x03, 0x05,  // @ A B C D E F G
    0x04, 0x22, 0x26, 0x28, 0x25, 0x2E, 0x2D, 0x1F,  // H I J K L M N O
    0x23, 0x0C, 0x0F, 0x01, 0x11, 0x20, 0x09, 0x0D,  // P Q R S T U V W
    0x07, 0x10, 0x06, 0x21, 0x2A, 0x1E, 0x16, 0x1B,  // X Y Z [ \ ] ^ _
    0x32, 0x00, 0x0B, 0x08, 0x02, 0x0E, 0x03, 0x05,  // ` a b c d e f g
    0x04, 0x22, 0x26, 0x28, 0x25, 0x2E, 0x2D, 0x1F,  // h i j k l m n o
    0x23, 0x0C, 0x0F, 0x01, 0x11, 0x20, 0x09, 0x0D,  // p q r s t u v w
    0x07, 0x10, 0x06, 0x21, 0x2A, 0x1E, 0x32,        // x y z { | } ~
}};

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::optional<Modifier> modifierNamed(std::string_view name) {
    for (const auto& m : kModifiers)
        if (sameName(name, m.name)) return m.modifier;
    return std::nullopt;
}

std::optional<Key> keyNamed(std::string_view name) {
    for (const auto& k : kNamedKeys)
        if (sameName(name, k.name)) return Key{k.virtualKey, {}};
    // One printable ASCII character other than space (which is named).
    if (name.size() != 1 || name[0] <= ' ' || name[0] > '~') return std::nullopt;
    char c = name[0] >= 'A' && name[0] <= 'Z' ? static_cast<char>(name[0] + 32) : name[0];
    return Key{kAnsiKeys[static_cast<size_t>(c - ' ')], std::string(1, c)};
}

}  // namespace

ParsedChord parseChord(std::string_view text) {
    std::vector<std::string_view> names;
    // "+" as the last name is the plus key: "+", "ctrl++".
    std::string_view rest = text;
    std::optional<std::string_view> plus;
    if (rest == "+" || rest.ends_with("++")) {
        plus = rest.substr(rest.size() - 1);
        rest.remove_suffix(rest.size() == 1 ? 1 : 2);
    }
    if (!rest.empty() || !plus) {
        for (size_t start = 0;;) {
            size_t end = rest.find('+', start);
            names.push_back(rest.substr(start, end - start));
            if (end == std::string_view::npos) break;
            start = end + 1;
        }
    }
    if (plus) names.push_back(*plus);

    ParsedChord parsed;
    Chord chord;
    for (std::string_view name : names) {
        if (name.empty()) return parsed;  // EmptyName
        if (auto modifier = modifierNamed(name)) {
            if (chord.key) {
                parsed.fault = {ChordFault::ModifierAfterKey, std::string(name)};
                return parsed;
            }
            bool held = false;
            for (const Modifier& m : chord.modifiers) held = held || m.flag == modifier->flag;
            if (!held) chord.modifiers.push_back(*modifier);
            continue;
        }
        std::optional<Key> key = keyNamed(name);
        if (!key) {
            parsed.fault = {ChordFault::UnknownName, std::string(name)};
            return parsed;
        }
        if (chord.key) {
            parsed.fault = {ChordFault::TwoKeys, std::string(name)};
            return parsed;
        }
        chord.key = std::move(key);
    }
    parsed.chord = std::move(chord);
    return parsed;
}

std::optional<TextFault> typingFault(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++characters) {
        char32_t cp;
        bool valid;
        i += utf8::decodeOne(p + i, text.size() - i, cp, valid);
        if (!valid) return TextFault::NotUtf8;
        bool typable = cp == '\t' || cp == '\n' || cp == '\r' ||
                       (cp >= 0x20 && cp != 0x7F && (cp < 0x80 || cp > 0x9F));
        if (!typable) return TextFault::ControlCharacter;
    }
    // Checked after the whole text, so that ill-formed text is reported as
    // such whatever its length.
    if (characters > kMaxTypedCharacters) return TextFault::TooLong;
    return std::nullopt;
}

}  // namespace nuvra
