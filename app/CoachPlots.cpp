#include "CoachPlots.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

// The scale of every offset picture: a hit further off is drawn at its edge.
constexpr double kRangeMs = 50.0;
const QColor kEarly(0x1f, 0x6f, 0xc0);
const QColor kLate(0xc0, 0x4a, 0x1f);
const QColor kGrid(0xc8, 0xc8, 0xc8);

QColor OffsetColour(double ms)
{
    return ms < 0 ? kEarly : kLate;
}

// A titled frame; returns the area inside it left for the picture.
QRectF Panel(QPainter& p, const QRectF& r, const QString& title)
{
    p.setPen(kGrid);
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    p.setPen(Qt::black);
    const QFontMetricsF fm(p.font());
    p.drawText(r.adjusted(4, 2, -4, 0), Qt::AlignLeft | Qt::AlignTop, title);
    return r.adjusted(28, fm.height() + 4, -6, -6);
}

// The vertical position of an offset in a picture of height r.
double OffsetY(const QRectF& r, double ms)
{
    const double clamped = std::clamp(ms, -kRangeMs, kRangeMs);
    return r.center().y() - clamped / kRangeMs * r.height() / 2;
}

void OffsetAxis(QPainter& p, const QRectF& r)
{
    p.setPen(kGrid);
    for (double ms : {-kRangeMs, -25.0, 0.0, 25.0, kRangeMs}) {
        const double y = OffsetY(r, ms);
        p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
    }
    p.setPen(Qt::darkGray);
    for (double ms : {-kRangeMs, 0.0, kRangeMs}) {
        p.drawText(QRectF(r.left() - 28, OffsetY(r, ms) - 8, 25, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(static_cast<int>(ms)));
    }
}

} // namespace

CoachPlots::CoachPlots(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(440, 300);
}

QSize CoachPlots::sizeHint() const
{
    return {520, 340};
}

void CoachPlots::SetSession(const std::vector<TimingCoach::Hit>& hits, const TimingCoach::Figures& figures,
                            int beatsPerBar)
{
    FHits = hits;
    FFigures = figures;
    FBeatsPerBar = std::clamp(beatsPerBar, 1, 8);
    update();
}

void CoachPlots::SetProgress(const std::vector<Day>& days)
{
    FDays = days;
    update();
}

void CoachPlots::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), Qt::white);
    const QRectF all = rect();
    const double half = all.width() / 2;
    const double top = all.height() / 2;
    PaintOverTime(p, QRectF(0, 0, half, top));
    PaintHistogram(p, QRectF(half, 0, all.width() - half, top));
    PaintPerBeat(p, QRectF(0, top, half, all.height() - top));
    PaintProgress(p, QRectF(half, top, all.width() - half, all.height() - top));
}

void CoachPlots::PaintOverTime(QPainter& p, const QRectF& r) const
{
    const QRectF in = Panel(p, r, tr("Odchylka zásahů (ms): brzy dole, pozdě nahoře"));
    OffsetAxis(p, in);
    const std::size_t n = FHits.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double x = in.left() + (n > 1 ? in.width() * static_cast<double>(i) / static_cast<double>(n - 1) : in.width() / 2);
        const double ms = FHits[i].FOffsetMs;
        p.setPen(Qt::NoPen);
        p.setBrush(OffsetColour(ms));
        p.drawEllipse(QPointF(x, OffsetY(in, ms)), 2.2, 2.2);
    }
}

