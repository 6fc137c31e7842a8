// Draws the update program's pictures and writes them as PNG files:
//   device<n>.png  n = 1..12, 223 x 223, the device pictures by picture number
//   flag<k>.png    k = 0..23, 20 x 20, the language flags by language index
//   logo.png       the bottom bar's logo
//   warning.png    the notice window's warning sign
// Usage: make_pictures <output folder>   (run by scripts/make-pictures.sh)
#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kDeviceSize = 223;
constexpr int kFlagSize = 20;
constexpr int kFlagHeight = 15;  // the flag itself; the rest of the 20 x 20 stays transparent
constexpr int kFlagTop = 2;
constexpr int kOversample = 8;

const QString kFamily = QStringLiteral("DejaVu Sans");

QFont Font(double pixels, bool bold, const QString& family = kFamily) {
  QFont f(family);
  f.setPixelSize(qRound(pixels));
  f.setBold(bold);
  return f;
}

QImage NewImage(int w, int h) {
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  return img;
}

// ---------------------------------------------------------------- device parts

void Body(QPainter& p, const QRectF& r, const QColor& base, double radius = 10) {
  QLinearGradient g(r.topLeft(), r.bottomLeft());
  g.setColorAt(0, base.lighter(135));
  g.setColorAt(0.5, base);
  g.setColorAt(1, base.darker(130));
  p.setPen(QPen(base.darker(200), 2));
  p.setBrush(g);
  p.drawRoundedRect(r, radius, radius);
  // highlight along the top edge
  p.setPen(QPen(QColor(255, 255, 255, 90), 2));
  p.drawLine(QPointF(r.left() + radius, r.top() + 3), QPointF(r.right() - radius, r.top() + 3));
}

void Display(QPainter& p, const QRectF& r, const QString& text, double pixels) {
  p.setPen(QPen(QColor(30, 30, 30), 2));
  p.setBrush(QColor(28, 48, 36));
  p.drawRoundedRect(r, 3, 3);
  if (!text.isEmpty()) {
    p.setPen(QColor(120, 255, 150));
    p.setFont(Font(pixels, true, QStringLiteral("DejaVu Sans Mono")));
    p.drawText(r.adjusted(4, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter, text);
  }
}

void Led(QPainter& p, QPointF c, const QColor& color) {
  QRadialGradient g(c - QPointF(1, 1), 5);
  g.setColorAt(0, color.lighter(170));
  g.setColorAt(1, color);
  p.setPen(QPen(color.darker(200), 1));
  p.setBrush(g);
  p.drawEllipse(c, 4, 4);
}

// Round sensor socket with pins.
void Socket(QPainter& p, QPointF c, double r) {
  p.setPen(QPen(QColor(40, 40, 40), 2));
  p.setBrush(QColor(170, 170, 175));
  p.drawEllipse(c, r, r);
  p.setBrush(QColor(35, 35, 35));
  p.drawEllipse(c, r * 0.68, r * 0.68);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(220, 200, 120));
  for (int k = 0; k < 5; ++k) {
    const double a = qDegreesToRadians(200.0 + k * 35.0);
    p.drawEllipse(c + QPointF(std::cos(a), std::sin(a)) * r * 0.42, r * 0.1, r * 0.1);
  }
}

// Coaxial socket.
void Bnc(QPainter& p, QPointF c, double r) {
  p.setPen(QPen(QColor(60, 60, 60), 2));
  p.setBrush(QColor(205, 205, 210));
  p.drawEllipse(c, r, r);
  p.setBrush(QColor(60, 60, 60));
  p.drawEllipse(c, r * 0.55, r * 0.55);
  p.setBrush(QColor(230, 200, 90));
  p.drawEllipse(c, r * 0.2, r * 0.2);
}

void Button(QPainter& p, const QRectF& r, const QColor& color) {
  p.setPen(QPen(color.darker(180), 1.5));
  p.setBrush(color);
  p.drawRoundedRect(r, 3, 3);
}

