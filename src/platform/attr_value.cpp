#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace nuvra {

namespace {

// Shortest text that reads back as the same double, as a number object's
// decimal text would give it ("0.5", "1e+21").
// (snprintf rather than std::to_chars: Apple's libc++ has the floating-point
// to_chars only from macOS 13.3 on.)
std::string shortestDecimal(double v) {
    char buf[40];
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        if (std::strtod(buf, nullptr) == v) break;
    }
    return buf;
}

}  // namespace

AttrValue AttrValue::plainText(std::string s) {
    AttrValue v;
    v.kind = ValueKind::Text;
    v.text = std::move(s);
    return v;
}

AttrValue AttrValue::attributedText(std::string s) {
    AttrValue v;
    v.kind = ValueKind::AttributedText;
    v.text = std::move(s);
    return v;
}

AttrValue AttrValue::integer(int64_t i) {
    AttrValue v;
    v.kind = ValueKind::Number;
    v.numberKind = NumberKind::Integer;
    v.number = static_cast<double>(i);
    v.decimal = std::to_string(i);
    return v;
}

AttrValue AttrValue::floating(double d) {
    AttrValue v;
    v.kind = ValueKind::Number;
    v.numberKind = NumberKind::Floating;
    v.number = d;
    v.decimal = shortestDecimal(d);
    return v;
}

AttrValue AttrValue::boolean(bool b) {
    AttrValue v;
    v.kind = ValueKind::Number;
    v.numberKind = NumberKind::Boolean;
    v.number = b ? 1 : 0;
    v.decimal.assign(1, b ? '1' : '0');
    return v;
}

AttrValue AttrValue::array(std::vector<AttrValue> items) {
    AttrValue v;
    v.kind = ValueKind::Array;
    v.items = std::move(items);
    return v;
}

AttrValue AttrValue::elementRef(Element e) {
    AttrValue v;
    v.kind = ValueKind::ElementRef;
    v.element = std::move(e);
    return v;
}

AttrValue AttrValue::pointBox(double x, double y) {
    AttrValue v;
    v.kind = ValueKind::PointBox;
    v.first = x;
    v.second = y;
    return v;
}

AttrValue AttrValue::sizeBox(double width, double height) {
    AttrValue v;
    v.kind = ValueKind::SizeBox;
    v.first = width;
    v.second = height;
    return v;
}

AttrValue AttrValue::otherBox() {
    AttrValue v;
    v.kind = ValueKind::OtherBox;
    return v;
}

AttrValue AttrValue::other() {
    return AttrValue{};
}

}  // namespace nuvra
