#pragma once

#include <QAbstractSpinBox>

// A spin box with the semantics the tempo and rhythm handlers rely on: the value is the integer
// the text spells, or the lower bound when it spells none; setting the value writes the clamped
// decimal text; Change is raised on every change of the text and never for the text it already holds.
// Typed text may hold a value outside the bounds while the box has the focus; leaving it brings
// the text into the bounds.
class TSpinEdit final : public QAbstractSpinBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TSpinEdit)

public:
    TSpinEdit(int minValue, int maxValue, int value, QWidget* parent);
    int Value() const;
    void SetValue(int value);
    QString Text() const;
    void SetText(const QString& text);
    int MinValue() const { return FMin; }
    int MaxValue() const { return FMax; }
    void stepBy(int steps) override;

signals:
    void Change();

protected:
    StepEnabled stepEnabled() const override;
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int FMin;
    int FMax;
    QString FLastText;
    void TextEdited(const QString& text);
};