void Antenna(QPainter& p, QPointF base, double height) {
  const QPointF tip = base - QPointF(0, height);
  p.setPen(QPen(QColor(35, 35, 35), 5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(base, tip);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(35, 35, 35));
  p.drawEllipse(tip, 5, 5);
  p.drawRoundedRect(QRectF(base.x() - 7, base.y() - 10, 14, 12), 3, 3);
}

// Radio waves around a point; `sides` 1 = right only, 2 = both sides.
void Waves(QPainter& p, QPointF c, int sides, const QColor& color) {
  p.setBrush(Qt::NoBrush);
  for (int k = 1; k <= 3; ++k) {
    const double r = 8.0 + k * 9.0;
    p.setPen(QPen(color, 3, Qt::SolidLine, Qt::RoundCap));
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    p.drawArc(box, -40 * 16, 80 * 16);
    if (sides == 2) {
      p.drawArc(box, 140 * 16, 80 * 16);
    }
  }
}

void UsbCable(QPainter& p, QPointF from, QPointF to) {
  QPainterPath cable(from);
  cable.cubicTo(from + QPointF(-25, 0), to + QPointF(0, -35), to);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(50, 50, 50), 5, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(cable);
  // plug
  p.setPen(QPen(QColor(40, 40, 40), 1.5));
  p.setBrush(QColor(70, 70, 75));
  p.drawRoundedRect(QRectF(to.x() - 8, to.y(), 16, 14), 2, 2);
  p.setBrush(QColor(200, 200, 205));
  p.drawRect(QRectF(to.x() - 6, to.y() + 14, 12, 10));
}

void SmallText(QPainter& p, const QRectF& r, const QString& text, const QColor& color, double pixels,
               bool bold = true) {
  p.setPen(color);
  p.setFont(Font(pixels, bold));
  p.drawText(r, Qt::AlignCenter, text);
}

// ---------------------------------------------------------------- devices

void RadioMaster(QPainter& p) {
  Waves(p, QPointF(150, 40), 2, QColor(60, 120, 200));
  Antenna(p, QPointF(150, 98), 58);
  Body(p, QRectF(38, 98, 147, 72), QColor(60, 105, 175));
  SmallText(p, QRectF(48, 106, 90, 18), QStringLiteral("RADIO MASTER"), Qt::white, 10);
  Led(p, QPointF(58, 148), QColor(40, 200, 60));
  Led(p, QPointF(74, 148), QColor(240, 190, 30));
  Led(p, QPointF(90, 148), QColor(220, 50, 40));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 60));
  for (int k = 0; k < 5; ++k) {
    p.drawRoundedRect(QRectF(120 + k * 11, 136, 6, 24), 2, 2);
  }
  UsbCable(p, QPointF(38, 134), QPointF(20, 158));
}

void RadioPort(QPainter& p) {
  Waves(p, QPointF(135, 48), 1, QColor(40, 150, 80));
  Antenna(p, QPointF(135, 96), 48);
  Body(p, QRectF(66, 96, 91, 82), QColor(50, 150, 85), 14);
  SmallText(p, QRectF(66, 102, 91, 18), QStringLiteral("RADIO"), Qt::white, 11);
  Led(p, QPointF(84, 130), QColor(40, 230, 60));
  Socket(p, QPointF(111, 150), 16);
}

void RelayPort(QPainter& p) {
  Waves(p, QPointF(111, 46), 2, QColor(220, 120, 30));
  Antenna(p, QPointF(111, 94), 48);
  Body(p, QRectF(56, 94, 111, 84), QColor(215, 125, 40), 14);
  SmallText(p, QRectF(56, 100, 111, 18), QStringLiteral("RELAY"), Qt::white, 11);
  // two arrows: the unit passes messages on
  p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(QPointF(78, 136), QPointF(146, 136));
  p.drawPolyline(QPolygonF({QPointF(136, 128), QPointF(146, 136), QPointF(136, 144)}));
  p.drawLine(QPointF(78, 158), QPointF(146, 158));
  p.drawPolyline(QPolygonF({QPointF(88, 150), QPointF(78, 158), QPointF(88, 166)}));
}

