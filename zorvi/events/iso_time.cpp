// ISO 8601 dates and date-times as decimal years: the UTC year plus the share of it that had
// passed, counted in seconds.
#include <charconv>
#include <cstdint>
#include <string>

#include "zorvi/events/events.hpp"

namespace zorvi {
namespace {

constexpr std::int64_t seconds_per_day = 86400;
constexpr int latest_offset_minutes = 14 * 60;

constexpr std::string_view forms =
    "not an ISO 8601 date or date-time (YYYY-MM-DD, or YYYY-MM-DDThh:mm[:ss[.fraction]] with "
    "Z or +hh:mm or -hh:mm)";

bool is_leap(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::int64_t days_in_year(std::int64_t year) {
    return is_leap(year) ? 366 : 365;
}

int days_in_month(std::int64_t year, int month) {
    constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap(year) ? 29 : days[month - 1];
}

// Reads `count` digits at `at` (moved past them) into `value`; false unless all are digits.
bool read_digits(std::string_view text, std::size_t& at, std::size_t count, int& value) {
    if (text.size() - at < count) return false;
    value = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const char c = text[at + k];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    at += count;
    return true;
}

bool read_char(std::string_view text, std::size_t& at, char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
}

std::string two_digits(int value) {
    return std::string(1, static_cast<char>('0' + value / 10)) +
           static_cast<char>('0' + value % 10);
}

// The time of day and zone after the date: seconds since midnight (whole, and the fraction
// as its digits), and the zone's offset east of UTC in minutes.
struct TimeOfDay {
    std::int64_t seconds = 0;
    std::string_view fraction;  // the digits after the point
    int offset_minutes = 0;
};

bool read_time_of_day(std::string_view text, std::size_t& at, TimeOfDay& time,
                      std::string& problem) {
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!read_digits(text, at, 2, hour) || !read_char(text, at, ':') ||
        !read_digits(text, at, 2, minute)) {
        problem = forms;
        return false;
    }
    if (read_char(text, at, ':')) {
        if (!read_digits(text, at, 2, second)) {
            problem = forms;
            return false;
        }
        if (read_char(text, at, '.')) {
            const std::size_t first = at;
            while (at < text.size() && text[at] >= '0' && text[at] <= '9')
                ++at;
            time.fraction = text.substr(first, at - first);
            if (time.fraction.empty()) {
                problem = forms;
                return false;
            }
        }
    }
    if (hour > 23 || minute > 59 || second > 59) {
        problem = "not a time of day: " + two_digits(hour) + ":" + two_digits(minute) + ":" +
                  two_digits(second) + " (00:00:00 to 23:59:59)";
        return false;
    }
    time.seconds = hour * 3600 + minute * 60 + second;
    if (read_char(text, at, 'Z')) return true;
    if (at == text.size()) return true;  // no zone: UTC
    const char sign = text[at++];
    int offset_hours = 0;
    int offset_minutes = 0;
    if ((sign != '+' && sign != '-') || !read_digits(text, at, 2, offset_hours) ||
        !read_char(text, at, ':') || !read_digits(text, at, 2, offset_minutes)) {
        problem = forms;
        return false;
    }
    const int offset = offset_hours * 60 + offset_minutes;
    if (offset_minutes > 59 || offset > latest_offset_minutes) {
        problem = std::string("not a zone: the offset ") + sign + two_digits(offset_hours) + ":" +
                  two_digits(offset_minutes) + " (-14:00 to +14:00)";
        return false;
    }
    time.offset_minutes = sign == '-' ? -offset : offset;
    return true;
}

}  // namespace

bool looks_like_iso_date(std::string_view text) {
    std::size_t at = 0;
    int year = 0;
    return read_digits(text, at, 4, year) && read_char(text, at, '-');
}

bool iso_decimal_year(std::string_view text, double& decimal_year, std::string& problem) {
    std::size_t at = 0;
    int year = 0;
    int month = 0;
    int day = 0;
    if (!read_digits(text, at, 4, year) || !read_char(text, at, '-') ||
        !read_digits(text, at, 2, month) || !read_char(text, at, '-') ||
        !read_digits(text, at, 2, day)) {
        problem = forms;
        return false;
    }
    if (month < 1 || month > 12) {
        problem = "not a date: month " + two_digits(month) + " (01 to 12)";
        return false;
    }
    if (day < 1 || day > days_in_month(year, month)) {
        problem = "not a date: " + std::string(text.substr(0, 7)) + " has " +
                  std::to_string(days_in_month(year, month)) + " days";
        return false;
    }
    TimeOfDay time;
    if (at < text.size()) {
        if (!(read_char(text, at, 'T') || read_char(text, at, ' '))) {
            problem = forms;
            return false;
        }
        if (!read_time_of_day(text, at, time, problem)) return false;
        if (at != text.size()) {
            problem = forms;
            return false;
        }
    }

    // Seconds from the start of the year to the time in UTC, which may lie in the year before
    // or after once the offset is taken off.
    std::int64_t utc_year = year;
    std::int64_t day_of_year = day - 1;
    for (int m = 1; m < month; ++m)
        day_of_year += days_in_month(year, m);
    std::int64_t seconds =
        day_of_year * seconds_per_day + time.seconds - std::int64_t{time.offset_minutes} * 60;
    if (seconds < 0) {
        --utc_year;
        seconds += days_in_year(utc_year) * seconds_per_day;
    } else if (seconds >= days_in_year(utc_year) * seconds_per_day) {
        seconds -= days_in_year(utc_year) * seconds_per_day;
        ++utc_year;
    }
    double fraction = 0.0;
    if (!time.fraction.empty()) {
        const std::string digits = "0." + std::string(time.fraction);
        std::from_chars(digits.data(), digits.data() + digits.size(), fraction);
    }
    const double in_year = static_cast<double>(days_in_year(utc_year) * seconds_per_day);
    decimal_year =
        static_cast<double>(utc_year) + (static_cast<double>(seconds) + fraction) / in_year;
    return true;
}

}  // namespace zorvi
