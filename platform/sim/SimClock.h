#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/System.h"

namespace tl::sim {

// NSDateFormatter's work, done as Foundation does it, by ICU: `pattern` in
// ICU's date pattern language, for the locale given (with its calendar and
// digits: "th_TH" counts Buddhist years, "ar_EG" writes Arabic-Indic
// digits, "zh_CN@calendar=chinese" the Chinese calendar, exactly as a Mac
// set to them would), in the process's local time zone (TZ, else
// /etc/localtime). A date that is not finite, or lies millions of years
// away, formats as the empty text.
std::string formatDate(const std::string& pattern, double secondsSince1970, const std::string& locale);

// How many ICU objects this process has opened for dates: each calendar
// (one per zone), pattern generator (one per locale) and date format (one
// per pattern, locale and zone) once, however many dates it formats.
struct IcuOpened {
  int calendars = 0, generators = 0, formats = 0;
};
IcuOpened icuOpened();

// The locale a process of the simulated Mac has: the "AppleLocale" of its
// defaults when that is a locale name, else zh_CN, the Mac whose menus
// are in simplified Chinese.
std::string localeFromDefaults(const std::optional<std::string>& appleLocale);

// The menu bar's clock as the Mac shows it in that locale: date, weekday
// and time, "12月6日 周日 12:00" in zh_CN, "Sun Dec 6 12:00 PM" in en_US.
std::string clockText(double secondsSince1970, const std::string& locale);

// A local date and time as people type it, "2026-12-06 12:00:00" (seconds
// optional), in the process's time zone: seconds since 1970, or nothing for
// text that is not such a date, a date the calendar does not have (February
// 30th, an hour skipped by summer time) or a year outside 1970–9999.
std::optional<double> parseLocalDate(const std::string& text);

// Wall-clock time of the simulated desktop. In virtual time it is a start
// date plus the run loop's elapsed time, so tests see fixed dates; for
// people (real time) it is the machine's own clock, as every process on a
// Mac shares one. Its date formatters take the locale from `locale`, read
// when each formatter is made (NSDateFormatter takes the current locale).
class SimClock : public Clock {
 public:
  using LocaleSource = std::function<std::string()>;
  SimClock(std::function<double()> elapsedSeconds, double startEpoch, LocaleSource locale = nullptr)
      : elapsed_(std::move(elapsedSeconds)), locale_(std::move(locale)), start_(startEpoch) {}
  explicit SimClock(LocaleSource locale = nullptr) : locale_(std::move(locale)) {}  // the machine's wall clock
  double now() const override;
  // Virtual time only: from now on the clock reads `date` onwards, as when
  // the date is changed in System Settings. False on the wall clock.
  bool setNow(double date);
  bool isWallClock() const { return !elapsed_; }
  std::string locale() const;
  std::unique_ptr<DateFormatter> newDateFormatter() override;

 private:
  std::function<double()> elapsed_;
  LocaleSource locale_;
  std::atomic<double> start_{0};
};

}  // namespace tl::sim