void DeskPort(QPainter& p) {
  // a desk case with a sloped top
  QPolygonF body({QPointF(22, 168), QPointF(22, 128), QPointF(52, 92), QPointF(201, 92), QPointF(201, 168)});
  QLinearGradient g(0, 92, 0, 168);
  const QColor base(85, 105, 135);
  g.setColorAt(0, base.lighter(140));
  g.setColorAt(1, base.darker(120));
  p.setPen(QPen(base.darker(200), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(g);
  p.drawPolygon(body);
  p.setPen(QPen(base.darker(160), 1.5));
  p.drawLine(QPointF(22, 128), QPointF(201, 128));
  SmallText(p, QRectF(60, 98, 130, 22), QStringLiteral("DESK"), Qt::white, 13);
  Socket(p, QPointF(62, 148), 14);
  Socket(p, QPointF(108, 148), 14);
  Socket(p, QPointF(154, 148), 14);
  Led(p, QPointF(188, 140), QColor(40, 200, 60));
  UsbCable(p, QPointF(22, 150), QPointF(14, 176));
}

void FieldPort(QPainter& p) {
  Body(p, QRectF(62, 22, 99, 160), QColor(40, 140, 155), 16);
  // display with a recorded curve
  const QRectF screen(74, 38, 75, 58);
  Display(p, screen, QString(), 0);
  QPainterPath curve;
  for (int x = 0; x <= 67; ++x) {
    const double y = screen.center().y() + 16 * std::sin(x / 9.0) * std::exp(-x / 70.0);
    const QPointF pt(screen.left() + 4 + x, y);
    if (x == 0) {
      curve.moveTo(pt);
    } else {
      curve.lineTo(pt);
    }
  }
  p.setPen(QPen(QColor(120, 255, 150), 2));
  p.setBrush(Qt::NoBrush);
  p.drawPath(curve);
  Button(p, QRectF(76, 108, 20, 13), QColor(230, 230, 230));
  Button(p, QRectF(101, 108, 20, 13), QColor(230, 230, 230));
  Button(p, QRectF(126, 108, 20, 13), QColor(230, 230, 230));
  Button(p, QRectF(88, 128, 46, 13), QColor(240, 160, 40));
  Socket(p, QPointF(111, 162), 12);
  Led(p, QPointF(146, 160), QColor(220, 50, 40));
}

void NoDevice(QPainter& p) {
  p.setPen(QPen(QColor(150, 160, 170), 3, Qt::DashLine));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(40, 30, 143, 143), 18, 18);
  // an unplugged cable
  p.setPen(QPen(QColor(110, 110, 110), 6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(111, 160), QPointF(111, 112));
  p.setPen(QPen(QColor(80, 80, 80), 1.5));
  p.setBrush(QColor(120, 120, 125));
  p.drawRoundedRect(QRectF(97, 80, 28, 34), 3, 3);
  p.setBrush(QColor(210, 210, 215));
  p.drawRect(QRectF(101, 62, 20, 18));
  // crossed-out circle
  p.setPen(QPen(QColor(205, 40, 40), 8));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(111, 100), 58, 58);
  p.drawLine(QPointF(70, 141), QPointF(152, 59));
}

void SpeedOfLight(QPainter& p) {
  // mirror at the far end, the beam there and back
  p.setPen(QPen(QColor(60, 60, 60), 2));
  p.setBrush(QColor(190, 215, 235));
  p.drawRect(QRectF(198, 96, 9, 72));
  p.setPen(QPen(QColor(235, 30, 30), 3));
  p.drawLine(QPointF(170, 124), QPointF(198, 132));
  p.drawLine(QPointF(198, 132), QPointF(170, 140));
  Body(p, QRectF(16, 100, 150, 68), QColor(75, 80, 90), 8);
  Display(p, QRectF(28, 112, 96, 26), QStringLiteral("299792"), 17);
  SmallText(p, QRectF(28, 140, 96, 18), QStringLiteral("km/s"), QColor(220, 220, 220), 11);
  // laser head at the front end
  p.setPen(QPen(QColor(20, 20, 20), 2));
  p.setBrush(QColor(45, 45, 50));
  p.drawRoundedRect(QRectF(160, 112, 12, 40), 3, 3);
  p.setBrush(QColor(255, 60, 60));
  p.drawEllipse(QPointF(170, 124), 3, 3);
  Button(p, QRectF(132, 116, 20, 14), QColor(230, 230, 230));
  Button(p, QRectF(132, 136, 20, 14), QColor(230, 230, 230));
}

void UniversalCounter(QPainter& p) {
  Body(p, QRectF(22, 62, 179, 110), QColor(105, 90, 150), 8);
  Display(p, QRectF(34, 74, 155, 38), QStringLiteral("12345678"), 24);
  Button(p, QRectF(36, 124, 26, 16), QColor(230, 230, 230));
  Button(p, QRectF(68, 124, 26, 16), QColor(230, 230, 230));
  Button(p, QRectF(100, 124, 26, 16), QColor(230, 230, 230));
  Bnc(p, QPointF(150, 146), 12);
  Bnc(p, QPointF(180, 146), 12);
  SmallText(p, QRectF(36, 146, 92, 18), QStringLiteral("COUNTER"), Qt::white, 11);
}

void Timer62(QPainter& p) {
  Body(p, QRectF(22, 62, 179, 110), QColor(175, 55, 55), 8);
  Display(p, QRectF(34, 74, 155, 38), QStringLiteral("0.0000 s"), 22);
  for (int k = 0; k < 6; ++k) {
    const QPointF c(44 + k * 27, 144);
    Socket(p, c, 10);
    SmallText(p, QRectF(c.x() - 8, 154, 16, 14), QString::number(k + 1), Qt::white, 10);
  }
}

void FunctionGenerator(QPainter& p) {
  Body(p, QRectF(22, 62, 179, 110), QColor(45, 125, 125), 8);
  const QRectF screen(34, 74, 108, 56);
  Display(p, screen, QString(), 0);
  QPainterPath wave;
  for (int x = 0; x <= 96; ++x) {
    const QPointF pt(screen.left() + 6 + x, screen.center().y() - 18 * std::sin(x * 2 * M_PI / 48.0));
    if (x == 0) {
      wave.moveTo(pt);
    } else {
      wave.lineTo(pt);
    }
  }
  p.setPen(QPen(QColor(120, 255, 150), 2));
  p.setBrush(Qt::NoBrush);
  p.drawPath(wave);
  // frequency knob
  QRadialGradient g(QPointF(168, 96), 22);
  g.setColorAt(0, QColor(240, 240, 240));
  g.setColorAt(1, QColor(150, 150, 155));
  p.setPen(QPen(QColor(50, 50, 50), 2));
  p.setBrush(g);
  p.drawEllipse(QPointF(172, 100), 20, 20);
  p.setPen(QPen(QColor(40, 40, 40), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(172, 100), QPointF(184, 88));
  Bnc(p, QPointF(150, 152), 11);
  Bnc(p, QPointF(180, 152), 11);
  SmallText(p, QRectF(34, 138, 100, 24), QStringLiteral("DDS"), Qt::white, 16);
}

void Trefoil(QPainter& p, QPointF c, double r) {
  p.setPen(QPen(QColor(20, 20, 20), 2));
  p.setBrush(QColor(250, 210, 30));
  p.drawEllipse(c, r, r);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(20, 20, 20));
  p.drawEllipse(c, r * 0.17, r * 0.17);
  const QRectF outer(c.x() - r * 0.85, c.y() - r * 0.85, r * 1.7, r * 1.7);
  const QRectF inner(c.x() - r * 0.3, c.y() - r * 0.3, r * 0.6, r * 0.6);
  for (int k = 0; k < 3; ++k) {
    const double start = 90 + k * 120 - 30;
    QPainterPath blade;
    blade.arcMoveTo(inner, start);
    blade.arcTo(outer, start, 60);
    blade.arcTo(inner, start + 60, -60);
    blade.closeSubpath();
    p.drawPath(blade);
  }
}

void XRayUnit(QPainter& p) {
  Body(p, QRectF(34, 20, 155, 162), QColor(190, 195, 200), 8);
  // lead glass door
  p.setPen(QPen(QColor(70, 70, 70), 3));
  p.setBrush(QColor(205, 190, 110, 200));
  p.drawRoundedRect(QRectF(48, 62, 92, 106), 4, 4);
  p.setPen(QPen(QColor(255, 255, 255, 120), 3));
  p.drawLine(QPointF(58, 150), QPointF(88, 76));
  Trefoil(p, QPointF(111, 40), 18);
  // control strip
  Display(p, QRectF(148, 64, 32, 20), QStringLiteral("35"), 12);
  for (int k = 0; k < 3; ++k) {
    Button(p, QRectF(150, 94 + k * 20, 28, 13), QColor(235, 235, 235));
  }
  Led(p, QPointF(164, 160), QColor(230, 40, 40));
}

void StarterPort(QPainter& p) {
  Body(p, QRectF(72, 104, 96, 62), QColor(70, 160, 220), 12);
  SmallText(p, QRectF(72, 108, 96, 18), QStringLiteral("START"), Qt::white, 12);
  Socket(p, QPointF(140, 145), 13);
  Led(p, QPointF(94, 146), QColor(40, 220, 60));
  UsbCable(p, QPointF(72, 138), QPointF(38, 168));
}

void DeviceName(QPainter& p, const QString& name) {
  const QRectF area(4, 186, kDeviceSize - 8, 30);
  double pixels = 17;
  QFontMetricsF fm(Font(pixels, true));
  while (pixels > 10 && fm.horizontalAdvance(name) > area.width() - 6) {
    pixels -= 0.5;
    fm = QFontMetricsF(Font(pixels, true));
  }
  p.setFont(Font(pixels, true));
  p.setPen(QColor(30, 45, 70));
  p.drawText(area, Qt::AlignCenter, name);
}

QImage DevicePicture(const std::function<void(QPainter&)>& draw, const QString& name) {
  QImage img(kDeviceSize, kDeviceSize, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient bg(0, 0, 0, kDeviceSize);
  bg.setColorAt(0, QColor(246, 249, 252));
  bg.setColorAt(1, QColor(222, 230, 240));
  p.setPen(QPen(QColor(190, 200, 215), 1.5));
  p.setBrush(bg);
  p.drawRoundedRect(QRectF(1.5, 1.5, kDeviceSize - 3, kDeviceSize - 3), 14, 14);
  draw(p);
  if (!name.isEmpty()) DeviceName(p, name);
  p.end();
  return img;
}

// ---------------------------------------------------------------- flags
// Each flag is drawn on a 3 x 2 field (w = 300, h = 200 units after scaling) and
// then reduced to 20 x 15 pixels.

using FlagDraw = std::function<void(QPainter&, double w, double h)>;

void Stripes(QPainter& p, double w, double h, std::initializer_list<QColor> colors, bool vertical,
             std::initializer_list<double> weights = {}) {
  std::vector<double> wts(weights);
  if (wts.empty()) {
    wts.assign(colors.size(), 1.0);
  }
  double total = 0;
  for (double v : wts) total += v;
  double at = 0;
  int k = 0;
  p.setPen(Qt::NoPen);
  for (const QColor& c : colors) {
    const double size = (vertical ? w : h) * wts[k++] / total;
    p.setBrush(c);
    p.drawRect(vertical ? QRectF(at, 0, size + 0.5, h) : QRectF(0, at, w, size + 0.5));
    at += size;
  }
}

QPolygonF Star(QPointF c, double outer, double inner, double rotationDeg = -90) {
  QPolygonF star;
  for (int k = 0; k < 10; ++k) {
    const double r = (k % 2 == 0) ? outer : inner;
    const double a = qDegreesToRadians(rotationDeg + k * 36.0);
    star << c + QPointF(std::cos(a) * r, std::sin(a) * r);
  }
  return star;
}

void UnitedKingdom(QPainter& p, double w, double h) {
  p.fillRect(QRectF(0, 0, w, h), QColor(1, 33, 105));
  p.setPen(QPen(Qt::white, h * 0.2));
  p.drawLine(QPointF(0, 0), QPointF(w, h));
  p.drawLine(QPointF(w, 0), QPointF(0, h));
  p.setPen(QPen(QColor(200, 16, 46), h * 0.07));
  p.drawLine(QPointF(0, 0), QPointF(w, h));
  p.drawLine(QPointF(w, 0), QPointF(0, h));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(w / 2 - h * 0.167, 0, h * 0.333, h));
  p.drawRect(QRectF(0, h / 2 - h * 0.167, w, h * 0.333));
  p.setBrush(QColor(200, 16, 46));
  p.drawRect(QRectF(w / 2 - h * 0.1, 0, h * 0.2, h));
  p.drawRect(QRectF(0, h / 2 - h * 0.1, w, h * 0.2));
}

void Spain(QPainter& p, double w, double h) {
  Stripes(p, w, h, {QColor(170, 21, 27), QColor(241, 191, 0), QColor(170, 21, 27)}, false, {1, 2, 1});
  // the coat of arms, simplified to a shield left of centre
  p.setPen(QPen(QColor(120, 20, 20), h * 0.02));
  p.setBrush(QColor(180, 40, 40));
  p.drawRoundedRect(QRectF(w * 0.25, h * 0.33, w * 0.13, h * 0.34), 6, 6);
  p.setBrush(QColor(220, 170, 40));
  p.drawRect(QRectF(w * 0.25, h * 0.30, w * 0.13, h * 0.06));
}

void Egypt(QPainter& p, double w, double h) {
  Stripes(p, w, h, {QColor(206, 17, 38), Qt::white, Qt::black}, false);
  // the golden eagle, simplified
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(192, 147, 0));
  QPainterPath eagle;
  eagle.addEllipse(QPointF(w / 2, h * 0.5), h * 0.07, h * 0.12);
  eagle.addEllipse(QPointF(w / 2, h * 0.39), h * 0.045, h * 0.045);
  QPolygonF wings({QPointF(w / 2 - h * 0.2, h * 0.40), QPointF(w / 2, h * 0.47), QPointF(w / 2 + h * 0.2, h * 0.40),
                   QPointF(w / 2 + h * 0.13, h * 0.6), QPointF(w / 2 - h * 0.13, h * 0.6)});
  eagle.addPolygon(wings);
  eagle.setFillRule(Qt::WindingFill);
  p.drawPath(eagle);
}

