// The screenshot tool's picture: written by nuvra-click into a folder of
// this server's own, read back, made small enough for one result, and sent
// as MCP image content beside what the run printed.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "capture/png.h"
#include "mcp/mcp.h"

namespace nuvra::mcp {

namespace {

std::string base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t v = 0;
        for (size_t k = 0; k < 3; ++k)
            v = v << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0);
        for (size_t k = 0; k < 4; ++k) out.push_back(k <= n ? kDigits[v >> (18 - 6 * k) & 63] : '=');
    }
    return out;
}

json errorResult(const std::string& text) {
    return {{"content", {{{"type", "text"}, {"text", text}}}}, {"isError", true}};
}

// `region=X,Y,W,H pixels=WxH scale=S file=...`: what the run says it wrote.
std::optional<json> screenshotLine(std::string_view line) {
    double v[7];
    int used = 0;
    const std::string text(line);
    if (std::sscanf(text.c_str(), "NUVRA_SCREENSHOT region=%lf,%lf,%lf,%lf pixels=%lfx%lf scale=%lf%n",
                    &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &used) != 7 ||
        text.compare(static_cast<size_t>(used), 6, " file=") != 0)
        return std::nullopt;
    // Whole numbers as integers: the region is in whole points.
    auto number = [](double d) -> json {
        if (d == std::floor(d) && std::fabs(d) < 0x1p53) return static_cast<int64_t>(d);
        return d;
    };
    return json{{"region", {{"x", number(v[0])}, {"y", number(v[1])}, {"width", number(v[2])},
                            {"height", number(v[3])}}},
                {"width", static_cast<int64_t>(v[4])},
                {"height", static_cast<int64_t>(v[5])},
                {"scale", number(v[6])}};
}

}  // namespace

PictureFolder::PictureFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/nuvra-mcp-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        error_ = std::strerror(errno);
        return;
    }
    folder_ = pattern;
}

PictureFolder::~PictureFolder() {
    if (folder_.empty()) return;
    unlink(path().c_str());
    // Whatever else a run left in it (its hidden file, if it was killed).
    if (DIR* dir = opendir(folder_.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                unlink((folder_ + "/" + entry->d_name).c_str());
        closedir(dir);
    }
    rmdir(folder_.c_str());
}

std::optional<std::string> PictureFolder::read() const {
    const int fd = open(path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) bytes.append(buffer, static_cast<size_t>(n));
    close(fd);
    if (n < 0) return std::nullopt;
    return bytes;
}

json pictureResult(std::string_view out, const std::optional<std::string>& file) {
    // The picture's line ends the output; an observation block may come first.
    std::string_view block = out, line = out;
    if (line.ends_with('\n')) line.remove_suffix(1);
    line = line.substr(line.rfind('\n') == std::string_view::npos ? 0 : line.rfind('\n') + 1);
    block = out.substr(0, out.size() - line.size() - (out.ends_with('\n') ? 1 : 0));
    std::optional<json> shot = screenshotLine(line);
    std::optional<json> observation;
    if (!block.empty()) observation = observeStructure(block);
    if (!shot || !file || (!block.empty() && !observation))
        return errorResult("nuvra-click printed or wrote what this server cannot read:\n" +
                           std::string(out));
    if (observation) (*shot)["observation"] = std::move(*observation);

    // Shrunk until its long side and its bytes fit the result, the scale
    // following it, so that a pixel still maps back to a point.
    const int64_t width = (*shot)["width"], height = (*shot)["height"];
    std::string png = *file;
    auto describe = [&](const json& s) {
        return std::string(block) + "NUVRA_SCREENSHOT region=" + coordText(s["region"]["x"]) + "," +
               coordText(s["region"]["y"]) + "," + coordText(s["region"]["width"]) + "," +
               coordText(s["region"]["height"]) + " pixels=" + s["width"].dump() + "x" +
               s["height"].dump() + " scale=" + coordText(s["scale"]) +
               " (a pixel (px, py) is the point (x + px / scale, y + py / scale))\n";
    };
    const size_t texts = 2 * describe(*shot).size() + shot->dump().size() + kResultFraming;
    const size_t maxPng = texts < kMaxResultBytes ? (kMaxResultBytes - texts) / 4 * 3 : 0;
    int64_t longSide = std::min(std::max(width, height), kMaxLongSide);
    if (std::max(width, height) > longSide || png.size() > maxPng) {
        std::optional<ScreenImage> image = decodePng(png, kMaxPixels);
        if (!image || image->width != width || image->height != height)
            return errorResult("the picture nuvra-click wrote is not the PNG it reported");
        if (std::max(width, height) <= kMaxLongSide)
            longSide = static_cast<int64_t>(static_cast<double>(longSide) * kShrinkStep);
        for (;; longSide = static_cast<int64_t>(static_cast<double>(longSide) * kShrinkStep)) {
            if (longSide < kMinLongSide)
                return errorResult("the picture does not fit one result even at " +
                                   std::to_string(kMinLongSide) +
                                   " pixels; ask for fewer elements or a smaller region");
            const double factor = static_cast<double>(longSide) / static_cast<double>(std::max(width, height));
            ScreenImage small = shrink(*image, std::llround(static_cast<double>(width) * factor),
                                       std::llround(static_cast<double>(height) * factor));
            std::optional<std::string> encoded = encodePng(small);
            if (!encoded) return errorResult("the picture could not be made smaller");
            png = std::move(*encoded);
            (*shot)["scale"] = (*shot)["scale"].get<double>() * static_cast<double>(small.width) /
                               static_cast<double>(width);
            (*shot)["width"] = small.width;
            (*shot)["height"] = small.height;
            if (png.size() <= maxPng) break;
        }
    }
    return {{"content",
             {{{"type", "image"}, {"data", base64(png)}, {"mimeType", "image/png"}},
              {{"type", "text"}, {"text", describe(*shot)}}}},
            {"structuredContent", std::move(*shot)},
            {"isError", false}};
}

}  // namespace nuvra::mcp
