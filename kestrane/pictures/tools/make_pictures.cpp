// Draws the console's pictures (picturetable.h) at build time and writes a
// resource file that names each under its path.
//   make_pictures <output folder>
// Files get ASCII names (the resource paths may be Chinese); PNGs through
// Qt, animated GIFs written here.
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QSaveFile>
#include <QString>
#include <QTextStream>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "kestrane/picturetable.h"

using kestrane::pictures::Glyph;
using kestrane::pictures::Look;
using kestrane::pictures::PictureSpec;

namespace {

constexpr double kPi = 3.14159265358979323846;
const QColor kGrey(0xae, 0xae, 0xae);
const QColor kBlue(0x00, 0xb7, 0xef);
const QColor kMatte(0x34, 0x34, 0x34);  // what a GIF's soft edges are blended onto

// ---------------------------------------------------------------------------
// Looks

struct Colours {
    QColor fg;
    QColor plate;   // background plate; invalid: none
    QColor border;  // plate border; invalid: none
};

Colours coloursOf(const PictureSpec& p) {
    const QColor tint = p.tint ? QColor::fromRgb(p.tint) : QColor();
    switch (p.look) {
    case Look::Normal: return {tint.isValid() ? tint : kGrey, {}, {}};
    case Look::Hover: return {tint.isValid() ? tint.lighter(130) : QColor(Qt::white), QColor(0x45, 0x45, 0x45), QColor(0x5a, 0x5a, 0x5a)};
    case Look::Pressed: return {tint.isValid() ? tint.darker(115) : kBlue, QColor(0x14, 0x14, 0x14), QColor(0x00, 0x00, 0x00)};
    case Look::Disabled: return {QColor(0x5a, 0x5a, 0x5a), {}, {}};
    case Look::Active: return {tint.isValid() ? tint : kBlue, {}, {}};
    case Look::Plain: return {tint.isValid() ? tint : kGrey, {}, {}};
    case Look::TitleIdle: return {tint.isValid() ? tint : kGrey, {}, {}};
    case Look::TitleHover: return {Qt::white, tint.isValid() ? QColor(tint.red(), tint.green(), tint.blue(), 200) : QColor(255, 255, 255, 60), {}};
    case Look::Cursor: return {Qt::white, {}, {}};
    }
    return {kGrey, {}, {}};
}

// ---------------------------------------------------------------------------
// Glyphs, drawn in a unit square (0..1, y down)

class Pen {
public:
    Pen(QPainter& p, const QColor& c, double side) : m_p(p), m_c(c), m_side(side) {}
    // A stroke of w pixels.
    void stroke(double w) {
        QPen pen(m_c, w / m_side, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        m_p.setPen(pen);
        m_p.setBrush(Qt::NoBrush);
    }
    void fill(const QColor& c) {
        m_p.setPen(Qt::NoPen);
        m_p.setBrush(c);
    }
    void fill() { fill(m_c); }
    QPainter& p() { return m_p; }
    const QColor& colour() const { return m_c; }
    double side() const { return m_side; }

private:
    QPainter& m_p;
    QColor m_c;
    double m_side;
};

void arrowHead(Pen& g, QPointF tip, double angle, double size) {
    QPolygonF head;
    head << tip << tip + QPointF(std::cos(angle + 2.6) * size, std::sin(angle + 2.6) * size)
         << tip + QPointF(std::cos(angle - 2.6) * size, std::sin(angle - 2.6) * size);
    g.fill();
    g.p().drawPolygon(head);
}

void doubleArrow(Pen& g, QPointF a, QPointF b) {
    const double angle = std::atan2(b.y() - a.y(), b.x() - a.x());
    g.stroke(1.6);
    g.p().drawLine(a + QPointF(std::cos(angle) * 0.12, std::sin(angle) * 0.12),
                   b - QPointF(std::cos(angle) * 0.12, std::sin(angle) * 0.12));
    arrowHead(g, b, angle, 0.26);
    arrowHead(g, a, angle + kPi, 0.26);
}

void pointer(Pen& g, QPointF at, double size) {
    QPolygonF arrow;
    arrow << QPointF(0, 0) << QPointF(0, 1) << QPointF(0.28, 0.74) << QPointF(0.5, 1.08) << QPointF(0.64, 1.0)
          << QPointF(0.42, 0.66) << QPointF(0.78, 0.62);
    for (QPointF& p : arrow) p = at + p * size;
    g.fill();
    g.p().drawPolygon(arrow);
}

void monitor(Pen& g, QRectF r) {
    g.stroke(1.3);
    g.p().drawRect(r);
    g.p().drawLine(QPointF(r.center().x(), r.bottom()), QPointF(r.center().x(), r.bottom() + 0.1));
    g.p().drawLine(QPointF(r.center().x() - 0.14, r.bottom() + 0.12), QPointF(r.center().x() + 0.14, r.bottom() + 0.12));
}

void film(Pen& g, QRectF r) {
    g.stroke(1.3);
    g.p().drawRect(r);
    const double hole = r.height() / 7;
    g.fill();
    for (int i = 0; i < 3; ++i) {
        const double y = r.top() + hole + i * 2 * hole;
        g.p().drawRect(QRectF(r.left() + hole * 0.4, y, hole, hole));
        g.p().drawRect(QRectF(r.right() - hole * 1.4, y, hole, hole));
    }
}

void plus(Pen& g, QPointF c, double r) {
    g.stroke(1.6);
    g.p().drawLine(c - QPointF(r, 0), c + QPointF(r, 0));
    g.p().drawLine(c - QPointF(0, r), c + QPointF(0, r));
}

void align(Pen& g, bool vertical, double line, double a0, double a1, double b0, double b1) {
    // vertical: the guide runs top to bottom at x = line; bars run across.
    g.stroke(1.0);
    if (vertical)
        g.p().drawLine(QPointF(line, 0.05), QPointF(line, 0.95));
    else
        g.p().drawLine(QPointF(0.05, line), QPointF(0.95, line));
    g.fill();
    if (vertical) {
        g.p().drawRect(QRectF(a0, 0.2, a1 - a0, 0.22));
        g.p().drawRect(QRectF(b0, 0.58, b1 - b0, 0.22));
    } else {
        g.p().drawRect(QRectF(0.2, a0, 0.22, a1 - a0));
        g.p().drawRect(QRectF(0.58, b0, 0.22, b1 - b0));
    }
}

void hand(Pen& g, bool outlined) {
    QPainterPath path;
    const double fingerW = 0.15;
    const double tops[4] = {0.18, 0.08, 0.1, 0.2};
    for (int i = 0; i < 4; ++i) {
        const double x = 0.24 + i * 0.16;
        path.addRoundedRect(QRectF(x, tops[i], fingerW, 0.6 - tops[i]), 0.07, 0.07);
    }
    path.addRoundedRect(QRectF(0.22, 0.45, 0.64, 0.45), 0.18, 0.18);
    QPainterPath thumb;
    thumb.moveTo(0.26, 0.62);
    thumb.lineTo(0.08, 0.46);
    thumb.lineTo(0.16, 0.38);
    thumb.lineTo(0.32, 0.52);
    path.addPath(thumb);
    path = path.simplified();
    if (outlined) {
        g.p().setPen(QPen(QColor(0x10, 0x10, 0x10), 1.2 / g.side()));
        g.p().setBrush(g.colour());
    } else {
        g.fill();
    }
    g.p().drawPath(path);
}

void eye(Pen& g) {
    QPainterPath lid;
    lid.moveTo(0.04, 0.5);
    lid.quadTo(0.5, -0.15, 0.96, 0.5);
    lid.quadTo(0.5, 1.15, 0.04, 0.5);
    g.stroke(1.2);
    g.p().drawPath(lid);
    g.fill();
    g.p().drawEllipse(QPointF(0.5, 0.5), 0.17, 0.17);
}

void curvedArrow(Pen& g, bool back) {
    QPainterPath arc;
    const double s = back ? 1 : -1;  // mirror for redo
    auto at = [&](double x, double y) { return QPointF(0.5 + s * (x - 0.5), y); };
    arc.moveTo(at(0.28, 0.38));
    arc.cubicTo(at(0.5, 0.2), at(0.9, 0.3), at(0.8, 0.62));
    arc.cubicTo(at(0.72, 0.85), at(0.45, 0.85), at(0.35, 0.8));
    g.stroke(1.6);
    g.p().drawPath(arc);
    arrowHead(g, at(0.2, 0.42), back ? kPi * 0.85 : kPi * 0.15, 0.3);
}

void drawGlyph(QPainter& painter, const PictureSpec& p, const QColor& fg, double angle) {
    const double w = p.width, h = p.height;
    // Glyphs sit in the largest square with a margin; wide pictures centre it.
    const double margin = std::max(1.0, std::min(w, h) * 0.12);
    const double side = std::min(w, h) - 2 * margin;
    painter.save();
    painter.translate((w - side) / 2, (h - side) / 2);
    painter.scale(side, side);
    Pen g(painter, fg, side);
    switch (p.glyph) {
    case Glyph::Text:
    case Glyph::Box:
    case Glyph::Fill:
        break;  // drawn over the whole picture below
    case Glyph::Plug:
        g.stroke(1.6);
        painter.drawLine(QPointF(0.0, 0.5), QPointF(0.3, 0.5));
        painter.drawLine(QPointF(0.7, 0.5), QPointF(1.0, 0.5));
        g.fill();
        painter.drawRoundedRect(QRectF(0.28, 0.3, 0.44, 0.4), 0.08, 0.08);
        break;
    case Glyph::Unplug:
        g.stroke(1.6);
        painter.drawLine(QPointF(0.0, 0.5), QPointF(0.22, 0.5));
        painter.drawLine(QPointF(0.78, 0.5), QPointF(1.0, 0.5));
        g.fill();
        painter.drawRect(QRectF(0.2, 0.32, 0.18, 0.36));
        painter.drawRect(QRectF(0.62, 0.32, 0.18, 0.36));
        g.stroke(1.0);
        painter.drawLine(QPointF(0.44, 0.15), QPointF(0.56, 0.85));
        break;
    case Glyph::Refresh: {
        g.stroke(1.6);
        const QRectF ring(0.15, 0.15, 0.7, 0.7);
        painter.drawArc(ring, 60 * 16, 270 * 16);
        const double a = -30 * kPi / 180;
        const QPointF tip(0.5 + 0.35 * std::cos(a) + 0.02, 0.5 + 0.35 * std::sin(a) - 0.1);
        arrowHead(g, tip, -kPi / 2 + 0.2, 0.3);
        break;
    }
    case Glyph::SelectMedia:
        g.stroke(1.2);
        painter.drawRect(QRectF(0.3, 0.05, 0.65, 0.5));
        painter.drawLine(QPointF(0.38, 0.48), QPointF(0.55, 0.28));
        painter.drawLine(QPointF(0.55, 0.28), QPointF(0.7, 0.42));
        pointer(g, QPointF(0.05, 0.35), 0.55);
        break;
    case Glyph::SelectDevice:
        monitor(g, QRectF(0.3, 0.05, 0.65, 0.42));
        pointer(g, QPointF(0.05, 0.35), 0.55);
        break;
    case Glyph::MoveLeftRight:
        doubleArrow(g, QPointF(0.02, 0.5), QPointF(0.98, 0.5));
        break;
    case Glyph::MoveUpDown:
        doubleArrow(g, QPointF(0.5, 0.02), QPointF(0.5, 0.98));
        break;
    case Glyph::AlignLeft:
        align(g, true, 0.1, 0.1, 0.9, 0.1, 0.6);
        break;
    case Glyph::AlignCenterLeftRight:
        align(g, true, 0.5, 0.1, 0.9, 0.25, 0.75);
        break;
    case Glyph::AlignRight:
        align(g, true, 0.9, 0.1, 0.9, 0.4, 0.9);
        break;
    case Glyph::AlignTop:
        align(g, false, 0.1, 0.1, 0.9, 0.1, 0.6);
        break;
    case Glyph::AlignCenterUpDown:
        align(g, false, 0.5, 0.1, 0.9, 0.25, 0.75);
        break;
    case Glyph::AlignBottom:
        align(g, false, 0.9, 0.1, 0.9, 0.4, 0.9);
        break;
    case Glyph::Magnet: {
        QPainterPath u;
        u.moveTo(0.2, 0.1);
        u.lineTo(0.2, 0.55);
        u.arcTo(QRectF(0.2, 0.25, 0.6, 0.6), 180, 180);
        u.lineTo(0.8, 0.1);
        g.stroke(side * 0.2);
        painter.drawPath(u);
        g.fill(QColor(0xe6, 0x00, 0x12));
        painter.drawRect(QRectF(0.1, 0.02, 0.2, 0.16));
        painter.drawRect(QRectF(0.7, 0.02, 0.2, 0.16));
        break;
    }
    case Glyph::Hand:
        hand(g, p.look == Look::Cursor);
        break;
    case Glyph::AddMedia:
        film(g, QRectF(0.05, 0.05, 0.6, 0.6));
        plus(g, QPointF(0.75, 0.75), 0.2);
        break;
    case Glyph::AddDevice:
        monitor(g, QRectF(0.05, 0.05, 0.62, 0.46));
        plus(g, QPointF(0.75, 0.75), 0.2);
        break;
    case Glyph::AddCommand:
        g.stroke(1.4);
        painter.drawLine(QPointF(0.08, 0.12), QPointF(0.32, 0.32));
        painter.drawLine(QPointF(0.32, 0.32), QPointF(0.08, 0.52));
        painter.drawLine(QPointF(0.38, 0.55), QPointF(0.55, 0.55));
        plus(g, QPointF(0.75, 0.75), 0.2);
        break;
    case Glyph::Undo:
        curvedArrow(g, true);
        break;
    case Glyph::Redo:
        curvedArrow(g, false);
        break;
    case Glyph::Logo: {
        // Three overlapping outputs of one picture.
        const QColor shades[3] = {QColor(0x00, 0x7a, 0xa8), QColor(0x00, 0xb7, 0xef), QColor(0x7f, 0xdc, 0xff)};
        for (int i = 0; i < 3; ++i) {
            g.fill(shades[i]);
            painter.drawRect(QRectF(0.05 + i * 0.22, 0.2 + i * 0.1, 0.46, 0.5));
        }
        break;
    }
    case Glyph::Minimize:
        g.stroke(1.4);
        painter.drawLine(QPointF(0.25, 0.65), QPointF(0.75, 0.65));
        break;
    case Glyph::Maximize:
        g.stroke(1.3);
        painter.drawRect(QRectF(0.25, 0.25, 0.5, 0.5));
        break;
    case Glyph::Restore:
        g.stroke(1.3);
        painter.drawRect(QRectF(0.22, 0.36, 0.42, 0.42));
        painter.drawPolyline(QPolygonF(QVector<QPointF>{QPointF(0.36, 0.36), QPointF(0.36, 0.22), QPointF(0.78, 0.22),
                                                        QPointF(0.78, 0.64), QPointF(0.64, 0.64)}));
        break;
    case Glyph::Close:
        g.stroke(1.4);
        painter.drawLine(QPointF(0.28, 0.28), QPointF(0.72, 0.72));
        painter.drawLine(QPointF(0.72, 0.28), QPointF(0.28, 0.72));
        break;
    case Glyph::Eye:
        eye(g);
        break;
    case Glyph::EyeHidden:
        eye(g);
        g.stroke(1.4);
        painter.drawLine(QPointF(0.1, 0.95), QPointF(0.9, 0.05));
        break;
    case Glyph::VideoMark:
        break;  // over the whole picture below
    case Glyph::ArrowDown:
    case Glyph::ArrowRight: {
        g.fill();
        QPolygonF t;
        if (p.glyph == Glyph::ArrowDown)
            t << QPointF(0.05, 0.2) << QPointF(0.95, 0.2) << QPointF(0.5, 0.85);
        else
            t << QPointF(0.2, 0.05) << QPointF(0.2, 0.95) << QPointF(0.85, 0.5);
        painter.drawPolygon(t);
        break;
    }
    case Glyph::Folder:
    case Glyph::AddFolder: {
        g.fill();
        QPainterPath f;
        f.moveTo(0.0, 0.15);
        f.lineTo(0.4, 0.15);
        f.lineTo(0.5, 0.28);
        f.lineTo(1.0, 0.28);
        f.lineTo(1.0, 0.9);
        f.lineTo(0.0, 0.9);
        f.closeSubpath();
        painter.drawPath(f);
        if (p.glyph == Glyph::AddFolder) {
            painter.setPen(QPen(QColor(0x34, 0x34, 0x34), 1.6 / g.side()));
            painter.drawLine(QPointF(0.3, 0.6), QPointF(0.7, 0.6));
            painter.drawLine(QPointF(0.5, 0.4), QPointF(0.5, 0.8));
        }
        break;
    }
    case Glyph::CheckOn:
    case Glyph::CheckOff:
        g.stroke(1.0);
        painter.drawRect(QRectF(0.05, 0.05, 0.9, 0.9));
        if (p.glyph == Glyph::CheckOn) {
            g.stroke(1.8);
            painter.setPen(QPen(kBlue, 1.8 / g.side()));
            painter.drawPolyline(QPolygonF() << QPointF(0.22, 0.5) << QPointF(0.42, 0.72) << QPointF(0.8, 0.28));
        }
        break;
    case Glyph::ListView:
        g.fill();
        for (int i = 0; i < 3; ++i) painter.drawRect(QRectF(0.1, 0.15 + i * 0.3, 0.8, 0.14));
        break;
    case Glyph::ThumbView:
        g.fill();
        for (int i = 0; i < 4; ++i) painter.drawRect(QRectF(0.1 + (i % 2) * 0.45, 0.1 + (i / 2) * 0.45, 0.35, 0.35));
        break;
    case Glyph::Delete:
        g.fill();
        painter.drawRect(QRectF(0.1, 0.12, 0.8, 0.1));
        painter.drawRect(QRectF(0.38, 0.02, 0.24, 0.1));
        painter.drawRect(QRectF(0.2, 0.28, 0.6, 0.68));
        break;
    case Glyph::Play:
        g.fill();
        painter.drawPolygon(QPolygonF(QVector<QPointF>{QPointF(0.2, 0.08), QPointF(0.2, 0.92), QPointF(0.9, 0.5)}));
        break;
    case Glyph::Pause:
        g.fill();
        painter.drawRect(QRectF(0.15, 0.08, 0.25, 0.84));
        painter.drawRect(QRectF(0.6, 0.08, 0.25, 0.84));
        break;
    case Glyph::Stop:
        g.fill();
        painter.drawRect(QRectF(0.15, 0.15, 0.7, 0.7));
        break;
    case Glyph::SkipBack:
        g.fill();
        painter.drawPolygon(QPolygonF(QVector<QPointF>{QPointF(0.5, 0.15), QPointF(0.5, 0.85), QPointF(0.1, 0.5)}));
        painter.drawPolygon(QPolygonF(QVector<QPointF>{QPointF(0.9, 0.15), QPointF(0.9, 0.85), QPointF(0.5, 0.5)}));
        break;
    case Glyph::SkipForward:
        g.fill();
        painter.drawPolygon(QPolygonF(QVector<QPointF>{QPointF(0.1, 0.15), QPointF(0.1, 0.85), QPointF(0.5, 0.5)}));
        painter.drawPolygon(QPolygonF(QVector<QPointF>{QPointF(0.5, 0.15), QPointF(0.5, 0.85), QPointF(0.9, 0.5)}));
        break;
    case Glyph::Jump: {
        g.stroke(1.4);
        QPainterPath bend;
        bend.moveTo(0.85, 0.95);
        bend.lineTo(0.85, 0.45);
        bend.lineTo(0.25, 0.45);
        painter.drawPath(bend);
        g.fill();
        painter.drawPolygon(QPolygonF(QVector<QPointF>{QPointF(0.0, 0.45), QPointF(0.35, 0.1), QPointF(0.35, 0.8)}));
        break;
    }
    case Glyph::KeyFrame:
        g.fill();
        painter.drawPolygon(QPolygonF(
            QVector<QPointF>{QPointF(0.5, 0.0), QPointF(1.0, 0.5), QPointF(0.5, 1.0), QPointF(0.0, 0.5)}));
        break;
    case Glyph::Speaker:
    case Glyph::SpeakerMuted:
        g.fill();
        painter.drawPolygon(QPolygonF(QVector<QPointF>{QPointF(0.05, 0.35), QPointF(0.25, 0.35), QPointF(0.5, 0.1),
                                                       QPointF(0.5, 0.9), QPointF(0.25, 0.65), QPointF(0.05, 0.65)}));
        g.stroke(1.3);
        if (p.glyph == Glyph::Speaker) {
            painter.drawArc(QRectF(0.4, 0.3, 0.3, 0.4), -60 * 16, 120 * 16);
            painter.drawArc(QRectF(0.35, 0.15, 0.55, 0.7), -60 * 16, 120 * 16);
        } else {
            painter.drawLine(QPointF(0.62, 0.35), QPointF(0.92, 0.65));
            painter.drawLine(QPointF(0.92, 0.35), QPointF(0.62, 0.65));
        }
        break;
    case Glyph::Chain:
    case Glyph::ChainBroken: {
        // Wide pictures: the rings spread over the whole width.
        painter.restore();
        painter.save();
        Pen wide(painter, fg, 1.0);
        wide.stroke(1.0);
        const double gap = p.glyph == Glyph::Chain ? 0.0 : 1.5;
        painter.drawRoundedRect(QRectF(0.5, 1.5, w / 2 + 0.5 - gap, h - 3), 2, 2);
        painter.drawRoundedRect(QRectF(w / 2 - 1 + gap, 1.5, w / 2 + 0.5 - gap, h - 3), 2, 2);
        break;
    }
    case Glyph::CheckBox:
    case Glyph::CheckBoxEmpty:
        g.stroke(1.0);
        painter.drawRect(QRectF(0.0, 0.0, 1.0, 1.0));
        if (p.glyph == Glyph::CheckBox) {
            g.stroke(1.6);
            painter.drawPolyline(
                QPolygonF(QVector<QPointF>{QPointF(0.2, 0.5), QPointF(0.42, 0.75), QPointF(0.82, 0.22)}));
        }
        break;
    case Glyph::RangeHandle:
        painter.restore();
        painter.save();
        painter.setPen(Qt::NoPen);
        painter.setBrush(fg);
        painter.drawRect(QRectF(0, 0, w, h));
        painter.setBrush(QColor(0x40, 0x44, 0x4e));
        painter.drawRect(QRectF(2, 2, 1, h - 4));
        painter.drawRect(QRectF(4, 2, 1, h - 4));
        break;
    case Glyph::Spinner:
        for (int i = 0; i < 8; ++i) {
            const double a = angle + i * kPi / 4;
            QColor c = kBlue;
            c.setAlpha(255 - i * 22);
            g.fill(c);
            painter.drawEllipse(QPointF(0.5 + 0.36 * std::cos(a), 0.5 + 0.36 * std::sin(a)), 0.1, 0.1);
        }
        break;
    }
    painter.restore();

    // Glyphs that use the whole picture.
    const QRectF all(0, 0, w, h);
    if (p.glyph == Glyph::Box) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(fg);
        painter.drawRoundedRect(all.adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    } else if (p.glyph == Glyph::Fill) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.fillRect(QRect(0, 0, p.width, p.height), fg);
        painter.fillRect(QRect(0, p.height - 1, p.width, 1), QColor(0x1e, 0x1e, 0x1e));
    } else if (p.glyph == Glyph::Text) {
        const QString text = QString::fromUtf8(p.text ? p.text : "");
        QFont font;
        int size = std::max(8, int(h * 0.6));
        font.setPixelSize(size);
        // A longer text gets a smaller font rather than losing its ends.
        while (size > 6 && QFontMetrics(font).horizontalAdvance(text) > w - 2)
            font.setPixelSize(--size);
        painter.setFont(font);
        painter.setPen(fg);
        painter.drawText(all, Qt::AlignCenter, text);
    } else if (p.glyph == Glyph::VideoMark) {
        const double strip = w * 0.12;
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 170));
        painter.drawRect(QRectF(0, 0, strip, h));
        painter.drawRect(QRectF(w - strip, 0, strip, h));
        painter.setBrush(QColor(255, 255, 255, 150));
        const double hole = strip * 0.5;
        for (double y = hole * 0.5; y + hole < h; y += hole * 2) {
            painter.drawRect(QRectF(strip * 0.25, y, hole, hole));
            painter.drawRect(QRectF(w - strip * 0.75, y, hole, hole));
        }
        const double r = std::min(w, h) * 0.18;
        painter.setBrush(QColor(0, 0, 0, 110));
        painter.drawEllipse(all.center(), r * 1.3, r * 1.3);
        painter.setBrush(QColor(255, 255, 255, 210));
        QPolygonF play;
        play << all.center() + QPointF(-r * 0.5, -r * 0.7) << all.center() + QPointF(-r * 0.5, r * 0.7)
             << all.center() + QPointF(r * 0.75, 0);
        painter.drawPolygon(play);
    }
}

