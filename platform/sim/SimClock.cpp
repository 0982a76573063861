#include "platform/sim/SimClock.h"

#include <sys/stat.h>

#include <unicode/ucal.h>
#include <unicode/udat.h>
#include <unicode/udatpg.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>

namespace tl::sim {

namespace {

std::u16string utf16(const std::string& text) {
  std::u16string out(text.size() + 1, u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &length, text.data(),
                       static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) return {};
  out.resize(static_cast<size_t>(length));
  return out;
}

std::string utf8(const std::u16string& text) {
  std::string out(text.size() * 3 + 1, '\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, reinterpret_cast<const UChar*>(text.data()),
                     static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) return {};
  out.resize(static_cast<size_t>(length));
  return out;
}

// Opening an ICU calendar, formatter or pattern generator loads locale and
// zone data: some hundred microseconds, where the application makes a new
// formatter for every log record and each desktop its clock. The process
// keeps what it opened, a few dozen at most (a desktop uses one or two
// patterns in one or two zones); `use` runs under the lock, as ICU's
// objects are not to be used by two threads at once. They live as long as
// the process: a thread still formatting at exit never meets a closed one.
template <class Handle, void (*close)(Handle*), class Key>
class Opened {
 public:
  template <class Open, class Use>
  auto use(const Key& key, Open&& open, Use&& use) {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(key);
    if (it == handles_.end()) {
      if (handles_.size() >= 32) handles_.clear();
      ++opened_;
      UErrorCode status = U_ZERO_ERROR;
      std::unique_ptr<Handle, Close> handle(open(status));
      if (U_FAILURE(status)) handle.reset();
      it = handles_.emplace(key, std::move(handle)).first;
    }
    return use(it->second.get());
  }
  int opened() {
    std::lock_guard lock(mutex_);
    return opened_;
  }

