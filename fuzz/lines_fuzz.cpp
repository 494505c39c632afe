// Every record nuvra-click can print reads back as itself: its texts made
// from the input the way the printer makes them (line-safe, sanitised, cut),
// often from the pieces that look like another part of a line. And no
// output, however malformed, crashes a reader.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "protocol/lines.h"
#include "text/text.h"

namespace {

using namespace nuvra;

// Pieces that end a role or split a hit line when printed bare.
constexpr const char* kPieces[] = {" focused", " disabled", " @1,2", " @-3,04", "\"", "|",
                                   " value=", "\\", " ", "|true", "null", "AXButton"};

std::string rawText(FuzzedDataProvider& in) {
    std::string text;
    for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) {
        if (in.ConsumeBool()) text += in.PickValueInArray(kPieces);
        else text += in.ConsumeRandomLengthString(24);
    }
    return text;
}

std::string bare(FuzzedDataProvider& in) { return lineSafe(rawText(in), 120); }
std::string sanitised(FuzzedDataProvider& in) { return lineSafe(observeSanitize(rawText(in))); }
std::optional<std::string> cutOrNull(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return std::nullopt;
    return cutToCharacters(rawText(in), 120);
}

void check(bool same) {
    if (!same) std::abort();
}

void elementsRoundTrip(FuzzedDataProvider& in) {
    ObservationBlock block{bare(in), bare(in), {}, in.ConsumeIntegral<int64_t>(), in.ConsumeBool(),
                           std::string(64, in.PickValueInArray({'0', 'f', 'a'}))};
    for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) {
        ElementLine e;
        e.depth = in.ConsumeIntegralInRange<int64_t>(0, kIndentCap);
        e.index = in.ConsumeIntegralInRange<int64_t>(1, INT64_MAX);
        e.role = bare(in);
        if (in.ConsumeBool()) e.label = observeSanitize(rawText(in));
        if (in.ConsumeBool())
            e.centre = ElementLine::Centre{in.ConsumeIntegral<int64_t>(), in.ConsumeIntegral<int64_t>()};
        if (in.ConsumeBool()) e.value = observeSanitize(rawText(in));
        e.disabled = in.ConsumeBool();
        e.focused = in.ConsumeBool();
        std::string line;
        appendElementLine(line, e);
        check(readElementLine(line) == e);
        block.elements.push_back(std::move(e));
    }
    check(readObservation(writeObservation(block)) == block);
}

void hitRoundTrip(FuzzedDataProvider& in) {
    HitLine hit{bare(in), bare(in), sanitised(in), "", in.ConsumeBool(), in.ConsumeBool()};
    // The printer's label is its title when there is one.
    hit.label = in.ConsumeBool() ? hit.title : sanitised(in);
    std::string out;
    appendHitLine(out, hit);
    check(readHit(out) == hit);
}

void workspaceRoundTrip(FuzzedDataProvider& in) {
    auto app = [&] {
        return AppLine{in.ConsumeIntegral<int32_t>(), in.ConsumeBool(), in.ConsumeBool(),
                       in.ConsumeBool(), cutOrNull(in), cutOrNull(in)};
    };
    std::vector<AppLine> apps;
    for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n) apps.push_back(app());
    std::string out;
    for (const auto& a : apps) appendAppLine(out, a);
    check(readApps(out) == apps);

    WindowsBlock listed{app(), {}, in.ConsumeBool()};
    for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n) {
        ToplevelLine w{in.ConsumeIntegral<int64_t>(), in.ConsumeBool(), in.ConsumeBool(),
                       in.ConsumeBool(), std::nullopt, cutOrNull(in)};
        if (in.ConsumeBool())
            w.frame = ToplevelLine::Frame{in.ConsumeIntegral<int64_t>(), in.ConsumeIntegral<int64_t>(),
                                          in.ConsumeIntegral<int64_t>(), in.ConsumeIntegral<int64_t>()};
        listed.windows.push_back(std::move(w));
    }
    out.clear();
    appendWindows(out, listed);
    check(readWindows(out) == listed);

    TextBlock text{0, in.ConsumeIntegral<int64_t>(), in.ConsumeBool(), validUtf8(rawText(in))};
    text.bytes = static_cast<int64_t>(text.text.size());
    out.clear();
    appendText(out, text);
    check(readText(out) == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    (void)readObservation(raw);
    (void)readElementLine(raw);
    (void)readHit(raw);
    (void)readApps(raw);
    (void)readWindows(raw);
    (void)readText(raw);

    FuzzedDataProvider in(data, size);
    elementsRoundTrip(in);
    hitRoundTrip(in);
    workspaceRoundTrip(in);
    return 0;
}
