#pragma once

#include <QSlider>
#include <QVector>

// The tempo slider with its own tick marks at chosen positions on both sides
// (QSlider spaces ticks evenly only). valueChanged is raised only on a real change.
class TTrackBar final : public QSlider
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TTrackBar)

public:
    TTrackBar(int minValue, int maxValue, int position, QWidget* parent);
    // Marks at these values; the two ends are always marked.
    void SetTickMarks(const QVector<int>& values);
    const QVector<int>& TickMarks() const { return FMarks; }
    // The x coordinate of the mark for a value: where the handle's centre stands at that value.
    int TickX(int value) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVector<int> FMarks;
};
