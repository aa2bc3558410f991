#include "TaskDates.h"

#include <cmath>

namespace qlon {

namespace {
constexpr double kDayMs = 86400000.0;
}

QTime TimeOfDayOf(double dateTime) {
  const double fraction = dateTime - std::floor(dateTime);
  const auto ms = static_cast<int>(std::llround(fraction * kDayMs)) % int(kDayMs);
  return QTime(0, 0).addMSecs(ms);
}

double DayFraction(const QTime& time) { return QTime(0, 0).msecsTo(time) / kDayMs; }

QString SpanText(double days) {
  const long long s = days > 0 ? std::llround(days * 86400.0) : 0;
  return QString("%1:%2:%3")
      .arg(s / 3600, 2, 10, QLatin1Char('0'))
      .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(s % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace qlon