void Portugal(QPainter& p, double w, double h) {
  Stripes(p, w, h, {QColor(0, 102, 0), QColor(255, 0, 0)}, true, {2, 3});
  const QPointF c(w * 0.4, h / 2);
  p.setPen(QPen(QColor(255, 225, 0), h * 0.05));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(c, h * 0.25, h * 0.25);
  p.setPen(QPen(QColor(255, 225, 0), h * 0.025));
  p.drawLine(c - QPointF(h * 0.25, 0), c + QPointF(h * 0.25, 0));
  p.setPen(QPen(Qt::white, h * 0.02));
  p.setBrush(QColor(220, 0, 0));
  p.drawRoundedRect(QRectF(c.x() - h * 0.11, c.y() - h * 0.13, h * 0.22, h * 0.26), 4, 4);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(c.x() - h * 0.065, c.y() - h * 0.085, h * 0.13, h * 0.17));
  p.setBrush(QColor(0, 56, 168));
  p.drawRect(QRectF(c.x() - h * 0.025, c.y() - h * 0.05, h * 0.05, h * 0.1));
}

void Czechia(QPainter& p, double w, double h) {
  Stripes(p, w, h, {Qt::white, QColor(215, 20, 26)}, false);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(17, 69, 126));
  p.drawPolygon(QPolygonF({QPointF(0, 0), QPointF(w / 2, h / 2), QPointF(0, h)}));
}

