#include "StatusTexts.h"

#include <QCoreApplication>

namespace {

// Two characters with a leading zero below 10; from 100 hours on the hour field simply grows.
QString Field(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString StartBarText()
{
    return QCoreApplication::translate("StatusTexts", " Takt:  1");
}

QString BarCounterText(int bar)
{
    return QCoreApplication::translate("StatusTexts", "Takt:  ") + QString::number(bar);
}

QString RunTimeText(int seconds)
{
    if (seconds < 0) {
        seconds = 0;
    }
    return QCoreApplication::translate("StatusTexts", " Čas:  ") + Field(seconds / 3600) + QLatin1Char(':') + Field(seconds / 60 % 60) +
           QLatin1Char(':') + Field(seconds % 60);
}