 private:
  struct Close {
    void operator()(Handle* handle) const { close(handle); }
  };
  std::mutex mutex_;
  std::map<Key, std::unique_ptr<Handle, Close>> handles_;
  int opened_ = 0;
};

auto& calendars() {
  static auto& opened = *new Opened<UCalendar, ucal_close, std::u16string>;
  return opened;
}
auto& generators() {
  static auto& opened = *new Opened<UDateTimePatternGenerator, udatpg_close, std::string>;
  return opened;
}
auto& formats() {
  static auto& opened = *new Opened<UDateFormat, udat_close, std::tuple<std::u16string, std::string, std::u16string>>;
  return opened;
}

// The Olson name of the process's zone: TZ, else what /etc/localtime
// points at, else /etc/timezone; empty when there is none to be had.
std::string zoneName() {
  if (const char* tz = std::getenv("TZ"); tz && *tz) return tz[0] == ':' ? tz + 1 : tz;
  std::error_code ec;
  std::string target = std::filesystem::read_symlink("/etc/localtime", ec).string();
  if (size_t at = target.find("zoneinfo/"); !ec && at != std::string::npos) return target.substr(at + 9);
  std::string name;
  std::ifstream("/etc/timezone") >> name;
  return name;
}

// The process's zone, looked at again only when what it comes from
// changed: TZ's text when set, else the file /etc/localtime (one stat, its
// identity and date: a link moved to another zone names another file, and
// a zone updated in place has a new date). A date formatted for every log
// record then costs no reading of links or files, and the C library's own
// tables are reloaded (tzset) only on such a change.
struct ZoneSource {
  std::string tz;
  bool tzSet = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t modified = 0;  // nanoseconds
  bool operator==(const ZoneSource&) const = default;
};

ZoneSource zoneSource() {
  ZoneSource source;
  if (const char* tz = std::getenv("TZ")) {
    source.tzSet = true;
    source.tz = tz;
    return source;
  }
  struct stat st {};
  if (::stat("/etc/localtime", &st) == 0) {
    source.device = st.st_dev;
    source.inode = st.st_ino;
    source.size = st.st_size;
    source.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  }
  return source;
}

struct LocalZone {
  std::u16string name;  // Olson name, UTF-16
  bool known = false;   // by ICU
};

LocalZone localZone() {
  static std::mutex mutex;
  static std::optional<std::pair<ZoneSource, LocalZone>> last;
  ZoneSource source = zoneSource();
  std::lock_guard lock(mutex);
  if (last && last->first == source) return last->second;
  ::tzset();
  LocalZone zone{utf16(zoneName()), false};
  UErrorCode status = U_ZERO_ERROR;
  UChar canonical[128];
  UBool known = false;
  ucal_getCanonicalTimeZoneID(reinterpret_cast<const UChar*>(zone.name.data()), static_cast<int32_t>(zone.name.size()),
                              canonical, 128, &known, &status);
  zone.known = U_SUCCESS(status) && known;
  last.emplace(std::move(source), zone);
  return zone;
}

// Whether ICU gives the zone the offset the C library gives it at `millis`.
// Zones change their offsets on a quarter of an hour, so the answer is
// kept for the quarter: a record written each second asks ICU once.
bool agreesAt(const std::u16string& name, double millis, long offset) {
  struct Answer {
    std::u16string name;
    long offset = 0;
    double quarter = 0;
    bool agrees = false;
  };
  static std::mutex mutex;
  static Answer last{u"", 0, -1, false};
  double quarter = std::floor(millis / 900000);
  {
    std::lock_guard lock(mutex);
    if (last.quarter == quarter && last.offset == offset && last.name == name) return last.agrees;
  }
  UErrorCode status = U_ZERO_ERROR;
  bool agrees = calendars().use(
      name,
      [&](UErrorCode& error) {
        return ucal_open(reinterpret_cast<const UChar*>(name.data()), static_cast<int32_t>(name.size()),
                         "en_US_POSIX", UCAL_GREGORIAN, &error);
      },
      [&](UCalendar* cal) {
        if (!cal) return false;
        ucal_setMillis(cal, millis, &status);
        int32_t icuOffset = U_SUCCESS(status) ? ucal_get(cal, UCAL_ZONE_OFFSET, &status) +
                                                    ucal_get(cal, UCAL_DST_OFFSET, &status)
                                              : 0;
        return U_SUCCESS(status) && icuOffset == offset * 1000;
      });
  std::lock_guard lock(mutex);
  last = {name, offset, quarter, agrees};
  return agrees;
}

// The zone ICU formats in at `millis`: the process's own when ICU knows it
// and agrees with the C library there; otherwise (a POSIX rule such as
// "EST5EDT,M3.2.0,M11.1.0", which only the C library reads) the offset the
// C library gives at that moment.
std::u16string zoneAt(double millis) {
  LocalZone zone = localZone();
  auto t = static_cast<time_t>(std::floor(millis / 1000));
  std::tm tm{};
  long offset = ::localtime_r(&t, &tm) ? tm.tm_gmtoff : 0;
  if (zone.known && agreesAt(zone.name, millis, offset)) return zone.name;
  char custom[32];
  long a = std::labs(offset);
  std::snprintf(custom, sizeof custom, "GMT%c%02ld:%02ld", offset < 0 ? '-' : '+', a / 3600, a / 60 % 60);
  return utf16(custom);
}

std::string bestPattern(const std::string& locale, const char* skeleton) {
  UErrorCode status = U_ZERO_ERROR;
  std::u16string pattern(128, u'\0');
  std::u16string sk = utf16(skeleton);
  int32_t length = generators().use(
      locale, [&](UErrorCode& error) { return udatpg_open(locale.c_str(), &error); },
      [&](UDateTimePatternGenerator* generator) {
        return generator ? udatpg_getBestPattern(generator, reinterpret_cast<const UChar*>(sk.data()),
                                                 static_cast<int32_t>(sk.size()),
                                                 reinterpret_cast<UChar*>(pattern.data()), 128, &status)
                         : 0;
      });
  if (U_FAILURE(status) || length <= 0 || length > 128) return {};
  pattern.resize(static_cast<size_t>(length));
  return utf8(pattern);
}

class SimDateFormatter : public DateFormatter {
 public:
  explicit SimDateFormatter(std::string locale) : locale_(std::move(locale)) {}
  void setDateFormat(const std::string& format) override { format_ = format; }
  std::string stringFromDate(double secondsSince1970) const override {
    return formatDate(format_, secondsSince1970, locale_);
  }

