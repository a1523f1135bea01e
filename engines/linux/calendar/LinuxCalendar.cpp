#include "LinuxCalendar.hpp"

#include <libical/ical.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>

#include "Text.hpp"

namespace halcy {

namespace {

namespace fs = std::filesystem;

// Larger files are not calendars anyone keeps by hand; reading them whole would cost the engine.
constexpr std::uintmax_t maxFileBytes = 64ull * 1024 * 1024;
// An occurrence that starts this long before the window may still reach into it.
constexpr double floatingMargin = 2 * 86400.0;
// Enough for a rule that repeats every minute through the longest window; a rule that repeats
// every second stops there rather than holding the request.
constexpr int maxRuleSteps = 200000;

// libical keeps global tables (built-in zones, its error state): one reader at a time.
std::mutex& libicalMutex() {
  static std::mutex mutex;
  return mutex;
}

void quietLibical() {
  static std::once_flag once;
  // A malformed file must not abort the engine.
  std::call_once(once, [] { icalerror_set_errors_are_fatal(0); });
}

struct ComponentFree {
  void operator()(icalcomponent* component) const { icalcomponent_free(component); }
};
struct IteratorFree {
  void operator()(icalrecur_iterator* iterator) const { icalrecur_iterator_free(iterator); }
};

std::optional<std::string> textOf(const char* text) {
  if (text == nullptr || *text == '\0') return std::nullopt;
  return asUtf8(text);
}

std::optional<std::string> readSmallFile(const fs::path& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  if (error || size > maxFileBytes) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return bytes.str();
}

bool readable(const fs::path& path) {
  return ::access(path.c_str(), R_OK) == 0;
}

// Wall-clock fields read in the computer's own time zone, for floating times and whole days.
double localEpoch(const icaltimetype& time) {
  std::tm fields{};
  fields.tm_year = time.year - 1900;
  fields.tm_mon = time.month - 1;
  fields.tm_mday = time.day;
  fields.tm_hour = time.is_date ? 0 : time.hour;
  fields.tm_min = time.is_date ? 0 : time.minute;
  fields.tm_sec = time.is_date ? 0 : time.second;
  fields.tm_isdst = -1;
  return static_cast<double>(std::mktime(&fields));
}

// The zone a time's TZID names: the file's own VTIMEZONE, else the system's zone of that name.
const icaltimezone* zoneNamed(icalcomponent* event, icalproperty* property) {
  if (property == nullptr) return nullptr;
  icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
  const char* name = tzid != nullptr ? icalparameter_get_tzid(tzid) : nullptr;
  if (name == nullptr) return nullptr;
  for (icalcomponent* parent = icalcomponent_get_parent(event); parent != nullptr;
       parent = icalcomponent_get_parent(parent)) {
    if (icaltimezone* zone = icalcomponent_get_timezone(parent, name)) return zone;
  }
  return icaltimezone_get_builtin_timezone(name);
}

struct Clock {
  const icaltimezone* zone = nullptr;

