#include "platform/linux/x11/capture.h"

#include <sys/mman.h>
#include <unistd.h>

#include <bit>
#include <cstring>
#include <optional>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include "platform/linux/limits.h"
#include "platform/linux/x11/display.h"
#include "platform/linux/x11/window_at.h"

namespace nuvra::x11 {

namespace {

// How the server lays out the root window's pixels.
struct PixelFormat {
    uint32_t bitsPerPixel = 0;
    uint32_t scanlinePad = 0;
    uint32_t masks[3] = {};  // red, green, blue
    bool mostSignificantFirst = false;
};

std::optional<PixelFormat> rootFormat(Connection& c) {
    const xcb_setup_t* setup = xcb_get_setup(c.xcb);
    PixelFormat f;
    f.mostSignificantFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    for (auto s = xcb_setup_roots_iterator(setup); s.rem > 0; xcb_screen_next(&s)) {
        if (s.data->root != c.root) continue;
        for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem > 0; xcb_depth_next(&d))
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v))
                if (v.data->visual_id == s.data->root_visual)
                    f.masks[0] = v.data->red_mask, f.masks[1] = v.data->green_mask,
                    f.masks[2] = v.data->blue_mask;
        for (auto p = xcb_setup_pixmap_formats_iterator(setup); p.rem > 0; xcb_format_next(&p))
            if (p.data->depth == s.data->root_depth)
                f.bitsPerPixel = p.data->bits_per_pixel, f.scanlinePad = p.data->scanline_pad;
    }
    const bool supported = (f.bitsPerPixel == 16 || f.bitsPerPixel == 24 || f.bitsPerPixel == 32) &&
                           f.scanlinePad % 8 == 0 && f.scanlinePad > 0 && f.masks[0] && f.masks[1] &&
                           f.masks[2];
    if (!supported) return std::nullopt;
    return f;
}

size_t strideOf(const PixelFormat& f, int width) {
    const size_t bits = static_cast<size_t>(width) * f.bitsPerPixel;
    return (bits + f.scanlinePad - 1) / f.scanlinePad * f.scanlinePad / 8;
}

// One channel scaled to eight bits.
uint32_t channel(uint32_t pixel, uint32_t mask) {
    const uint32_t value = (pixel & mask) >> std::countr_zero(mask);
    const uint32_t top = mask >> std::countr_zero(mask);
    return top == 0xff ? value : (value * 255 + top / 2) / top;
}

// Rows of the server's pixels into 0x00RRGGBB, from row `first` on.
void convert(const PixelFormat& f, const uint8_t* data, int width, int rows, int first,
             ScreenImage& out) {
    const size_t stride = strideOf(f, width);
    const bool common = f.bitsPerPixel == 32 && !f.mostSignificantFirst && f.masks[0] == 0xff0000 &&
                        f.masks[1] == 0xff00 && f.masks[2] == 0xff;
    const size_t bytes = f.bitsPerPixel / 8;
    for (int y = 0; y < rows; ++y) {
        const uint8_t* row = data + static_cast<size_t>(y) * stride;
        uint32_t* to = out.pixels.data() + static_cast<size_t>(first + y) * static_cast<size_t>(width);
        if (common) {
            std::memcpy(to, row, static_cast<size_t>(width) * 4);
            for (int x = 0; x < width; ++x) to[x] &= 0xffffff;
            continue;
        }
        for (int x = 0; x < width; ++x) {
            uint32_t p = 0;
            for (size_t b = 0; b < bytes; ++b) {
                const uint32_t byte = row[static_cast<size_t>(x) * bytes + b];
                p |= f.mostSignificantFirst ? byte << (8 * (bytes - 1 - b)) : byte << (8 * b);
            }
            to[x] = channel(p, f.masks[0]) << 16 | channel(p, f.masks[1]) << 8 | channel(p, f.masks[2]);
        }
    }
}

bool shmWithFds(Connection& c) {
    if (!hasExtension(c, &xcb_shm_id)) return false;
    auto version = replyTo<xcb_shm_query_version_reply_t>(c, xcb_shm_query_version(c.xcb));
    // 1.2 passes the segment as a file descriptor: nothing outlives the run,
    // as a System V segment would if the run were killed.
    return version && (version->major_version > 1 || version->minor_version >= 2);
}

// Through a shared segment: the server writes the pixels into our memory.
// Nothing when it refuses (no fd passing to a remote server, say).
std::optional<bool> readShared(Connection& c, const PixelFormat& f, uint32_t drawable, int x,
                               int y, int w, int h, ScreenImage& out) {
    const size_t size = strideOf(f, w) * static_cast<size_t>(h);
    const int fd = memfd_create("nuvra-capture", MFD_CLOEXEC);
    if (fd < 0) return std::nullopt;
    void* memory = ftruncate(fd, static_cast<off_t>(size)) == 0
                       ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                       : MAP_FAILED;
    if (memory == MAP_FAILED) {
        close(fd);
        return std::nullopt;
    }
    const xcb_shm_seg_t segment = xcb_generate_id(c.xcb);
    xcb_shm_attach_fd(c.xcb, segment, fd, 0);  // XCB closes the descriptor once sent
    auto reply = replyTo<xcb_shm_get_image_reply_t>(
        c, xcb_shm_get_image(c.xcb, drawable, static_cast<int16_t>(x), static_cast<int16_t>(y),
                             static_cast<uint16_t>(w), static_cast<uint16_t>(h), ~0u,
                             XCB_IMAGE_FORMAT_Z_PIXMAP, segment, 0));
    xcb_shm_detach(c.xcb, segment);
    xcb_flush(c.xcb);
    if (reply) convert(f, static_cast<const uint8_t*>(memory), w, h, 0, out);
    munmap(memory, size);
    if (!reply && !c.gone) return std::nullopt;
    return reply != nullptr;
}

