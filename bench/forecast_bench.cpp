// How right the "満杯予測" column is, against what a Prometheus user gets from predict_linear.
// Synthetic 1 TB disks of ten kinds, three of each, sampled every 5 minutes: 30 days to
// score on and as much future as it takes to know when each disk is really full. At every
// 2 hours from day 7 on, while the disk is not yet full, three forecasts are read as the
// column shows them: the program's own (the function the column uses) and least squares over
// the last 6 and 24 hours extrapolated to zero. Scores per kind and method: the median and
// 90th percentile of |forecast - truth| / truth where the disk fills ("-" counting as 100 %),
// the share of alarms (under FORECAST days) that come while the truth is over twice that,
// the least time from a disk's first alarm to full (followed on past day 30 until it is
// full), and on disks that never fill the share of points with an alarm. Deterministic: the
// same figures on every run. An argument N > 0 draws the noise, the backups' sizes and the
// jobs anew from seed N, to see that the figures hold beyond the seeds they were read on.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/forecast.h"
#include "monitor/status_text.h"

namespace {

const double GB = 1e9;
const double TOTAL = 1000 * GB;
const int64_t STEP = 300;  // seconds between samples
const int64_t HOUR = 3600;
const int64_t DAY = 86400;
const int64_t START = 1700438400;  // a Monday, 00:00 UTC
const int64_t SCORED_DAYS = 30;    // history scored on
const int64_t FUTURE_DAYS = 400;   // looked at to find when the disk is full
const int64_t FIRST_EVALUATION = 7 * DAY;
const int64_t EVALUATION_STEP = 2 * HOUR;
const int64_t ALARM_DAYS = 7;  // FORECAST's default
const double LEAD_DAYS = 3;    // the least warning a disk that fills should get

// Deterministic noise: the same numbers on every machine.
uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}
// Uniform in [0, 1) from a seed and an index.
double Uniform(uint64_t seed, uint64_t i) {
    return static_cast<double>(Mix(seed * 1000003 + i) >> 11) / 9007199254740992.0;
}

// What a disk holds at t seconds from START: used for good (the trend) and used for a while
// (logs before their rotation, backups before their deletion, jobs), in bytes.
struct Usage {
    double lasting;
    double passing;
};

struct Kind {
    const char* name;
    bool fills;
    // The usage of variant v (0 to 2) at time t.
    std::function<Usage(int v, int64_t t)> usage;
    double fullDay[3];  // the day its lasting usage reaches the size of the disk
};

double Days(int64_t t) {
    return static_cast<double>(t) / DAY;
}
int64_t TimeOfDay(int64_t t) {
    return t % DAY;
}
int64_t Weekday(int64_t t) {  // 0 Monday
    return (t / DAY) % 7;
}
// A linear ramp from 0 at from to 1 at to.
double Ramp(int64_t t, int64_t from, int64_t to) {
    return t <= from ? 0
           : t >= to ? 1
                     : static_cast<double>(t - from) / static_cast<double>(to - from);
}

