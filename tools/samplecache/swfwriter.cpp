#include "swfwriter.h"

#include <vector>

namespace vellomar::sample {

namespace {

class Bits
{
  public:
    void put(quint32 value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            m_cur = quint8((m_cur << 1) | ((value >> i) & 1));
            if (++m_used == 8)
                flush();
        }
    }
    void putsigned(qint32 value, int count) { put(quint32(value) & ((1u << count) - 1), count); }
    void align()
    {
        if (m_used > 0) {
            m_cur = quint8(m_cur << (8 - m_used));
            flush();
        }
    }
    void byte(quint8 b)
    {
        align();
        m_out.append(char(b));
    }
    void u16(quint16 v)
    {
        byte(quint8(v & 0xff));
        byte(quint8(v >> 8));
    }
    void u32(quint32 v)
    {
        u16(quint16(v & 0xffff));
        u16(quint16(v >> 16));
    }
    void bytes(const QByteArray &b)
    {
        align();
        m_out.append(b);
    }
    QByteArray take()
    {
        align();
        return m_out;
    }

  private:
    void flush()
    {
        m_out.append(char(m_cur));
        m_cur = 0;
        m_used = 0;
    }
    QByteArray m_out;
    quint8 m_cur = 0;
    int m_used = 0;
};

int bitsfor(qint32 v)
{
    int n = 1;
    while ((v < 0 ? -v : v) >= (1 << (n - 1)))
        ++n;
    return n + 1;
}

void rect(Bits &b, qint32 xmin, qint32 xmax, qint32 ymin, qint32 ymax)
{
    int n = 1;
    for (qint32 v : {xmin, xmax, ymin, ymax})
        n = std::max(n, bitsfor(v));
    b.put(quint32(n), 5);
    for (qint32 v : {xmin, xmax, ymin, ymax})
        b.putsigned(v, n);
    b.align();
}

QByteArray tag(quint16 code, const QByteArray &body)
{
    Bits b;
    if (body.size() < 63) {
        b.u16(quint16((code << 6) | body.size()));
    } else {
        b.u16(quint16((code << 6) | 0x3f));
        b.u32(quint32(body.size()));
    }
    b.bytes(body);
    return b.take();
}

// A filled rectangle of w x h twips with its corner at the origin.
QByteArray defineshape(quint16 id, qint32 w, qint32 h, quint8 r, quint8 g, quint8 bl)
{
    Bits b;
    b.u16(id);
    rect(b, 0, w, 0, h);
    b.byte(1); // one fill style
    b.byte(0); // solid
    b.byte(r);
    b.byte(g);
    b.byte(bl);
    b.byte(0);   // no line styles
    b.put(1, 4); // fill bits
    b.put(0, 4); // line bits
    // Style change: fill style 1, move to origin.
    b.put(0, 1);
    b.put(0, 1); // new styles
    b.put(0, 1); // line style
    b.put(1, 1); // fill style 1
    b.put(0, 1); // fill style 0
    b.put(1, 1); // move to
    b.put(1, 5);
    b.putsigned(0, 1);
    b.putsigned(0, 1);
    b.put(1, 1); // fill style 1 index
    // Four straight edges around the rectangle.
    const auto edge = [&b](bool vertical, qint32 delta) {
        const int n = std::max(bitsfor(delta), 2);
        b.put(1, 1);
        b.put(1, 1);
        b.put(quint32(n - 2), 4);
        b.put(0, 1); // not a general line
        b.put(vertical ? 1 : 0, 1);
        b.putsigned(delta, n);
    };
    edge(false, w);
    edge(true, h);
    edge(false, -w);
    edge(true, -h);
    b.put(0, 6); // end of shape
    b.align();
    return tag(2, b.take());
}

QByteArray placeobject(quint16 depth, quint16 character, bool move, qint32 x, qint32 y)
{
    Bits b;
    b.byte(quint8(0x04 | (character ? 0x02 : 0) | (move ? 0x01 : 0)));
    b.u16(depth);
    if (character)
        b.u16(character);
    b.put(0, 1); // no scale
    b.put(0, 1); // no rotation
    const int n = std::max(bitsfor(x), bitsfor(y));
    b.put(quint32(n), 5);
    b.putsigned(x, n);
    b.putsigned(y, n);
    b.align();
    return tag(26, b.take());
}

} // namespace

// ActionPush of one string, ActionGetURL2 loading variables, ActionGetURL opening a page.
static QByteArray reachoutactions(const QByteArray &url)
{
    Bits b;
    const auto push = [&b](const QByteArray &text) {
        b.byte(0x96);
        b.u16(quint16(text.size() + 2));
        b.byte(0); // string
        b.bytes(text);
        b.byte(0);
    };
    push(url + "-vars");
    push(QByteArray());
    b.byte(0x9a);
    b.u16(1);
    b.byte(0x01); // load variables
    const QByteArray page = url + "-page";
    b.byte(0x83);
    b.u16(quint16(page.size() + 1 + 7));
    b.bytes(page);
    b.byte(0);
    b.bytes("_blank");
    b.byte(0);
    b.byte(0); // end
    return tag(12, b.take());
}

QByteArray makeswf(int widthpx, int heightpx, int frames, const QByteArray &reachout)
{
    const qint32 w = widthpx * 20;
    const qint32 h = heightpx * 20;
    const qint32 side = h / 3;

    Bits body;
    rect(body, 0, w, 0, h);
    body.u16(quint16(24 << 8)); // 24 frames a second
    body.u16(quint16(frames));
    QByteArray tags;
    tags += tag(9, QByteArray("\xdd\xdd\xff", 3)); // background
    tags += defineshape(1, w, h / 6, 0x30, 0x60, 0xc0);
    tags += defineshape(2, side, side, 0xe0, 0x40, 0x30);
    tags += placeobject(1, 1, false, 0, h - h / 6);
    if (!reachout.isEmpty())
        tags += reachoutactions(reachout);
    for (int f = 0; f < frames; ++f) {
        const qint32 x = (w - side) * f / std::max(1, frames - 1);
        tags += placeobject(2, f == 0 ? 2 : 0, f != 0, x, (h - side) / 2);
        tags += tag(1, {}); // show frame
    }
    tags += tag(0, {});

    const QByteArray head = body.take();
    Bits file;
    file.bytes("FWS");
    file.byte(8);
    file.u32(quint32(8 + head.size() + tags.size()));
    file.bytes(head);
    file.bytes(tags);
    return file.take();
}

} // namespace vellomar::sample