void Croatia(QPainter& p, double w, double h) {
  Stripes(p, w, h, {QColor(255, 0, 0), Qt::white, QColor(23, 23, 150)}, false);
  const double cell = h * 0.07;
  const QPointF topLeft(w / 2 - 2.5 * cell, h * 0.30);
  p.setPen(Qt::NoPen);
  for (int row = 0; row < 5; ++row) {
    for (int col = 0; col < 5; ++col) {
      p.setBrush(((row + col) % 2 == 0) ? QColor(255, 0, 0) : Qt::white);
      p.drawRect(QRectF(topLeft.x() + col * cell, topLeft.y() + row * cell, cell + 0.3, cell + 0.3));
    }
  }
  // the shield's rounded base
  QPainterPath base;
  base.moveTo(topLeft + QPointF(0, 5 * cell));
  base.quadTo(topLeft + QPointF(0, 6.8 * cell), topLeft + QPointF(2.5 * cell, 7.2 * cell));
  base.quadTo(topLeft + QPointF(5 * cell, 6.8 * cell), topLeft + QPointF(5 * cell, 5 * cell));
  base.closeSubpath();
  p.setBrush(QColor(255, 0, 0));
  p.drawPath(base);
  p.setBrush(QColor(23, 23, 150));
  p.drawRect(QRectF(topLeft.x(), topLeft.y() - cell * 0.9, 5 * cell, cell * 0.9));
  p.setPen(QPen(QColor(255, 0, 0), h * 0.012));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(topLeft.x(), topLeft.y() - cell * 0.9, 5 * cell, 5.9 * cell));
}

