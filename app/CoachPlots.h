#pragma once

#include "TimingCoach.h"

#include <QDate>
#include <QWidget>

#include <vector>

// The coach window's pictures, painted for a glance: the offset of every hit over the session,
// their histogram, the mean per beat of the bar, and the profile's progress over the days.
class CoachPlots final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CoachPlots)

public:
    struct Day
    {
        QDate FDate;
        double FMeanAbsMs = 0;
        double FSpreadMs = 0;
        int FTempo = 0;
    };

    explicit CoachPlots(QWidget* parent = nullptr);
    void SetSession(const std::vector<TimingCoach::Hit>& hits, const TimingCoach::Figures& figures, int beatsPerBar);
    void SetProgress(const std::vector<Day>& days);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintOverTime(QPainter& p, const QRectF& r) const;
    void PaintHistogram(QPainter& p, const QRectF& r) const;
    void PaintPerBeat(QPainter& p, const QRectF& r) const;
    void PaintProgress(QPainter& p, const QRectF& r) const;

    std::vector<TimingCoach::Hit> FHits;
    TimingCoach::Figures FFigures;
    int FBeatsPerBar = 4;
    std::vector<Day> FDays;
};