std::vector<Kind> Kinds(uint64_t seed) {
    const double steadyRate[] = {12, 20, 30};
    std::vector<Kind> kinds;
    kinds.push_back({"steady fill",
                     true,
                     [=](int v, int64_t t) {
                         return Usage{steadyRate[v] * GB * Days(t), 0};
                     },
                     {55, 40, 32}});
    kinds.push_back({"fill speeding up",
                     true,
                     [](int v, int64_t t) {
                         double d = Days(t);
                         if (v == 2) {  // a new project doubles the rate on day 18
                             return Usage{(10 * d + 14 * std::max(0.0, d - 18)) * GB, 0};
                         }
                         double r0 = v == 0 ? 4 : 8;
                         double a = v == 0 ? 0.8 : 0.5;
                         return Usage{(r0 * d + a * d * d / 2) * GB, 0};
                     },
                     {40, 46, 40}});
    kinds.push_back({"rate doubling",
                     true,
                     [](int v, int64_t t) {
                         // From 1 GB a day, twice as fast every 6, 7.5 or 9 days.
                         double doubling = 6 + 1.5 * v;
                         double k = std::log(2.0) / doubling;
                         return Usage{GB * (std::exp(k * Days(t)) - 1) / k, 0};
                     },
                     {36, 40, 45}});
    kinds.push_back({"daily logs rotated",
                     true,
                     [](int v, int64_t t) {
                         double logs = (30 + 10 * v) * GB;
                         return Usage{(3 + 2 * v) * GB * Days(t),
                                      logs * static_cast<double>(TimeOfDay(t)) / DAY};
                     },
                     {60, 45, 38}});
    kinds.push_back({"weekly backup bursts",
                     true,
                     [](int v, int64_t t) {
                         // 200 GB written over 2 hours from Saturday 01:00, deleted on Monday
                         // 01:00.
                         int64_t week = t / (7 * DAY) * 7 * DAY;
                         int64_t written = week + 5 * DAY + HOUR;
                         double burst = 200 * GB * Ramp(t, written, written + 2 * HOUR) *
                                        (1 - Ramp(t, written + 2 * DAY, written + 2 * DAY + 600));
                         return Usage{(8 + 4 * v) * GB * Days(t), burst};
                     },
                     {50, 40, 34}});
    kinds.push_back(
        {"backups of 150-250 GB",
         true,
         [=](int v, int64_t t) {
             // Each week on the variant's own day at 22:00 a backup of 150 to
             // 250 GB, written in an hour and deleted 2 days later.
             int64_t week = (t - (v * 2 + 1) * DAY) / (7 * DAY);
             double burst = 0;
             for (int64_t w = week - 1; w <= week; w++) {
                 int64_t written = (v * 2 + 1) * DAY + w * 7 * DAY + 22 * HOUR;
                 double size =
                     (150 + 100 * Uniform(seed + v + 23, static_cast<uint64_t>(w + 10))) * GB;
                 burst += size * Ramp(t, written, written + HOUR) *
                          (1 - Ramp(t, written + 2 * DAY, written + 2 * DAY + 600));
             }
             return Usage{(6 + 5 * v) * GB * Days(t), burst};
         },
         {60, 42, 35}});
    kinds.push_back({"one-off copy",
                     true,
                     [=](int v, int64_t t) {
                         int64_t copied = (9 + 3 * v) * DAY + 10 * HOUR;
                         return Usage{steadyRate[v] * GB * Days(t) +
                                          200 * GB * Ramp(t, copied, copied + HOUR),
                                      0};
                     },
                     {55, 38, 27}});
    kinds.push_back({"one-off cleanup",
                     true,
                     [=](int v, int64_t t) {
                         int64_t deleted = (8 + 3 * v) * DAY + 15 * HOUR;
                         return Usage{steadyRate[v] * GB * Days(t) -
                                          200 * GB * Ramp(t, deleted, deleted + 600),
                                      0};
                     },
                     {55, 45, 38}});
    kinds.push_back({"office hours only",
                     true,
                     [](int v, int64_t t) {
                         // Each weekday from 9:00 to 18:00; the weeks and days before t.
                         double perDay = (20 + 10 * v) * GB;
                         int64_t weeks = t / (7 * DAY);
                         int64_t days = weeks * 5 + std::min<int64_t>(Weekday(t), 5);
                         double today =
                             Weekday(t) < 5 ? Ramp(TimeOfDay(t), 9 * HOUR, 18 * HOUR) : 0;
                         return Usage{perDay * (static_cast<double>(days) + today), 0};
                     },
                     {50, 40, 34}});
    kinds.push_back({"never fills, jobs",
                     false,
                     [=](int v, int64_t t) {
                         // Every 12 hours a job may start: 20 to 80 GB written over an hour,
                         // kept 2 to 8 hours, then deleted.
                         double jobs = 0;
                         for (int64_t slot = t / (12 * HOUR) - 1; slot <= t / (12 * HOUR); slot++) {
                             if (slot < 0 || Uniform(seed + v + 11, slot * 3) < 0.4) {
                                 continue;
                             }
                             int64_t start = slot * 12 * HOUR +
                                             static_cast<int64_t>(
                                                 Uniform(seed + v + 11, slot * 3 + 1) * 3 * HOUR);
                             int64_t kept = static_cast<int64_t>(
                                 (2 + 6 * Uniform(seed + v + 11, slot * 3 + 2)) * HOUR);
                             double size = (20 + 60 * Uniform(seed + v + 17, slot)) * GB;
                             jobs += size * Ramp(t, start, start + HOUR) *
                                     (1 - Ramp(t, start + HOUR + kept, start + HOUR + kept + 600));
                         }
                         return Usage{(500 + 100 * v) * GB, jobs};
                     },
                     {0, 0, 0}});
    return kinds;
}