  double epoch(icaltimetype time) const {
    if (time.is_date) return localEpoch(time);
    if (icaltime_is_utc(time)) {
      return static_cast<double>(
          icaltime_as_timet_with_zone(time, icaltimezone_get_utc_timezone()));
    }
    const icaltimezone* in = time.zone != nullptr ? time.zone : zone;
    if (in == nullptr) return localEpoch(time);
    return static_cast<double>(icaltime_as_timet_with_zone(time, const_cast<icaltimezone*>(in)));
  }
};

Clock clockOf(icalcomponent* event, icalproperty_kind kind) {
  return Clock{zoneNamed(event, icalcomponent_get_first_property(event, kind))};
}

ParticipantKind kindOf(icalproperty* property) {
  icalparameter* type = icalproperty_get_first_parameter(property, ICAL_CUTYPE_PARAMETER);
  // Without CUTYPE a calendar user is an individual.
  if (type == nullptr) return ParticipantKind::person;
  switch (icalparameter_get_cutype(type)) {
    case ICAL_CUTYPE_INDIVIDUAL:
      return ParticipantKind::person;
    case ICAL_CUTYPE_GROUP:
      return ParticipantKind::group;
    case ICAL_CUTYPE_RESOURCE:
      return ParticipantKind::resource;
    case ICAL_CUTYPE_ROOM:
      return ParticipantKind::room;
    default:
      return ParticipantKind::unknown;
  }
}

ParticipantFact participantOf(icalproperty* property, const char* address) {
  icalparameter* name = icalproperty_get_first_parameter(property, ICAL_CN_PARAMETER);
  return ParticipantFact{textOf(name != nullptr ? icalparameter_get_cn(name) : nullptr),
                         textOf(address), kindOf(property)};
}

// The facts every occurrence of an event shares.
CalendarFact sharedFacts(icalcomponent* event, const std::string& fallbackId) {
  CalendarFact fact;
  fact.id = textOf(icalcomponent_get_uid(event)).value_or(fallbackId);
  fact.title = textOf(icalcomponent_get_summary(event));
  fact.location = textOf(icalcomponent_get_location(event));
  fact.notes = textOf(icalcomponent_get_description(event));
  if (icalproperty* url = icalcomponent_get_first_property(event, ICAL_URL_PROPERTY)) {
    fact.url = textOf(icalproperty_get_url(url));
  }
  if (icalproperty* organizer = icalcomponent_get_first_property(event, ICAL_ORGANIZER_PROPERTY)) {
    fact.organizer = participantOf(organizer, icalproperty_get_organizer(organizer));
  }
  for (icalproperty* attendee = icalcomponent_get_first_property(event, ICAL_ATTENDEE_PROPERTY);
       attendee != nullptr;
       attendee = icalcomponent_get_next_property(event, ICAL_ATTENDEE_PROPERTY)) {
    fact.attendees.push_back(participantOf(attendee, icalproperty_get_attendee(attendee)));
  }
  return fact;
}

struct Window {
  double from;
  double to;
  bool overlaps(double start, double end) const {
    return end > start ? start < to && end > from : start >= from && start < to;
  }
};

// One event's occurrences, from its own start, end and recurrence properties.
class Occurrences {
 public:
  Occurrences(icalcomponent* event, const Window& window)
      : event_(event), window_(window), start_(icalcomponent_get_dtstart(event)) {
    startClock_ = clockOf(event, ICAL_DTSTART_PROPERTY);
    if (valid()) measure();
  }

  bool valid() const { return !icaltime_is_null_time(start_); }
  bool allDay() const { return start_.is_date != 0; }

  // Start instants of every occurrence, ascending, the excluded and overridden ones left out.
  std::vector<icaltimetype> starts(const std::set<double>& overridden) {
    std::map<double, icaltimetype> found;
    const auto add = [&](const icaltimetype& time, const Clock& clock) {
      const double at = clock.epoch(time);
      if (excluded_.count(at) == 0 && overridden.count(at) == 0) found.emplace(at, time);
    };
    add(start_, startClock_);
    collectRules(add);
    collectDates(add);
    std::vector<icaltimetype> ordered;
    for (const auto& [at, time] : found) ordered.push_back(time);
    return ordered;
  }

  double startOf(const icaltimetype& time) const { return startClock_.epoch(time); }

  double endOf(const icaltimetype& time) const {
    if (!allDay()) return startOf(time) + seconds_;
    icaltimetype last = time;
    icaltime_adjust(&last, days_, 0, 0, 0);
    return localEpoch(last);
  }

 private:
  void measure() {
    const icaltimetype end = icalcomponent_get_dtend(event_);
    for (icalproperty* exdate = icalcomponent_get_first_property(event_, ICAL_EXDATE_PROPERTY);
         exdate != nullptr;
         exdate = icalcomponent_get_next_property(event_, ICAL_EXDATE_PROPERTY)) {
      excluded_.insert(Clock{zoneNamed(event_, exdate)}.epoch(icalproperty_get_exdate(exdate)));
    }
    if (allDay()) {
      const double span = icaltime_is_null_time(end) || !end.is_date
                              ? 86400.0
                              : localEpoch(end) - localEpoch(start_);
      days_ = std::max(1, static_cast<int>(std::lround(span / 86400.0)));
    } else if (!icaltime_is_null_time(end)) {
      seconds_ = std::max(0.0, clockOf(event_, ICAL_DTEND_PROPERTY).epoch(end) - startOf(start_));
    }
  }