QImage drawPicture(const PictureSpec& p, double angle = 0) {
    QImage image(p.width, p.height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const Colours c = coloursOf(p);
    // States as colour treatments: a plate behind the glyph where the look has one.
    if (c.plate.isValid()) {
        painter.setPen(c.border.isValid() ? QPen(c.border, 1) : QPen(Qt::NoPen));
        painter.setBrush(c.plate);
        painter.drawRoundedRect(QRectF(0.5, 0.5, p.width - 1, p.height - 1), 3, 3);
    }
    drawGlyph(painter, p, c.fg, angle);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// ---------------------------------------------------------------------------
// GIF89a

void put16(QByteArray& out, int v) {
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}

// LZW codes at a fixed 9 bits: every pixel is sent as its own code and the
// table is cleared before the decoder's would outgrow 9-bit codes, so no
// dictionary is kept (the pictures are tiny).
QByteArray lzw(const QVector<uint8_t>& indexes) {
    constexpr int kClear = 256, kEnd = 257, kRun = 250;
    QByteArray packed;
    uint32_t bits = 0;
    int count = 0;
    auto code = [&](int c) {
        bits |= uint32_t(c) << count;
        count += 9;
        while (count >= 8) {
            packed.append(char(bits & 0xff));
            bits >>= 8;
            count -= 8;
        }
    };
    int run = 0;
    code(kClear);
    for (uint8_t i : indexes) {
        if (run == kRun) {
            code(kClear);
            run = 0;
        }
        code(i);
        ++run;
    }
    code(kEnd);
    if (count > 0) packed.append(char(bits & 0xff));

    QByteArray out;
    out.append(char(8));  // minimum code size
    for (int at = 0; at < packed.size(); at += 255) {
        const QByteArray block = packed.mid(at, 255);
        out.append(char(block.size()));
        out.append(block);
    }
    out.append(char(0));
    return out;
}

// Index 0 is transparent; the rest are the frames' colours, or a colour cube
// when they are too many.
QByteArray encodeGif(const QVector<QImage>& frames, int delayCs) {
    const int w = frames.first().width(), h = frames.first().height();
    auto flat = [](QRgb px) {
        // Soft edges are blended onto the matte: a GIF is opaque or not.
        const int a = qAlpha(px);
        auto mix = [a](int c, int m) { return (c * a + m * (255 - a)) / 255; };
        return qRgb(mix(qRed(px), kMatte.red()), mix(qGreen(px), kMatte.green()), mix(qBlue(px), kMatte.blue()));
    };
    std::map<QRgb, int> exact;
    for (const QImage& f : frames)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (qAlpha(f.pixel(x, y)) >= 128) exact.emplace(flat(f.pixel(x, y)), 0);
    QVector<QRgb> palette(256, kMatte.rgb());
    const bool cube = exact.size() > 255;
    if (cube) {
        for (int i = 0; i < 252; ++i) palette[i + 1] = qRgb((i / 42) * 51, ((i / 6) % 7) * 42, (i % 6) * 51);
    } else {
        int next = 1;
        for (auto& [rgb, index] : exact) {
            index = next;
            palette[next++] = rgb;
        }
    }
    auto indexOf = [&](QRgb px) -> uint8_t {
        if (qAlpha(px) < 128) return 0;
        const QRgb c = flat(px);
        if (!cube) return uint8_t(exact[c]);
        return uint8_t(1 + (qRed(c) * 5 / 255) * 42 + (qGreen(c) * 6 / 255) * 6 + qBlue(c) * 5 / 255);
    };

    QByteArray out("GIF89a");
    put16(out, w);
    put16(out, h);
    out.append(char(0xf7));  // global table of 256 colours, 8 bits each
    out.append(char(0));     // background index
    out.append(char(0));     // square pixels
    for (QRgb c : palette) {
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
    // Loop for ever.
    out.append("\x21\xff\x0bNETSCAPE2.0\x03\x01", 16);
    put16(out, 0);
    out.append(char(0));
    for (const QImage& f : frames) {
        out.append("\x21\xf9\x04", 3);
        out.append(char((2 << 2) | 1));  // restore to background; index 0 transparent
        put16(out, delayCs);
        out.append(char(0));
        out.append(char(0));
        out.append(char(0x2c));
        put16(out, 0);
        put16(out, 0);
        put16(out, w);
        put16(out, h);
        out.append(char(0));  // the global table, not interlaced
        QVector<uint8_t> indexes;
        indexes.reserve(w * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) indexes.append(indexOf(f.pixel(x, y)));
        out.append(lzw(indexes));
    }
    out.append(char(0x3b));
    return out;
}

// ---------------------------------------------------------------------------
// Files

// An ASCII file name for a resource path: the path itself where it is ASCII,
// else a hash of it.
QString fileNameFor(const QString& path) {
    bool ascii = true;
    for (QChar c : path) ascii = ascii && c.unicode() < 128;
    const QString suffix = path.mid(path.lastIndexOf(QLatin1Char('.')));
    if (ascii) return QString(path).replace(QLatin1Char('/'), QLatin1Char('_'));
    uint32_t h = 2166136261u;
    for (char b : path.toUtf8()) h = (h ^ uint8_t(b)) * 16777619u;
    return QStringLiteral("u%1%2").arg(h, 8, 16, QLatin1Char('0')).arg(suffix);
}

bool writeFile(const QString& name, const QByteArray& bytes) {
    QSaveFile f(name);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(bytes);
    return f.commit();
}

}  // namespace

// The geometry editor's default background: a blue field divided by white
// lines into 8 x 8 cells, so that a warp shows at a glance. Beside the
// program, where the editor looks for it.
bool writeDefaultBackground(const QString& path) {
    QImage image(1280, 720, QImage::Format_RGB32);
    image.fill(QColor(0x2f, 0x6f, 0x9f));
    QPainter painter(&image);
    for (int k = 0; k <= 8; ++k) {
        const int x = std::min(k * 160, 1276), y = std::min(k * 90, 716);
        painter.fillRect(x, 0, 4, 720, Qt::white);
        painter.fillRect(0, y, 1280, 4, Qt::white);
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    return buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "JPG", 90) && writeFile(path, bytes);
}

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_pictures <output folder> [<default background .jpg>]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(dir.path())) return 1;
    if (argc == 3) {
        const QString background = QString::fromLocal8Bit(argv[2]);
        if (!QDir().mkpath(QFileInfo(background).path()) || !writeDefaultBackground(background)) {
            std::fprintf(stderr, "make_pictures: cannot write %s\n", argv[2]);
            return 1;
        }
    }

    QString qrc;
    QTextStream xml(&qrc);
    xml << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n  <qresource prefix=\"/\">\n";
    std::map<QString, QString> seen;
    for (const PictureSpec& p : kestrane::pictures::kPictures) {
        const QString path = QString::fromUtf8(p.path);
        const QString file = fileNameFor(path);
        if (!seen.emplace(file, path).second) {
            std::fprintf(stderr, "make_pictures: %s listed twice or its file name collides\n", p.path);
            return 1;
        }
        QByteArray bytes;
        if (path.endsWith(QLatin1String(".gif"))) {
            QVector<QImage> frames;
            constexpr int kFrames = 8;
            for (int i = 0; i < kFrames; ++i) frames.append(drawPicture(p, i * 2 * kPi / kFrames));
            bytes = encodeGif(frames, 8);
        } else {
            QBuffer buffer(&bytes);
            if (!buffer.open(QIODevice::WriteOnly) || !drawPicture(p).save(&buffer, "PNG")) return 1;
        }
        if (!writeFile(dir.filePath(file), bytes)) {
            std::fprintf(stderr, "make_pictures: cannot write %s\n", qPrintable(file));
            return 1;
        }
        xml << "    <file alias=\"" << path.toHtmlEscaped() << "\">" << file << "</file>\n";
    }
    xml << "  </qresource>\n</RCC>\n";
    xml.flush();
    return writeFile(dir.filePath(QStringLiteral("pictures.qrc")), qrc.toUtf8()) ? 0 : 1;
}