// The samples of a disk, from START, until it is full or the future ends.
struct Disk {
    std::vector<HistoryPoint> points;
    int64_t fullAt;  // the first sample with nothing free; -1 when none
};

Disk MakeDisk(const Kind& kind, int v, uint64_t seed) {
    Disk disk;
    disk.fullAt = -1;
    double reserve =
        kind.fills ? kind.usage(v, static_cast<int64_t>(kind.fullDay[v] * DAY)).lasting : 0;
    double level = kind.fills ? TOTAL - reserve : 0;  // used at the start, apart from the trend
    for (int64_t i = 0; START + i * STEP <= START + (SCORED_DAYS + FUTURE_DAYS) * DAY; i++) {
        int64_t t = i * STEP;
        Usage usage = kind.usage(v, t);
        double noise = (Uniform(seed, static_cast<uint64_t>(i)) - 0.5) * 4 * GB;  // small writes
        double free = TOTAL - level - usage.lasting - usage.passing + noise;
        free = std::max(0.0, std::min(TOTAL, free));
        disk.points.push_back(
            {START + t, static_cast<uint64_t>(free), static_cast<uint64_t>(TOTAL), 1});
        if (free <= 0) {
            disk.fullAt = START + t;
            break;
        }
    }
    return disk;
}

// The forecast as the column shows it, read back in seconds; -1 for "-".
double AsShown(int64_t seconds) {
    char text[32];
    FormatForecast(seconds, text, sizeof text);
    long n = 0;
    if (strcmp(text, "-") == 0) {
        return -1;
    } else if (strcmp(text, "1時間以内") == 0) {
        return HOUR / 2.0;
    } else if (strcmp(text, "1年以上") == 0) {
        return 365.0 * DAY;
    } else if (sscanf(text, "約%ld日", &n) == 1 && strstr(text, "日") != nullptr) {
        return static_cast<double>(n) * DAY;
    } else if (sscanf(text, "約%ld時間", &n) == 1) {
        return static_cast<double>(n) * HOUR;
    }
    fprintf(stderr, "unknown forecast text %s\n", text);
    exit(1);
}

// Least squares over the samples of the last window seconds, extrapolated from its value at
// now down to zero, as predict_linear does.
int64_t LeastSquares(const std::vector<HistoryPoint>& points, size_t latest, int64_t window) {
    int64_t now = points[latest].time;
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = latest + 1; i-- > 0 && points[i].time > now - window;) {
        double x = static_cast<double>(points[i].time - now);
        double y = static_cast<double>(points[i].freeBytes);
        n++;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    double atNow = (sy - slope * sx) / n;
    if (n < 3 || !(slope < 0)) {
        return FORECAST_NONE;
    }
    return atNow <= 0 ? 0 : static_cast<int64_t>(std::min(atNow / -slope, 1e12));
}

struct Method {
    const char* name;
    std::function<int64_t(const std::vector<HistoryPoint>&, size_t)> forecast;
};