  template <class Add>
  void collectRules(const Add& add) {
    std::vector<icalrecurrencetype> rules;
    for (icalproperty* rule = icalcomponent_get_first_property(event_, ICAL_RRULE_PROPERTY);
         rule != nullptr; rule = icalcomponent_get_next_property(event_, ICAL_RRULE_PROPERTY)) {
      rules.push_back(icalproperty_get_rrule(rule));
    }
    for (const auto& rule : rules) expand(rule, add);
  }

  template <class Add>
  void expand(const icalrecurrencetype& rule, const Add& add) {
    std::unique_ptr<icalrecur_iterator, IteratorFree> steps(icalrecur_iterator_new(rule, start_));
    if (!steps) return;
    skipAhead(rule, steps.get());
    const double stopAt = window_.to + floatingMargin;
    for (int step = 0; step < maxRuleSteps; ++step) {
      const icaltimetype next = icalrecur_iterator_next(steps.get());
      if (icaltime_is_null_time(next) || startOf(next) > stopAt) return;
      if (window_.overlaps(startOf(next), endOf(next))) add(next, startClock_);
    }
  }

  // A rule without a count may start near the window instead of at the event's first start.
  void skipAhead(const icalrecurrencetype& rule, icalrecur_iterator* steps) const {
    const double longest = allDay() ? days_ * 86400.0 : seconds_;
    const double jumpTo = window_.from - longest - floatingMargin;
    if (rule.count != 0 || jumpTo <= startOf(start_)) return;
    const auto* zone = start_.zone != nullptr ? start_.zone : startClock_.zone;
    icaltimetype jump = icaltime_from_timet_with_zone(
        static_cast<time_t>(jumpTo), start_.is_date,
        const_cast<icaltimezone*>(zone != nullptr ? zone : icaltimezone_get_utc_timezone()));
    if (zone == nullptr && !icaltime_is_utc(start_)) jump.zone = nullptr;
    icalrecur_iterator_set_start(steps, jump);
  }

  template <class Add>
  void collectDates(const Add& add) {
    for (icalproperty* rdate = icalcomponent_get_first_property(event_, ICAL_RDATE_PROPERTY);
         rdate != nullptr; rdate = icalcomponent_get_next_property(event_, ICAL_RDATE_PROPERTY)) {
      const icaldatetimeperiodtype date = icalproperty_get_rdate(rdate);
      const icaltimetype time = icaltime_is_null_time(date.time) ? date.period.start : date.time;
      if (!icaltime_is_null_time(time)) add(time, Clock{zoneNamed(event_, rdate)});
    }
  }

  icalcomponent* event_;
  Window window_;
  icaltimetype start_;
  Clock startClock_;
  std::set<double> excluded_;
  double seconds_ = 0;
  int days_ = 1;
};

void collectEvents(icalcomponent* component, std::vector<icalcomponent*>& events, int depth) {
  if (icalcomponent_isa(component) == ICAL_VEVENT_COMPONENT) {
    events.push_back(component);
    return;
  }
  if (depth == 0) return;
  for (icalcomponent* child = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT);
       child != nullptr; child = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT)) {
    collectEvents(child, events, depth - 1);
  }
}

bool isOverride(icalcomponent* event) {
  return icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY) != nullptr;
}

// Each overridden occurrence of each event, by the start it replaces.
std::map<std::string, std::set<double>> overridesOf(const std::vector<icalcomponent*>& events) {
  std::map<std::string, std::set<double>> overrides;
  for (icalcomponent* event : events) {
    if (!isOverride(event)) continue;
    const char* uid = icalcomponent_get_uid(event);
    if (uid == nullptr) continue;
    const double replaced =
        clockOf(event, ICAL_RECURRENCEID_PROPERTY).epoch(icalcomponent_get_recurrenceid(event));
    overrides[uid].insert(replaced);
  }
  return overrides;
}

