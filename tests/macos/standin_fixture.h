// Shared by the macOS backend tests: the platform under test built against
// the Apple API stand-in, and a check after every test that each object the
// backend copied or created was released exactly once.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/macos/macos_backend.h"
#include "platform/native.h"
#include "standin.h"

namespace nuvra::macos::testing {

class StandinTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(standin::finish(), std::vector<std::string>{}); }

    // An Element for a handle the test made, as the core holds one after an
    // earlier call.
    static Element held(AXUIElementRef ref) {
        return elementFrom(CFHandle<AXUIElementRef>::retain(ref));
    }

    std::unique_ptr<Platform> platform = makeNativePlatform();
};

// One line per value, so a whole translation is compared at once.
inline std::string render(const AttrValue& v) {
    switch (v.kind) {
        case ValueKind::Text: return "Text \"" + v.text + "\"";
        case ValueKind::AttributedText: return "AttributedText \"" + v.text + "\"";
        case ValueKind::Number: {
            const char* kind = v.numberKind == NumberKind::Integer    ? "Integer"
                               : v.numberKind == NumberKind::Floating ? "Floating"
                                                                      : "Boolean";
            return std::string("Number ") + kind + " " + v.decimal;
        }
        case ValueKind::Array: {
            std::string out = "Array [";
            for (size_t i = 0; i < v.items.size(); ++i) {
                out += (i ? ", " : "") + render(v.items[i]);
            }
            return out + "]";
        }
        case ValueKind::ElementRef: return v.element ? "Element" : "Element (null)";
        case ValueKind::PointBox:
            return "PointBox " + std::to_string(v.first) + "," + std::to_string(v.second);
        case ValueKind::SizeBox:
            return "SizeBox " + std::to_string(v.first) + "," + std::to_string(v.second);
        case ValueKind::OtherBox: return "OtherBox";
        case ValueKind::Other: return "Other";
    }
    return "?";
}

}  // namespace nuvra::macos::testing
