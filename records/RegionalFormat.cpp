#include "RegionalFormat.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>
#include <cmath>

#include "common/Errors.h"

namespace quorvel {

namespace {

// Date-time values of 0001-01-01 and 10000-01-01.
constexpr double kFirstDay = -693593.0;
constexpr double kPastLastDay = 2958466.0;

void Split(TDateTime value, QDate& date, QTime& time) {
  if (!(value >= kFirstDay && value < kPastLastDay)) throw EConvertError("Invalid date-time value");
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(value, y, mo, d, h, mi, s, ms);
  date = QDate(y, mo, d);
  time = QTime(h, mi, s, ms);
}

QLocale LocaleNamed(const std::string& name) {
  if (name == "C" || name == "POSIX") return QLocale::c();
  return QLocale(QString::fromStdString(name));
}

std::string DateTimeText(TDateTime value, const QLocale& locale) {
  QDate date;
  QTime time;
  Split(value, date, time);
  QString text = locale.toString(date, locale.dateFormat(QLocale::ShortFormat));
  if (time != QTime(0, 0)) {
    const std::string timeFormat =
        TimeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat).toStdString());
    text += QLatin1Char(' ') + locale.toString(time, QString::fromStdString(timeFormat));
  }
  return text.toStdString();
}

std::string ShortDateText(TDateTime value, const QLocale& locale) {
  QDate date;
  QTime time;
  Split(value, date, time);
  return locale.toString(date, locale.dateFormat(QLocale::ShortFormat)).toStdString();
}

}  // namespace

std::string TimeFormatWithoutZone(std::string_view qtTimeFormat) {
  const QString in =
      QString::fromUtf8(qtTimeFormat.data(), static_cast<qsizetype>(qtTimeFormat.size()));
  QString out;
  bool quoted = false;
  for (qsizetype i = 0; i < in.size(); ++i) {
    const QChar c = in[i];
    if (c == QLatin1Char('\'')) quoted = !quoted;
    if (!quoted && c == QLatin1Char('t')) continue;
    out += c;
  }
  // The zone field sat between blanks (or at an end): drop what is left over.
  out = out.trimmed();
  for (qsizetype i = out.size() - 1; i > 0; --i)
    if (out[i].isSpace() && out[i - 1].isSpace()) out.remove(i, 1);
  return out.toStdString();
}

std::string RegionalDateTimeText(TDateTime value) {
  return DateTimeText(value, QLocale::system());
}

std::string RegionalShortDateText(TDateTime value) {
  return ShortDateText(value, QLocale::system());
}

std::string RegionalDateTimeText(TDateTime value, const std::string& localeName) {
  return DateTimeText(value, LocaleNamed(localeName));
}

std::string RegionalShortDateText(TDateTime value, const std::string& localeName) {
  return ShortDateText(value, LocaleNamed(localeName));
}

}  // namespace quorvel
