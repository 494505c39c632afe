// Pictures on the test desktop: a marked screenshot at two pixels a point
// read back from its PNG, pixel by pixel against what the desktop shows and
// the elements the block prints; the file written whole or not at all; the
// shrinking the MCP server does.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <unistd.h>
#include <sstream>

#include "capture/file.h"
#include "capture/marks.h"
#include "capture/png.h"
#include "cli/entry.h"
#include "desktop.h"

namespace nuvra::testing {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Screenshot, MarksFrameEveryPrintedCentreAtTheDisplaysDensity) {
    auto d = testDesktop();
    d->displays = {{0, 0, 1440, 900}};
    d->pixelsPerPoint = 2;
    RunOutput o;
    ASSERT_EQ(runMain(*d, {"screenshot", "marked.png", "marks", "100", "10", "100000"}, o), 0) << o.err;
    std::optional<ScreenImage> png = decodePng(contents("marked.png"), 1 << 24);
    ASSERT_TRUE(png);
    ASSERT_EQ(std::tie(png->width, png->height), std::tuple(1600, 1200));
    // The same walk, the frames drawn as the run drew them.
    ObservationRun seen = runObserve(*d, 100, 10, 100000, std::nullopt).value();
    ScreenImage blank{1600, 1200, std::vector<uint32_t>(1600 * 1200, 0)};
    const std::vector<Mark> marks = drawMarks(blank, PixelMap({0, 25, 800, 600}, 1600, 1200), seen.elements);
    std::smatch m;
    size_t centres = 0;
    for (const std::string& line : seen.lines) {
        if (!std::regex_search(line, m, std::regex(R"(\[e(\d+)\].* @(\d+),(\d+))"))) continue;
        const Mark& mark = marks.at(std::stoul(m[1]) - 1);
        const int64_t x = 2 * std::stoll(m[2]), y = 2 * (std::stoll(m[3]) - 25);
        EXPECT_EQ(mark.index, std::stoll(m[1]));
        EXPECT_TRUE(mark.frame.x0 <= x && x < mark.frame.x1 && mark.frame.y0 <= y && y < mark.frame.y1) << line;
        // Its label starts within the frame's width, on its top edge, just above
        // it, or whole label heights below.
        EXPECT_TRUE(mark.label.x0 >= mark.frame.x0 && mark.label.x0 < mark.frame.x1) << line;
        const int64_t h = mark.label.y1 - mark.label.y0, down = mark.label.y0 - mark.frame.y0;
        EXPECT_TRUE(down >= -h && down % h == 0) << line;
        ++centres;
    }
    EXPECT_EQ(centres, 7u);
    // The run's picture, pixel for pixel: labels on top, then the outlines (two
    // pixels thick) of the later elements over the earlier, then what the desktop
    // shows at the point each pixel maps back to.
    auto within = [](const PixelBox& b, int64_t x, int64_t y) {
        return b.x0 <= x && x < b.x1 && b.y0 <= y && y < b.y1;
    };
    for (int64_t y = 0; y < 1200; ++y)
        for (int64_t x = 0; x < 1600; ++x) {
            uint32_t want = FakeDesktop::screenColour(x / 2, 25 + y / 2);
            bool label = false;
            for (const Mark& mark : marks) {
                label = label || within(mark.label, x, y);
                const PixelBox& f = mark.frame;
                if (within(f, x, y) && !within({f.x0 + 2, f.y0 + 2, f.x1 - 2, f.y1 - 2}, x, y))
                    want = mark.colour;
            }
            if (!label) {
                ASSERT_EQ(png->pixels[static_cast<size_t>(y * 1600 + x)], want) << x << "," << y;
            }
        }
}

TEST(Screenshot, AFileIsReplacedWholeOrLeftAsItWas) {
    const fs::path folder = fs::temp_directory_path() / ("nuvra-file-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string path = (folder / "shot.png").string();
    std::ofstream(path) << "before";
    EXPECT_EQ(writeWhole((folder / "none" / "x").string(), "x"), ENOENT);
    EXPECT_EQ(writeWhole(folder.string(), "x"), EISDIR);
    EXPECT_EQ(writeWhole(path, std::string(3 << 20, 'p')), 0);
    EXPECT_EQ(contents(path), std::string(3 << 20, 'p'));
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    if (geteuid() != 0) {  // root writes anywhere
        EXPECT_EQ(writeWhole(path, "after"), EACCES);
    }
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);  // nothing left beside it
    fs::remove_all(folder);
}

TEST(Screenshot, PicturesRoundTripAndShrinkToTheMeanOfWhatTheyCover) {
    ScreenImage image{4, 2, {0xff0000, 0x00ff00, 0x0000ff, 0xffffff, 0x000000, 0x102030, 0x0000ff, 0x000001}};
    std::optional<ScreenImage> back = decodePng(*encodePng(image), 8);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixels, image.pixels);
    EXPECT_FALSE(decodePng(*encodePng(image), 7));  // larger than allowed
    EXPECT_FALSE(decodePng("\x89PNG not one", 8));
    EXPECT_EQ(shrink(image, 2, 1).pixels, (std::vector<uint32_t>{0x44480c, 0x4040c0}));
}

}  // namespace
}  // namespace nuvra::testing
