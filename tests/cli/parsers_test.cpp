// The three argument parsers: accepted values in-process, refusals through a
// whole run so the exact diagnostic bytes and the exit status are checked.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "cli/parsers.h"
#include "support/run_in_child.h"

namespace nuvra {
namespace {

using testing::runInChild;

struct ParserCase {
    std::string text;
    std::optional<double> coord;      // nullopt: refused
    std::optional<int32_t> delta;
    std::optional<int64_t> positive;
};

const ParserCase kCases[] = {
    {"", {}, {}, {}},
    {"0", 0.0, 0, {}},
    {"12", 12.0, 12, 12},
    {"007", 7.0, 7, 7},
    {"+3", 3.0, 3, 3},
    {"-3", {}, -3, {}},
    {"-0", -0.0, 0, {}},
    {"12.5", 12.5, {}, {}},
    {".5", 0.5, {}, {}},
    {"5.", 5.0, {}, {}},
    {"1e3", 1000.0, {}, {}},
    {"0x10", 16.0, {}, {}},
    {"0x1p-2", 0.25, {}, {}},
    {"1,5", {}, {}, {}},
    {"inf", {}, {}, {}},
    {"Infinity", {}, {}, {}},
    {"nan", {}, {}, {}},
    {"1e999", {}, {}, {}},
    {" 5", {}, {}, {}},
    {"5 ", {}, {}, {}},
    {"\t5", {}, {}, {}},
    {"5\n", {}, {}, {}},
    {"2147483647", 2147483647.0, 2147483647, 2147483647},
    {"2147483648", 2147483648.0, {}, 2147483648LL},
    {"-2147483648", {}, INT32_MIN, {}},
    {"-2147483649", {}, {}, {}},
    {"9223372036854775807", 9223372036854775807.0, {}, INT64_MAX},
    {"9223372036854775808", 9223372036854775808.0, {}, {}},
    {"99999999999999999999", 1e20, {}, {}},
    {"+", {}, {}, {}},
    {"-", {}, {}, {}},
    {"+-1", {}, {}, {}},
    {"1_000", {}, {}, {}},
    {"١٢", {}, {}, {}},  // Arabic-Indic digits are not ASCII digits
    {"1e-400", 0.0, {}, {}},  // underflows to zero: a well-formed zero
};

TEST(Parsers, AcceptedValues) {
    for (const auto& c : kCases) {
        SCOPED_TRACE("text \"" + c.text + "\"");
        if (c.coord) {
            double v = coord(c.text);
            EXPECT_EQ(v, *c.coord);
            EXPECT_EQ(std::signbit(v), std::signbit(*c.coord));
        }
        if (c.delta) {
            EXPECT_EQ(delta(c.text), *c.delta);
        }
        if (c.positive) {
            EXPECT_EQ(positiveInt(c.text, "index"), *c.positive);
        }
    }
}

TEST(Parsers, RefusalsRepeatTheArgumentExactly) {
    FakeDesktop desktop;
    for (const auto& c : kCases) {
        SCOPED_TRACE("text \"" + c.text + "\"");
        if (!c.coord) {
            auto r = runInChild(desktop, {c.text, "0"});
            EXPECT_EQ(r.status, 3);
            EXPECT_EQ(r.err, "nuvra-click: bad coordinate " + c.text + "\n");
            EXPECT_EQ(r.out, "");
        }
        if (!c.delta) {
            auto r = runInChild(desktop, {"scroll", "0", "0", c.text, "0"});
            EXPECT_EQ(r.status, 3);
            EXPECT_EQ(r.err, "nuvra-click: bad scroll delta " + c.text + "\n");
        }
        if (!c.positive) {
            auto r = runInChild(desktop, {"observe", c.text, "1", "1"});
            EXPECT_EQ(r.status, 3);
            EXPECT_EQ(r.err, "nuvra-click: bad maxNodes " + c.text + "\n");
        }
    }
}

TEST(Parsers, EachFieldNamesItself) {
    FakeDesktop desktop;
    struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"observe", "1", "0", "1"}, "nuvra-click: bad maxDepth 0\n"},
        {{"observe", "1", "1", "-5"}, "nuvra-click: bad maxTextBytes -5\n"},
        {{"press", "0", "1", "1", "1", "h"}, "nuvra-click: bad index 0\n"},
        {{"press", "1", "1", "1", "x", "h", "App"}, "nuvra-click: bad maxTextBytes x\n"},
        {{"settext", "2", "t", "1", "1.5", "1", "h"}, "nuvra-click: bad maxDepth 1.5\n"},
        {{"hit", "1", "-1"}, "nuvra-click: bad coordinate -1\n"},
        // The message repeats the argument as given, line feeds and all.
        {{"1\n2", "3"}, "nuvra-click: bad coordinate 1\n2\n"},
    };
    for (const auto& c : cases) {
        auto r = runInChild(desktop, c.args);
        EXPECT_EQ(r.status, 3) << c.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace
}  // namespace nuvra