// The scores of one method on one kind (or on all of them).
struct Score {
    std::vector<double> errors;  // where the disk fills
    unsigned alarms = 0;         // on disks that fill
    unsigned early = 0;
    unsigned neverPoints = 0;  // on disks that never fill
    unsigned neverAlarms = 0;
    // Of the disks that fill: the least time from the first alarm to full, in days (0 for a
    // disk never warned), and how many were warned less than LEAD_DAYS before.
    double leastLead = 1e9;
    unsigned late = 0;

    void Add(const Score& other) {
        errors.insert(errors.end(), other.errors.begin(), other.errors.end());
        alarms += other.alarms;
        early += other.early;
        neverPoints += other.neverPoints;
        neverAlarms += other.neverAlarms;
        leastLead = std::min(leastLead, other.leastLead);
        late += other.late;
    }
    double Percentile(double p) const {
        std::vector<double> sorted = errors;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty()
                   ? 0
                   : sorted[static_cast<size_t>(p * static_cast<double>(sorted.size() - 1))];
    }
    double EarlyShare() const { return alarms > 0 ? static_cast<double>(early) / alarms : 0; }
    double NeverShare() const {
        return neverPoints > 0 ? static_cast<double>(neverAlarms) / neverPoints : 0;
    }
};

// Scored up to SCORED_DAYS; a disk that fills is followed on until it is full, for the time
// its first alarm gave.
void Evaluate(const Disk& disk, const Method& method, Score* score) {
    double lead = 0;
    for (int64_t at = FIRST_EVALUATION; at <= SCORED_DAYS * DAY || disk.fullAt >= 0;
         at += EVALUATION_STEP) {
        size_t latest = static_cast<size_t>(at / STEP);
        if (latest >= disk.points.size() || disk.points[latest].freeBytes == 0) {
            break;
        }
        int64_t seconds = method.forecast(disk.points, latest);
        double shown = AsShown(seconds);
        bool alarm = seconds != FORECAST_NONE && seconds <= ALARM_DAYS * DAY;
        if (alarm && lead == 0) {
            lead = static_cast<double>(disk.fullAt - disk.points[latest].time) / DAY;
        }
        if (at > SCORED_DAYS * DAY) {
            continue;
        }
        if (disk.fullAt < 0) {
            score->neverPoints++;
            score->neverAlarms += alarm ? 1 : 0;
            continue;
        }
        double truth = static_cast<double>(disk.fullAt - disk.points[latest].time);
        score->errors.push_back(shown < 0 ? 1.0 : std::fabs(shown - truth) / truth);
        score->alarms += alarm ? 1 : 0;
        score->early += alarm && truth > 2 * ALARM_DAYS * DAY ? 1 : 0;
    }
    if (disk.fullAt >= 0) {
        score->leastLead = std::min(score->leastLead, lead);
        score->late += lead < LEAD_DAYS ? 1 : 0;
    }
}

void PrintCell(const Score& score, bool fills) {
    if (fills) {
        printf(" | %4.0f %% %5.0f %% %5.1f %% %4.1f", 100 * score.Percentile(0.5),
               100 * score.Percentile(0.9), 100 * score.EarlyShare(), score.leastLead);
    } else {
        printf(" | %-11s %5.1f %%     ", "alarms", 100 * score.NeverShare());
    }
}

}  // namespace