void Kazakhstan(QPainter& p, double w, double h) {
  p.fillRect(QRectF(0, 0, w, h), QColor(0, 175, 202));
  const QColor gold(254, 197, 14);
  p.setPen(Qt::NoPen);
  p.setBrush(gold);
  // national ornament along the hoist, simplified to a chain of diamonds
  for (int k = 0; k < 6; ++k) {
    const double y = h * (0.08 + k * 0.168);
    p.drawPolygon(QPolygonF({QPointF(w * 0.07, y), QPointF(w * 0.11, y + h * 0.07), QPointF(w * 0.07, y + h * 0.14),
                             QPointF(w * 0.03, y + h * 0.07)}));
  }
  // sun with rays
  const QPointF c(w * 0.5, h * 0.40);
  for (int k = 0; k < 32; ++k) {
    const double a = qDegreesToRadians(k * 360.0 / 32);
    const double a1 = a - 0.06;
    const double a2 = a + 0.06;
    p.drawPolygon(QPolygonF({c + QPointF(std::cos(a1), std::sin(a1)) * h * 0.17,
                             c + QPointF(std::cos(a), std::sin(a)) * h * 0.27,
                             c + QPointF(std::cos(a2), std::sin(a2)) * h * 0.17}));
  }
  p.drawEllipse(c, h * 0.16, h * 0.16);
  // steppe eagle under the sun
  QPainterPath eagle;
  eagle.moveTo(w * 0.30, h * 0.66);
  eagle.quadTo(w * 0.40, h * 0.60, w * 0.5, h * 0.70);
  eagle.quadTo(w * 0.60, h * 0.60, w * 0.70, h * 0.66);
  eagle.quadTo(w * 0.60, h * 0.74, w * 0.5, h * 0.78);
  eagle.quadTo(w * 0.40, h * 0.74, w * 0.30, h * 0.66);
  p.drawPath(eagle);
}

void Sweden(QPainter& p, double w, double h) {
  p.fillRect(QRectF(0, 0, w, h), QColor(0, 106, 167));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(254, 204, 0));
  p.drawRect(QRectF(w * 0.3125, 0, h * 0.2, h));
  p.drawRect(QRectF(0, h * 0.4, w, h * 0.2));
}

void Greece(QPainter& p, double w, double h) {
  const QColor blue(13, 94, 175);
  Stripes(p, w, h, {blue, Qt::white, blue, Qt::white, blue, Qt::white, blue, Qt::white, blue}, false);
  const double s = h / 9;
  p.setPen(Qt::NoPen);
  p.setBrush(blue);
  p.drawRect(QRectF(0, 0, 5 * s, 5 * s));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(2 * s, 0, s, 5 * s));
  p.drawRect(QRectF(0, 2 * s, 5 * s, s));
}

void Turkey(QPainter& p, double w, double h) {
  p.fillRect(QRectF(0, 0, w, h), QColor(227, 10, 23));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(w * 0.36, h / 2), h * 0.25, h * 0.25);
  p.setBrush(QColor(227, 10, 23));
  p.drawEllipse(QPointF(w * 0.40, h / 2), h * 0.2, h * 0.2);
  p.setBrush(Qt::white);
  p.drawPolygon(Star(QPointF(w * 0.56, h / 2), h * 0.125, h * 0.05, 180));
}