bool readImage(Connection& c, const PixelFormat& f, uint32_t drawable, int x, int y, int w, int h,
               ScreenImage& out) {
    const int rows = static_cast<int>(std::max<size_t>(1, kStripBytes / strideOf(f, w)));
    std::vector<xcb_get_image_cookie_t> asked;
    for (int top = 0; top < h; top += rows)
        asked.push_back(xcb_get_image(c.xcb, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable,
                                      static_cast<int16_t>(x), static_cast<int16_t>(y + top),
                                      static_cast<uint16_t>(w),
                                      static_cast<uint16_t>(std::min(rows, h - top)), ~0u));
    bool whole = true;
    for (size_t i = 0; i < asked.size(); ++i) {
        auto reply = replyTo<xcb_get_image_reply_t>(c, asked[i]);
        const int top = static_cast<int>(i) * rows, count = std::min(rows, h - top);
        whole = whole && reply &&
                static_cast<size_t>(xcb_get_image_data_length(reply.get())) >=
                    strideOf(f, w) * static_cast<size_t>(count);
        if (whole) convert(f, xcb_get_image_data(reply.get()), w, count, top, out);
    }
    return whole;
}

// What `drawable` shows at (x, y, w, h) of itself; false when the server
// refused or did not answer.
bool read(Connection& c, const PixelFormat& f, bool shared, uint32_t drawable, int x, int y,
          int w, int h, ScreenImage& out) {
    if (shared) {
        if (auto done = readShared(c, f, drawable, x, y, w, h, out)) return *done;
        if (c.gone) return false;
    }
    return readImage(c, f, drawable, x, y, w, h, out);
}

// The viewable top-level window, topmost first, that holds the whole area
// and a client (WM_STATE, on it or on a child of its frame), with the
// area's origin inside it.
std::optional<std::pair<uint32_t, xcb_point_t>> windowHolding(Connection& c, int x, int y, int w,
                                                               int h) {
    std::vector<uint32_t> tops = childrenOf(c, c.root);
    for (auto it = tops.rbegin(); it != tops.rend() && !c.gone; ++it) {
        auto attributes =
            replyTo<xcb_get_window_attributes_reply_t>(c, xcb_get_window_attributes(c.xcb, *it));
        auto geometry = replyTo<xcb_get_geometry_reply_t>(c, xcb_get_geometry(c.xcb, *it));
        if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE) continue;
        const int left = geometry->x + geometry->border_width, top = geometry->y + geometry->border_width;
        if (x < left || y < top || x + w > left + geometry->width || y + h > top + geometry->height)
            continue;
        bool client = hasProperty(c, *it, "WM_STATE");
        for (uint32_t child : client ? std::vector<uint32_t>{} : childrenOf(c, *it))
            client = client || hasProperty(c, child, "WM_STATE");
        if (client)
            return std::pair{*it, xcb_point_t{static_cast<int16_t>(x - left),
                                              static_cast<int16_t>(y - top)}};
    }
    return std::nullopt;
}

}  // namespace

CaptureResult captureScreen(Connection* c, const ScreenRect& area, bool wayland, ScreenImage& out) {
    if (c == nullptr) return CaptureResult::Failed;
    std::optional<PixelFormat> format = rootFormat(*c);
    // The root window is at most 32767 pixels on a side, and the area lies
    // within it.
    const int x = static_cast<int>(area.x), y = static_cast<int>(area.y);
    const int w = static_cast<int>(area.width), h = static_cast<int>(area.height);
    if (!format || w < 1 || h < 1 || x < 0 || y < 0 || x + w > 32767 || y + h > 32767)
        return CaptureResult::Failed;
    ScreenImage image;
    image.width = w;
    image.height = h;
    image.pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    const bool shared = shmWithFds(*c);
    if (wayland || !read(*c, *format, shared, c->root, x, y, w, h, image)) {
        if (c->gone) return CaptureResult::Failed;
        auto holder = windowHolding(*c, x, y, w, h);
        if (!holder) return c->gone ? CaptureResult::Failed : CaptureResult::NoPicture;
        if (!read(*c, *format, shared, holder->first, holder->second.x, holder->second.y, w, h, image))
            return CaptureResult::Failed;
    }
    out = std::move(image);
    return CaptureResult::Captured;
}

}  // namespace nuvra::x11