 private:
  std::string locale_, format_;
};

}  // namespace

std::string formatDate(const std::string& pattern, double secondsSince1970, const std::string& locale) {
  // About 31 million years either way: inside what ICU's calendars take.
  if (!std::isfinite(secondsSince1970) || std::fabs(secondsSince1970) > 1e15) return "";
  // A fraction of a second is never rounded up into the next one.
  double millis = std::floor(secondsSince1970 * 1000);
  std::u16string zone = zoneAt(millis);
  // A pattern without fractions of a second (the log's) gives the same text
  // all through a second: records written in the same second as the last
  // one take its text rather than asking ICU again. The key holds all the
  // text depends on; zones change their offsets only on whole seconds.
  struct Last {
    std::string pattern, locale;
    std::u16string zone;
    double second = 0;
    std::string text;
    bool valid = false;
  };
  thread_local Last last;
  double second = std::floor(millis / 1000);
  bool wholeSeconds = pattern.find_first_of("SA") == std::string::npos;
  if (wholeSeconds && last.valid && last.second == second && last.pattern == pattern && last.locale == locale &&
      last.zone == zone)
    return last.text;
  std::u16string text = utf16(pattern);
  UErrorCode status = U_ZERO_ERROR;
  std::u16string out(64, u'\0');
  int32_t length = formats().use(
      {text, locale, zone},
      [&](UErrorCode& error) {
        return udat_open(UDAT_PATTERN, UDAT_PATTERN, locale.c_str(), reinterpret_cast<const UChar*>(zone.data()),
                         static_cast<int32_t>(zone.size()), reinterpret_cast<const UChar*>(text.data()),
                         static_cast<int32_t>(text.size()), &error);
      },
      [&](UDateFormat* format) {
        if (!format) return -1;
        int32_t n = udat_format(format, millis, reinterpret_cast<UChar*>(out.data()),
                                static_cast<int32_t>(out.size()), nullptr, &status);
        if (status == U_BUFFER_OVERFLOW_ERROR && n > 0 && n < 1 << 20) {
          status = U_ZERO_ERROR;
          out.assign(static_cast<size_t>(n), u'\0');
          n = udat_format(format, millis, reinterpret_cast<UChar*>(out.data()), n, nullptr, &status);
        }
        return n;
      });
  if (U_FAILURE(status) || length < 0) return "";
  out.resize(std::min(out.size(), static_cast<size_t>(length)));
  std::string result = utf8(out);
  if (wholeSeconds) last = {pattern, locale, zone, second, result, true};
  return result;
}

IcuOpened icuOpened() { return {calendars().opened(), generators().opened(), formats().opened()}; }

std::string localeFromDefaults(const std::optional<std::string>& appleLocale) {
  // A locale name is letters, digits and _-@=; — anything else stored
  // there is not one, and a Mac ignores it.
  if (appleLocale && !appleLocale->empty() && appleLocale->size() <= 100 &&
      std::all_of(appleLocale->begin(), appleLocale->end(), [](unsigned char c) {
        return std::isalnum(c) || c == '_' || c == '-' || c == '@' || c == '=' || c == ';';
      }))
    return *appleLocale;
  return "zh_CN";
}

std::string clockText(double secondsSince1970, const std::string& locale) {
  // Date, weekday and time as the bar shows them: where the locale puts
  // the weekday first (English), it goes first here too.
  std::string weekdayFirst = bestPattern(locale, "MMMdEEE");
  std::string date = bestPattern(locale, "MMMd"), time = bestPattern(locale, "jmm");
  if (date.empty() || time.empty()) return formatDate("M/d HH:mm", secondsSince1970, locale);
  std::string pattern = weekdayFirst.rfind("EEE", 0) == 0 ? "EEE " + date + " " + time : date + " EEE " + time;
  return formatDate(pattern, secondsSince1970, locale);
}

std::optional<double> parseLocalDate(const std::string& text) {
  // YYYY-MM-DD HH:MM[:SS], a space or a T between date and time.
  auto digits = [&](size_t at, size_t n, int& out) {
    if (at + n > text.size()) return false;
    out = 0;
    for (size_t i = at; i < at + n; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
      out = out * 10 + (text[i] - '0');
    }
    return true;
  };
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool shape = (text.size() == 16 || text.size() == 19) && digits(0, 4, year) && text[4] == '-' &&
               digits(5, 2, month) && text[7] == '-' && digits(8, 2, day) && (text[10] == ' ' || text[10] == 'T') &&
               digits(11, 2, hour) && text[13] == ':' && digits(14, 2, minute) &&
               (text.size() == 16 || (text[16] == ':' && digits(17, 2, second)));
  if (!shape) return std::nullopt;
  if (year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 59)
    return std::nullopt;
  ::tzset();
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  time_t t = ::mktime(&tm);
  // mktime moves February 30th to March and a skipped hour on by one: such
  // a date does not exist here.
  if (t == static_cast<time_t>(-1) || tm.tm_year != year - 1900 || tm.tm_mon != month - 1 || tm.tm_mday != day ||
      tm.tm_hour != hour || tm.tm_min != minute)
    return std::nullopt;
  return static_cast<double>(t);
}

double SimClock::now() const {
  if (elapsed_) return start_ + elapsed_();
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

bool SimClock::setNow(double date) {
  if (!elapsed_ || !std::isfinite(date)) return false;
  start_ = date - elapsed_();
  return true;
}


std::string SimClock::locale() const { return locale_ ? locale_() : localeFromDefaults(std::nullopt); }

std::unique_ptr<DateFormatter> SimClock::newDateFormatter() { return std::make_unique<SimDateFormatter>(locale()); }

}  // namespace tl::sim