void Vietnam(QPainter& p, double w, double h) {
  p.fillRect(QRectF(0, 0, w, h), QColor(218, 37, 29));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 0));
  p.drawPolygon(Star(QPointF(w / 2, h * 0.52), h * 0.32, h * 0.125));
}

void Korea(QPainter& p, double w, double h) {
  p.fillRect(QRectF(0, 0, w, h), Qt::white);
  const QPointF c(w / 2, h / 2);
  const double r = h * 0.25;
  p.save();
  p.translate(c);
  p.rotate(33.7);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(205, 46, 58));
  p.drawPie(QRectF(-r, -r, 2 * r, 2 * r), 0, 180 * 16);
  p.setBrush(QColor(0, 71, 160));
  p.drawPie(QRectF(-r, -r, 2 * r, 2 * r), 180 * 16, 180 * 16);
  p.setBrush(QColor(205, 46, 58));
  p.drawEllipse(QPointF(r / 2, 0), r / 2, r / 2);
  p.setBrush(QColor(0, 71, 160));
  p.drawEllipse(QPointF(-r / 2, 0), r / 2, r / 2);
  p.restore();
  // the four trigrams; broken bars as in the flag
  const bool bars[4][3] = {{false, false, false}, {true, false, true}, {false, true, false}, {true, true, true}};
  const double angles[4] = {-146.3, -33.7, 146.3, 33.7};
  for (int t = 0; t < 4; ++t) {
    p.save();
    p.translate(c);
    p.rotate(angles[t] + 90);
    p.setBrush(Qt::black);
    for (int b = 0; b < 3; ++b) {
      const double y = -r * 1.55 - b * r * 0.3;
      if (bars[t][b]) {
        p.drawRect(QRectF(-r * 0.5, y, r * 0.45, r * 0.2));
        p.drawRect(QRectF(r * 0.05, y, r * 0.45, r * 0.2));
      } else {
        p.drawRect(QRectF(-r * 0.5, y, r, r * 0.2));
      }
    }
    p.restore();
  }
}

QImage Flag(const FlagDraw& draw) {
  const double w = kFlagSize * kOversample;
  const double h = kFlagHeight * kOversample;
  QImage big(static_cast<int>(w), static_cast<int>(h), QImage::Format_ARGB32_Premultiplied);
  big.fill(Qt::white);
  {
    QPainter p(&big);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p, w, h);
  }
  const QImage small = big.scaled(kFlagSize, kFlagHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                           .convertToFormat(QImage::Format_ARGB32);
  QImage out(kFlagSize, kFlagSize, QImage::Format_ARGB32);
  out.fill(Qt::transparent);
  for (int y = 0; y < kFlagHeight; ++y) {
    for (int x = 0; x < kFlagSize; ++x) {
      QRgb px = small.pixel(x, y) | 0xFF000000u;
      // a thin frame so that white flags stand out from a white list
      if (x == 0 || y == 0 || x == kFlagSize - 1 || y == kFlagHeight - 1) {
        const QColor c(px);
        px = QColor((c.red() * 3 + 70) / 4, (c.green() * 3 + 70) / 4, (c.blue() * 3 + 70) / 4).rgb();
      }
      // grey 808080 is the list's transparent colour: never use it inside a flag
      if ((px & 0xFFFFFFu) == 0x808080u) {
        px = qRgb(0x81, 0x81, 0x81);
      }
      out.setPixel(x, kFlagTop + y, px);
    }
  }
  return out;
}

std::vector<FlagDraw> Flags() {
  auto h3 = [](QColor a, QColor b, QColor c) {
    return [=](QPainter& p, double w, double h) { Stripes(p, w, h, {a, b, c}, false); };
  };
  auto v3 = [](QColor a, QColor b, QColor c) {
    return [=](QPainter& p, double w, double h) { Stripes(p, w, h, {a, b, c}, true); };
  };
  auto h2 = [](QColor a, QColor b) {
    return [=](QPainter& p, double w, double h) { Stripes(p, w, h, {a, b}, false); };
  };
  return {
      h3(Qt::black, QColor(221, 0, 0), QColor(255, 206, 0)),                  // 0 German
      UnitedKingdom,                                                          // 1 English
      Spain,                                                                  // 2 Spanish
      h3(Qt::white, QColor(0, 57, 166), QColor(213, 43, 30)),                 // 3 Russian
      h2(Qt::white, QColor(220, 20, 60)),                                     // 4 Polish
      Egypt,                                                                  // 5 Arabic
      v3(QColor(0, 35, 149), Qt::white, QColor(237, 41, 57)),                 // 6 French
      Portugal,                                                               // 7 Portuguese
      h3(QColor(174, 28, 40), Qt::white, QColor(33, 70, 139)),                // 8 Dutch
      v3(QColor(0, 43, 127), QColor(252, 209, 22), QColor(206, 17, 38)),      // 9 Romanian
      h3(Qt::white, QColor(0, 150, 110), QColor(214, 38, 18)),                // 10 Bulgarian
      Czechia,                                                                // 11 Czech
      Croatia,                                                                // 12 Croatian
      h2(QColor(0, 87, 183), QColor(255, 215, 0)),                            // 13 Ukrainian
      h3(QColor(206, 41, 57), Qt::white, QColor(71, 112, 80)),                // 14 Hungarian
      h3(QColor(253, 185, 19), QColor(0, 106, 68), QColor(193, 39, 45)),      // 15 Lithuanian
      [](QPainter& p, double w, double h) {                                   // 16 Latvian
        Stripes(p, w, h, {QColor(158, 48, 57), Qt::white, QColor(158, 48, 57)}, false, {2, 1, 2});
      },
      Kazakhstan,                                                             // 17 Kazakh
      v3(QColor(0, 146, 70), Qt::white, QColor(206, 43, 55)),                 // 18 Italian
      Sweden,                                                                 // 19 Swedish
      Greece,                                                                 // 20 Greek
      Turkey,                                                                 // 21 Turkish
      Vietnam,                                                                // 22 Vietnamese
      Korea,                                                                  // 23 Korean
  };
}

