#include "SpinEdit.h"

#include <QLineEdit>
#include <QSignalBlocker>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// The integer the text spells: an optional sign and decimal digits that fit an int.
std::optional<int> ParseInteger(const QString& text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    long long magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t ch = text[i].unicode();
        if (ch < u'0' || ch > u'9') {
            return std::nullopt;
        }
        magnitude = magnitude * 10 + (ch - u'0');
        if (magnitude > static_cast<long long>(std::numeric_limits<int>::max()) + 1) {
            return std::nullopt;
        }
    }
    const long long value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

} // namespace

TSpinEdit::TSpinEdit(int minValue, int maxValue, int value, QWidget* parent)
    : QAbstractSpinBox(parent), FMin(minValue), FMax(std::max(minValue, maxValue))
{
    // The base class has no value type of its own and so never rewrites this text: the text is the state.
    FLastText = QString::number(std::clamp(value, FMin, FMax));
    lineEdit()->setText(FLastText);
    connect(lineEdit(), &QLineEdit::textChanged, this, &TSpinEdit::TextEdited);
}

int TSpinEdit::Value() const
{
    return ParseInteger(Text()).value_or(FMin);
}

void TSpinEdit::SetValue(int value)
{
    SetText(QString::number(std::clamp(value, FMin, FMax)));
}

QString TSpinEdit::Text() const
{
    return lineEdit()->text();
}

void TSpinEdit::SetText(const QString& text)
{
    if (text == Text()) {
        return;
    }
    lineEdit()->setText(text);
}

void TSpinEdit::stepBy(int steps)
{
    const long long next = static_cast<long long>(Value()) + steps;
    SetValue(static_cast<int>(std::clamp<long long>(next, FMin, FMax)));
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const
{
    StepEnabled enabled = StepNone;
    if (isReadOnly()) {
        return enabled;
    }
    const int value = Value();
    if (value < FMax) {
        enabled |= StepUpEnabled;
    }
    if (value > FMin) {
        enabled |= StepDownEnabled;
    }
    return enabled;
}

QValidator::State TSpinEdit::validate(QString& input, int&) const
{
    // Any text may be typed: out-of-bounds numbers on the way ("2", "20" on the way to "208") and
    // text that is no number, whose value is the lower bound.
    const std::optional<int> value = ParseInteger(input);
    if (value && *value >= FMin && *value <= FMax) {
        return QValidator::Acceptable;
    }
    return QValidator::Intermediate;
}

void TSpinEdit::fixup(QString&) const
{
    // Deliberately empty: what leaving the box does is in focusOutEvent.
}

void TSpinEdit::focusOutEvent(QFocusEvent* event)
{
    QAbstractSpinBox::focusOutEvent(event);
    // Leaving the box brings its text to the value that counts, so that box, slider and beat
    // agree: a number out of bounds is brought into them (a change like any other); text that
    // is no number already counts as the lower bound and is only shown as such.
    const std::optional<int> typed = ParseInteger(Text());
    if (typed && *typed >= FMin && *typed <= FMax) {
        return;
    }
    if (typed) {
        SetValue(*typed);
        return;
    }
    FLastText = QString::number(FMin);
    const QSignalBlocker quiet(lineEdit());
    lineEdit()->setText(FLastText);
}

void TSpinEdit::TextEdited(const QString& text)
{
    if (text == FLastText) {
        return;
    }
    FLastText = text;
    emit Change();
}
