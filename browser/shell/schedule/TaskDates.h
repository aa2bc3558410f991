#pragma once
// Times of day as the scheduler stores them (fractions of a day) and as the
// task dialogs edit them (QTime).
#include <QString>
#include <QTime>

namespace qlon {

// The time-of-day part of a date-time (days since 1899-12-30).
QTime TimeOfDayOf(double dateTime);
// A time of day as a fraction of a day.
double DayFraction(const QTime& time);
// A span of days as "hh:mm:ss" (hours past 24 keep counting); "00:00:00"
// for a negative span.
QString SpanText(double days);

}  // namespace qlon