// ---------------------------------------------------------------- logo, warning

QImage Logo() {
  QImage img = NewImage(150, 40);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  // emblem: a round badge with a wave
  QLinearGradient g(0, 2, 0, 38);
  g.setColorAt(0, QColor(40, 110, 190));
  g.setColorAt(1, QColor(20, 60, 120));
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawEllipse(QRectF(2, 2, 36, 36));
  QPainterPath wave;
  for (int x = 0; x <= 26; ++x) {
    const QPointF pt(7 + x, 20 - 8 * std::sin(x * 2 * M_PI / 26.0));
    if (x == 0) {
      wave.moveTo(pt);
    } else {
      wave.lineTo(pt);
    }
  }
  p.setPen(QPen(QColor(255, 180, 40), 3, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(wave);
  p.setFont(Font(24, true));
  p.setPen(QColor(25, 65, 125));
  p.drawText(QRectF(44, 0, 106, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Zelto5"));
  return img;
}

QImage Warning() {
  QImage img = NewImage(64, 64);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath triangle;
  triangle.moveTo(32, 5);
  triangle.lineTo(60, 57);
  triangle.lineTo(4, 57);
  triangle.closeSubpath();
  p.setPen(QPen(QColor(40, 30, 0), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QLinearGradient g(0, 5, 0, 57);
  g.setColorAt(0, QColor(255, 225, 70));
  g.setColorAt(1, QColor(245, 180, 0));
  p.setBrush(g);
  p.drawPath(triangle);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 25, 0));
  p.drawPolygon(QPolygonF({QPointF(28.5, 21), QPointF(35.5, 21), QPointF(33.8, 40), QPointF(30.2, 40)}));
  p.drawEllipse(QPointF(32, 47.5), 3.6, 3.6);
  return img;
}

bool Save(const QImage& img, const QDir& dir, const QString& name) {
  const QString path = dir.filePath(name);
  if (!img.save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.mkpath(QStringLiteral("."))) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  const std::vector<std::pair<std::function<void(QPainter&)>, QString>> devices = {
      {RadioMaster, QStringLiteral("Radio Master")},
      {RadioPort, QStringLiteral("Radio-Port")},
      {RelayPort, QStringLiteral("Relay-Port")},
      {DeskPort, QStringLiteral("Desk-Port")},
      {FieldPort, QStringLiteral("Field-Port")},
      {NoDevice, QString()},  // no caption: the status line says it in the user's language
      {SpeedOfLight, QStringLiteral("Speed of Light Meter")},
      {UniversalCounter, QStringLiteral("Universal Counter")},
      {Timer62, QStringLiteral("Timer 6-2")},
      {FunctionGenerator, QStringLiteral("Digital Function Generator")},
      {XRayUnit, QStringLiteral("XG 7.1")},
      {StarterPort, QStringLiteral("Starter-Port")},
  };
  bool ok = true;
  for (std::size_t n = 0; n < devices.size(); ++n) {
    ok &= Save(DevicePicture(devices[n].first, devices[n].second), dir, QStringLiteral("device%1.png").arg(n + 1));
  }
  const std::vector<FlagDraw> flags = Flags();
  for (std::size_t k = 0; k < flags.size(); ++k) {
    ok &= Save(Flag(flags[k]), dir, QStringLiteral("flag%1.png").arg(k));
  }
  ok &= Save(Logo(), dir, QStringLiteral("logo.png"));
  ok &= Save(Warning(), dir, QStringLiteral("warning.png"));
  return ok ? 0 : 1;
}
