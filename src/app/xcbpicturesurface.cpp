#include "xcbpicturesurface.h"

#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#include <xcb/shm.h>
#include <xcb/xcb.h>

namespace vellomar {

// Memory both this program and the server have mapped, and the server's name for it.
struct XcbPictureSurface::Block {
    uchar *memory = nullptr;
    size_t bytes = 0;
    quint32 id = 0;
};

namespace {

using Block = XcbPictureSurface::Block;

// Blocks kept for the next pictures of the same size. New memory costs a page fault per page
// on both sides, more than decoding into it; a step lets one picture go as it decodes another.
constexpr int sparecount = 2;

} // namespace

struct XcbPictureSurface::Shared {
    xcb_connection_t *connection = nullptr;
    QMutex mutex;
    bool alive = true;                   // false once the surface is gone
    QHash<const uchar *, quint32> inuse; // the pictures' memory, and the server's name for it
    std::vector<Block> spare;
    xcb_gcontext_t gc = 0;
    QSet<xcb_window_t> checked; // windows seen to be of the screen's depth

    // With the lock held.
    void free(const Block &b)
    {
        if (alive) {
            xcb_shm_detach(connection, b.id);
            xcb_flush(connection);
        }
        ::munmap(b.memory, b.bytes);
    }
    // With the lock held.
    void freespare()
    {
        for (const Block &b : spare)
            free(b);
        spare.clear();
    }
};

namespace {

struct Segment {
    std::shared_ptr<XcbPictureSurface::Shared> shared;
    Block block;
};

// The last copy of a picture is gone: its memory is kept for the next picture, or let go by
// the server and then by this program.
void release(void *info)
{
    auto *segment = static_cast<Segment *>(info);
    XcbPictureSurface::Shared &s = *segment->shared;
    {
        const QMutexLocker lock(&s.mutex);
        s.inuse.remove(segment->block.memory);
        if (s.alive) {
            s.spare.insert(s.spare.begin(), segment->block);
            if (int(s.spare.size()) > sparecount) {
                s.free(s.spare.back());
                s.spare.pop_back();
            }
        } else {
            s.free(segment->block);
        }
    }
    delete segment;
}

// Laid out as the server takes a 24-bit picture: RGB32, rows without padding.
bool putslike(const QImage &image)
{
    return image.format() == QImage::Format_RGB32 &&
           image.bytesPerLine() == qsizetype(image.width()) * 4;
}

bool screenisrgb32(xcb_connection_t *c)
{
    const xcb_setup_t *setup = xcb_get_setup(c);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST ||
        QSysInfo::ByteOrder != QSysInfo::LittleEndian)
        return false;
    bool bpp32 = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth == 24)
            bpp32 = f.data->bits_per_pixel == 32 && f.data->scanline_pad == 32;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(setup).data;
    if (!bpp32 || !screen || screen->root_depth != 24)
        return false;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == screen->root_visual)
                return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR &&
                       v.data->red_mask == 0xff0000 && v.data->green_mask == 0xff00 &&
                       v.data->blue_mask == 0xff;
        }
    }
    return false;
}

} // namespace

std::unique_ptr<XcbPictureSurface> XcbPictureSurface::create()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *c = x11 ? x11->connection() : nullptr;
    if (!c)
        return nullptr;
    const xcb_query_extension_reply_t *shm = xcb_get_extension_data(c, &xcb_shm_id);
    if (!shm || !shm->present)
        return nullptr;
    xcb_shm_query_version_reply_t *version =
        xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr);
    const bool byfd = version && (version->major_version > 1 ||
                                  (version->major_version == 1 && version->minor_version >= 2));
    std::free(version);
    if (!byfd || !screenisrgb32(c))
        return nullptr;
    auto shared = std::make_shared<Shared>();
    shared->connection = c;
    return std::unique_ptr<XcbPictureSurface>(new XcbPictureSurface(std::move(shared)));
}

XcbPictureSurface::XcbPictureSurface(std::shared_ptr<Shared> shared) : m_shared(std::move(shared))
{
}