void CoachPlots::PaintHistogram(QPainter& p, const QRectF& r) const
{
    const QRectF in = Panel(p, r, tr("Rozložení odchylek (po 5 ms)"));
    constexpr int kBins = 20;
    std::array<int, kBins> bins{};
    for (const TimingCoach::Hit& h : FHits) {
        const int bin = std::clamp(static_cast<int>(std::floor((h.FOffsetMs + kRangeMs) / 5.0)), 0, kBins - 1);
        ++bins[static_cast<std::size_t>(bin)];
    }
    const int most = std::max(1, *std::max_element(bins.begin(), bins.end()));
    const double w = in.width() / kBins;
    for (int b = 0; b < kBins; ++b) {
        const double h = in.height() * bins[static_cast<std::size_t>(b)] / most;
        p.fillRect(QRectF(in.left() + b * w + 1, in.bottom() - h, w - 2, h), OffsetColour(b * 5.0 - kRangeMs + 2.5));
    }
    p.setPen(Qt::darkGray);
    const double zero = in.left() + in.width() / 2;
    p.drawLine(QPointF(zero, in.top()), QPointF(zero, in.bottom()));
    p.drawText(QRectF(in.left(), in.bottom() - 14, 40, 14), Qt::AlignLeft, QStringLiteral("−50"));
    p.drawText(QRectF(in.right() - 40, in.bottom() - 14, 40, 14), Qt::AlignRight, QStringLiteral("+50"));
}

void CoachPlots::PaintPerBeat(QPainter& p, const QRectF& r) const
{
    const QRectF in = Panel(p, r, tr("Průměr podle doby v taktu (ms)"));
    OffsetAxis(p, in);
    const double w = in.width() / FBeatsPerBar;
    const double zero = OffsetY(in, 0);
    for (int b = 0; b < FBeatsPerBar; ++b) {
        const auto i = static_cast<std::size_t>(b);
        const double x = in.left() + b * w;
        if (FFigures.FBeatHits[i] > 0) {
            const double ms = FFigures.FBeatMeanMs[i];
            const double y = OffsetY(in, ms);
            p.fillRect(QRectF(x + w * 0.2, std::min(y, zero), w * 0.6, std::max(1.0, std::abs(y - zero))),
                       OffsetColour(ms));
        }
        p.setPen(Qt::black);
        p.drawText(QRectF(x, in.bottom() - 14, w, 14), Qt::AlignCenter, QString::number(b + 1));
    }
}

void CoachPlots::PaintProgress(QPainter& p, const QRectF& r) const
{
    const QRectF in = Panel(p, r, tr("Pokrok profilu: odchylka (RMS) a rozptyl (ms)"));
    if (FDays.empty()) {
        p.setPen(Qt::darkGray);
        p.drawText(in, Qt::AlignCenter | Qt::TextWordWrap, tr("Zatím žádná uložená cvičení tohoto profilu"));
        return;
    }
    double most = 10;
    for (const Day& d : FDays) {
        most = std::max({most, d.FMeanAbsMs, d.FSpreadMs});
    }
    const std::size_t n = FDays.size();
    const auto xAt = [&](std::size_t i) {
        return n > 1 ? in.left() + in.width() * static_cast<double>(i) / static_cast<double>(n - 1) : in.center().x();
    };
    const auto yAt = [&](double ms) { return in.bottom() - in.height() * ms / most; };
    for (int line = 0; line < 2; ++line) {
        QPainterPath path;
        for (std::size_t i = 0; i < n; ++i) {
            const QPointF pt(xAt(i), yAt(line == 0 ? FDays[i].FMeanAbsMs : FDays[i].FSpreadMs));
            if (i == 0) {
                path.moveTo(pt);
            } else {
                path.lineTo(pt);
            }
            p.setPen(Qt::NoPen);
            p.setBrush(line == 0 ? kLate : kEarly);
            p.drawEllipse(pt, 2.5, 2.5);
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(line == 0 ? kLate : kEarly, 1.5));
        p.drawPath(path);
    }
    p.setPen(Qt::darkGray);
    p.drawText(QRectF(in.left() - 28, in.top() - 2, 25, 14), Qt::AlignRight, QString::number(static_cast<int>(most)));
    p.drawText(QRectF(in.left(), in.bottom() - 14, in.width(), 14), Qt::AlignLeft,
               FDays.front().FDate.toString(QStringLiteral("d. M.")));
    p.drawText(QRectF(in.left(), in.bottom() - 14, in.width(), 14), Qt::AlignRight,
               QStringLiteral("%1 (%2 BPM)").arg(FDays.back().FDate.toString(QStringLiteral("d. M."))).arg(FDays.back().FTempo));
}