void addOccurrences(icalcomponent* event, const std::string& fallbackId, const Window& window,
                    const std::set<double>& overridden, std::vector<CalendarFact>& facts) {
  Occurrences occurrences(event, window);
  if (!occurrences.valid()) return;
  // An override is one occurrence of its own; only the event it belongs to repeats.
  const std::vector<icaltimetype> starts =
      isOverride(event) ? std::vector<icaltimetype>{icalcomponent_get_dtstart(event)}
                        : occurrences.starts(overridden);
  std::optional<CalendarFact> shared;
  for (const auto& start : starts) {
    const double begins = occurrences.startOf(start);
    const double ends = occurrences.endOf(start);
    if (!std::isfinite(begins) || !std::isfinite(ends) || !window.overlaps(begins, ends)) continue;
    if (!shared) shared = sharedFacts(event, fallbackId);
    CalendarFact fact = *shared;
    fact.start = begins;
    fact.end = ends;
    fact.allDay = occurrences.allDay();
    facts.push_back(std::move(fact));
  }
}

void readFile(const std::string& path, const Window& window, std::vector<CalendarFact>& facts) {
  const auto text = readSmallFile(path);
  if (!text) return;
  std::unique_ptr<icalcomponent, ComponentFree> root(icalparser_parse_string(text->c_str()));
  if (!root) return;
  std::vector<icalcomponent*> events;
  collectEvents(root.get(), events, 2);
  const auto overrides = overridesOf(events);
  static const std::set<double> none;
  for (std::size_t index = 0; index < events.size(); ++index) {
    const char* uid = icalcomponent_get_uid(events[index]);
    const auto found = uid != nullptr ? overrides.find(uid) : overrides.end();
    addOccurrences(events[index], path + "#" + std::to_string(index), window,
                   found != overrides.end() ? found->second : none, facts);
  }
}

std::vector<fs::path> sortedEntries(const fs::path& folder) {
  std::vector<fs::path> entries;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    entries.push_back(it->path());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

bool isFolder(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

bool isIcsFile(const fs::path& path) {
  std::error_code error;
  return path.extension() == ".ics" && fs::is_regular_file(path, error);
}

}  // namespace

LinuxCalendar::LinuxCalendar(std::string home, std::string dataHome)
    : home_(std::move(home)), dataHome_(std::move(dataHome)) {}

std::string LinuxCalendar::evolutionRoot() const {
  return dataHome_ + "/evolution/calendar";
}

std::vector<std::string> LinuxCalendar::vdirRoots() const {
  return {dataHome_ + "/calendars", home_ + "/.calendars"};
}

std::vector<std::string> LinuxCalendar::calendarFiles() const {
  std::vector<std::string> files;
  for (const auto& source : sortedEntries(evolutionRoot())) {
    const fs::path file = source / "calendar.ics";
    if (isIcsFile(file)) files.push_back(file);
  }
  for (const auto& root : vdirRoots()) {
    for (const auto& entry : sortedEntries(root)) {
      if (!isFolder(entry)) continue;
      // A collection inside an account folder lies one level deeper.
      for (const auto& item : sortedEntries(entry)) {
        if (isIcsFile(item)) {
          files.push_back(item);
        } else if (isFolder(item)) {
          for (const auto& nested : sortedEntries(item)) {
            if (isIcsFile(nested)) files.push_back(nested);
          }
        }
      }
    }
  }
  return files;
}

PermissionState LinuxCalendar::calendarAccess() {
  const auto files = calendarFiles();
  const bool any = std::any_of(files.begin(), files.end(),
                               [](const std::string& file) { return readable(file); });
  return any ? PermissionState::granted : PermissionState::denied;
}

// There is no prompt to show: the answer is read afresh.
PermissionState LinuxCalendar::requestCalendarAccess() {
  return calendarAccess();
}

std::vector<CalendarFact> LinuxCalendar::calendarEvents(double from, double to) {
  quietLibical();
  const Window window{from, to};
  std::vector<CalendarFact> facts;
  std::lock_guard lock(libicalMutex());
  for (const auto& file : calendarFiles()) readFile(file, window, facts);
  return facts;
}

}  // namespace halcy