XcbPictureSurface::~XcbPictureSurface()
{
    const QMutexLocker lock(&m_shared->mutex);
    if (m_shared->gc)
        xcb_free_gc(m_shared->connection, m_shared->gc);
    // Pictures still held are unmapped here only when they go.
    for (const quint32 id : std::as_const(m_shared->inuse))
        xcb_shm_detach(m_shared->connection, id);
    m_shared->freespare();
    xcb_flush(m_shared->connection);
    m_shared->alive = false;
}

QImage XcbPictureSurface::allocate(const QSize &size)
{
    // A put names sizes in 16 bits.
    if (size.isEmpty() || size.width() > 32767 || size.height() > 32767)
        return {};
    const size_t bytes = size_t(size.width()) * size_t(size.height()) * 4;
    Block block;
    {
        const QMutexLocker lock(&m_shared->mutex);
        auto &spare = m_shared->spare;
        const auto it = std::find_if(spare.begin(), spare.end(),
                                     [&](const Block &b) { return b.bytes == bytes; });
        if (it != spare.end()) {
            block = *it;
            spare.erase(it);
            m_shared->inuse.insert(block.memory, block.id);
        }
    }
    if (!block.memory && !attach(bytes, block))
        return {};
    return QImage(block.memory, size.width(), size.height(), size.width() * 4, QImage::Format_RGB32,
                  release, new Segment{m_shared, block});
}

// New memory, mapped here and by the server.
bool XcbPictureSurface::attach(size_t bytes, Block &block)
{
    const int fd = ::memfd_create("vellomar-picture", MFD_CLOEXEC);
    if (fd < 0)
        return false;
    void *memory = ::ftruncate(fd, off_t(bytes)) == 0
                       ? ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                       : MAP_FAILED;
    if (memory == MAP_FAILED) {
        ::close(fd);
        return false;
    }
    xcb_connection_t *c = m_shared->connection;
    const quint32 id = xcb_generate_id(c);
    // The server maps the memory read-only; the request takes the descriptor and closes it.
    xcb_generic_error_t *error = xcb_request_check(c, xcb_shm_attach_fd_checked(c, id, fd, 1));
    if (error) {
        std::free(error);
        ::munmap(memory, bytes);
        return false;
    }
    block = Block{static_cast<uchar *>(memory), bytes, id};
    const QMutexLocker lock(&m_shared->mutex);
    m_shared->inuse.insert(block.memory, id);
    return true;
}

void XcbPictureSurface::trim()
{
    const QMutexLocker lock(&m_shared->mutex);
    m_shared->freespare();
}

bool XcbPictureSurface::shares(const QImage &image) const
{
    const QMutexLocker lock(&m_shared->mutex);
    return putslike(image) && m_shared->inuse.contains(image.constBits());
}

bool XcbPictureSurface::put(QWidget *window, const QImage &image, const QRect &area)
{
    // Device pixels are the picture's pixels only at a ratio of one.
    if (!window || window->devicePixelRatioF() != 1.0)
        return false;
    const xcb_window_t w = xcb_window_t(window->winId());
    const QRect part = area & image.rect();
    xcb_connection_t *c = m_shared->connection;
    const QMutexLocker lock(&m_shared->mutex);
    const quint32 id = m_shared->inuse.value(image.constBits());
    if (!w || !id || !putslike(image))
        return false;
    if (!m_shared->checked.contains(w)) {
        xcb_get_geometry_reply_t *g = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
        const bool ok = g && g->depth == 24;
        std::free(g);
        if (!ok)
            return false;
        m_shared->checked.insert(w);
    }
    if (!m_shared->gc) {
        m_shared->gc = xcb_generate_id(c);
        xcb_create_gc(c, m_shared->gc, w, 0, nullptr);
    }
    if (!part.isEmpty())
        xcb_shm_put_image(c, w, m_shared->gc, quint16(image.width()), quint16(image.height()),
                          qint16(part.x()), qint16(part.y()), quint16(part.width()),
                          quint16(part.height()), qint16(part.x()), qint16(part.y()), 24,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, 0, id, 0);
    xcb_flush(c);
    return true;
}

} // namespace vellomar
