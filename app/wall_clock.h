// Wall-clock time: the local date and time as seconds since 1970/01/01 00:00:00 of the same
// clock (no time zone applied), and the way to Unix seconds.
#pragma once

#include <cstdint>

#include "mlib/msys.h"

// Days since 1970/01/01 of a date of the proleptic Gregorian calendar, and back.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day);
void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day);

int64_t WallSeconds(const MLocalTime& time);
void WallFields(int64_t wallSeconds, MLocalTime* time);

// Local wall-clock time minus Unix time now, in seconds (a whole number of quarter hours).
int64_t CurrentUtcOffset();

// Wall-clock seconds of the local time zone to Unix seconds, asking the C library once
// per hour of wall-clock time met (lines come in time order, so that is rarely).
class LocalClock {
public:
    LocalClock();
    // INT64_MIN for a time the C library cannot place.
    int64_t ToUnix(int64_t wallSeconds);

private:
    int64_t m_hour;  // the wall-clock hour the offset belongs to
    int64_t m_offset;
    bool m_valid;
};

// Unix seconds now: the system's clock, or the time a test has set (SetTestUnixNow; 0
// gives the system's clock back).
int64_t UnixNow();
void SetTestUnixNow(int64_t seconds);
