// Wall-clock time.
#include "app/wall_clock.h"

#include <atomic>
#include <climits>
#include <ctime>

namespace {

std::atomic<int64_t> g_testNow{0};

}  // namespace

// Days since 1970/01/01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    int64_t yearOfEra = year - era * 400;
    int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// The date of a day count since 1970/01/01 (the inverse of DaysFromCivil).
void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
    int64_t z = days + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t dayOfEra = z - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t shifted = (5 * dayOfYear + 2) / 153;  // months from March
    *day = static_cast<unsigned>(dayOfYear - (153 * shifted + 2) / 5 + 1);
    *month = static_cast<unsigned>(shifted < 10 ? shifted + 3 : shifted - 9);
    *year = yearOfEra + era * 400 + (*month <= 2 ? 1 : 0);
}

int64_t WallSeconds(const MLocalTime& time) {
    return DaysFromCivil(time.year, time.month, time.day) * 86400 + time.hour * 3600 +
           time.minute * 60 + time.second;
}

void WallFields(int64_t wallSeconds, MLocalTime* time) {
    int64_t days = wallSeconds >= 0 ? wallSeconds / 86400 : (wallSeconds - 86399) / 86400;
    int64_t year;
    unsigned month;
    unsigned day;
    CivilFromDays(days, &year, &month, &day);
    int64_t second = wallSeconds - days * 86400;
    time->year = static_cast<uint16_t>(year);
    time->month = static_cast<uint16_t>(month);
    time->day = static_cast<uint16_t>(day);
    time->hour = static_cast<uint16_t>(second / 3600);
    time->minute = static_cast<uint16_t>(second / 60 % 60);
    time->second = static_cast<uint16_t>(second % 60);
}

int64_t CurrentUtcOffset() {
    MLocalTime now;
    MGetLocalTime(&now);
    int64_t offset = WallSeconds(now) - static_cast<int64_t>(time(nullptr));
    // The two readings may straddle a second; zones differ by whole quarter hours.
    int64_t quarter = 900;
    return (offset >= 0 ? offset + quarter / 2 : offset - quarter / 2) / quarter * quarter;
}

LocalClock::LocalClock() : m_hour(0), m_offset(0), m_valid(false) {}

int64_t LocalClock::ToUnix(int64_t wallSeconds) {
    int64_t hour = wallSeconds >= 0 ? wallSeconds / 3600 : (wallSeconds - 3599) / 3600;
    if (!m_valid || hour != m_hour) {
        int64_t start = hour * 3600;
        int64_t days = start >= 0 ? start / 86400 : (start - 86399) / 86400;
        int64_t year;
        unsigned month;
        unsigned day;
        CivilFromDays(days, &year, &month, &day);
        struct tm fields = {};
        fields.tm_year = static_cast<int>(year - 1900);
        fields.tm_mon = static_cast<int>(month) - 1;
        fields.tm_mday = static_cast<int>(day);
        fields.tm_hour = static_cast<int>(start - days * 86400) / 3600;
        fields.tm_isdst = -1;
        time_t unix = mktime(&fields);
        if (unix == static_cast<time_t>(-1)) {
            m_valid = false;
            return INT64_MIN;
        }
        m_hour = hour;
        m_offset = start - static_cast<int64_t>(unix);
        m_valid = true;
    }
    return wallSeconds - m_offset;
}

int64_t UnixNow() {
    int64_t test = g_testNow;
    return test != 0 ? test : static_cast<int64_t>(time(nullptr));
}

void SetTestUnixNow(int64_t seconds) {
    g_testNow = seconds;
}