int main(int argc, char** argv) {
    char* end = nullptr;
    uint64_t seed = argc > 1 ? strtoull(argv[1], &end, 10) : 0;
    if (argc > 2 || (argc == 2 && (end == argv[1] || *end != '\0'))) {
        fprintf(stderr, "usage: %s [seed]\n", argv[0]);
        return 2;
    }
    seed *= 1000;  // the variants' and kinds' own seeds stay apart
    std::vector<Method> methods = {
        {"fsw",
         [](const std::vector<HistoryPoint>& p, size_t latest) {
             return ForecastSecondsToFull(p.data(), latest + 1, p[latest].time, 0);
         }},
        {"least squares 6 h", [](const std::vector<HistoryPoint>& p,
                                 size_t latest) { return LeastSquares(p, latest, 6 * HOUR); }},
        {"least squares 24 h", [](const std::vector<HistoryPoint>& p,
                                  size_t latest) { return LeastSquares(p, latest, DAY); }},
    };
    std::vector<Kind> kinds = Kinds(seed);
    printf(
        "Forecasts of 1 TB disks (5-minute samples, 3 disks a kind, every 2 h from day 7 to "
        "30),\nread as the column shows them: median and p90 of |forecast - truth| / truth, "
        "share of\nalarms (forecast <= %lld days) while the truth is over %lld days, and the "
        "least days\nfrom a disk's first alarm to full (followed on until it is full)\n\n",
        static_cast<long long>(ALARM_DAYS), static_cast<long long>(2 * ALARM_DAYS));
    printf("%-22s", "kind");
    for (const Method& method : methods) {
        printf(" | %-30s", method.name);
    }
    printf("\n%-22s", "");
    for (size_t m = 0; m < methods.size(); m++) {
        printf(" | %6s %7s %7s %4s ", "median", "p90", "early", "lead");
    }
    printf("\n");
    std::vector<Score> overall(methods.size());
    std::vector<std::vector<Score>> byKind(kinds.size(), std::vector<Score>(methods.size()));
    for (size_t k = 0; k < kinds.size(); k++) {
        for (int v = 0; v < 3; v++) {
            Disk disk = MakeDisk(kinds[k], v, seed + k * 10 + static_cast<uint64_t>(v));
            if (kinds[k].fills && disk.fullAt < 0) {
                fprintf(stderr, "%s %d never fills\n", kinds[k].name, v);
                return 1;
            }
            for (size_t m = 0; m < methods.size(); m++) {
                Evaluate(disk, methods[m], &byKind[k][m]);
            }
        }
        printf("%-22s", kinds[k].name);
        for (size_t m = 0; m < methods.size(); m++) {
            PrintCell(byKind[k][m], kinds[k].fills);
            overall[m].Add(byKind[k][m]);
        }
        printf("\n");
    }
    printf("%-22s", "all that fill");
    for (size_t m = 0; m < methods.size(); m++) {
        PrintCell(overall[m], true);
    }
    printf("\n\n");
    const Score& fsw = overall[0];
    auto met = [](bool ok) { return ok ? "" : "  (missed)"; };
    printf("%zu points on disks that fill, %u on disks that never fill\n", fsw.errors.size(),
           fsw.neverPoints);
    printf("goal: overall median <= 5 %%: %.1f %%%s\n", 100 * fsw.Percentile(0.5),
           met(fsw.Percentile(0.5) <= 0.05));
    printf("goal: overall p90 <= 100 %%: %.1f %%%s\n", 100 * fsw.Percentile(0.9),
           met(fsw.Percentile(0.9) <= 1));
    printf("goal: alarms on disks that never fill 0 %%: %.1f %%%s\n", 100 * fsw.NeverShare(),
           met(fsw.neverAlarms == 0));
    printf("goal: every disk that fills warned %.0f days before: least %.1f days, %u late%s\n",
           LEAD_DAYS, fsw.leastLead, fsw.late, met(fsw.late == 0));
    for (size_t k = 0; k < kinds.size(); k++) {
        if (!kinds[k].fills) {
            continue;
        }
        const std::vector<Score>& score = byKind[k];
        double median = std::min(score[1].Percentile(0.5), score[2].Percentile(0.5));
        double p90 = std::min(score[1].Percentile(0.9), score[2].Percentile(0.9));
        printf(
            "goal: %-22s no worse than the better baseline: median %.1f %% against %.1f %%, "
            "p90 %.1f %% against %.1f %%%s\n",
            kinds[k].name, 100 * score[0].Percentile(0.5), 100 * median,
            100 * score[0].Percentile(0.9), 100 * p90,
            met(score[0].Percentile(0.5) <= median && score[0].Percentile(0.9) <= p90));
    }
    return 0;
}
