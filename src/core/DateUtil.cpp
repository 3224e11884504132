#include "core/DateUtil.h"

#include <cstdio>
#include <ctime>

namespace velmora::DateUtil {
namespace {

struct Parts {
    std::tm tm{};
    int millis = 0;
};

Parts split(TimePoint t) {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
    auto secs = ms / 1000;
    int rem = static_cast<int>(ms % 1000);
    if (rem < 0) { // floor towards negative infinity for dates before 1970
        rem += 1000;
        secs -= 1;
    }
    Parts p;
    std::time_t tt = static_cast<std::time_t>(secs);
    gmtime_r(&tt, &p.tm);
    p.millis = rem;
    return p;
}

bool digits(std::string_view s, size_t pos, size_t n, int& out) {
    if (pos + n > s.size()) return false;
    int v = 0;
    for (size_t i = pos; i < pos + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    out = v;
    return true;
}

int64_t daysFromCivil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<int64_t>(era) * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// TimePoint counts nanoseconds in 64 bits, so it only reaches from 1677 to 2262; a moment
// outside that span (a job board's year 9999, epoch milliseconds sent as seconds) cannot be
// converted without overflowing. A week is kept free at both ends so that zone offsets and
// day arithmetic on a time read here cannot overflow either.
constexpr int64_t kMarginMillis = 7 * 24 * 3600 * 1000LL;
constexpr int64_t kMinMillis =
    std::chrono::duration_cast<std::chrono::milliseconds>(TimePoint::min().time_since_epoch()).count() + kMarginMillis;
constexpr int64_t kMaxMillis =
    std::chrono::duration_cast<std::chrono::milliseconds>(TimePoint::max().time_since_epoch()).count() - kMarginMillis;

} // namespace

std::string withFractional(TimePoint t) {
    Parts p = split(t);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", p.tm.tm_year + 1900, p.tm.tm_mon + 1,
                  p.tm.tm_mday, p.tm.tm_hour, p.tm.tm_min, p.tm.tm_sec, p.millis);
    return buf;
}

std::string standard(TimePoint t) {
    Parts p = split(t);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", p.tm.tm_year + 1900, p.tm.tm_mon + 1,
                  p.tm.tm_mday, p.tm.tm_hour, p.tm.tm_min, p.tm.tm_sec);
    return buf;
}

std::optional<TimePoint> parse(std::string_view s) {
    // yyyy-MM-ddTHH:mm:ss[.fff]Z ; both formatters are strict about shape and zone.
    int y, mo, d, h, mi, se, ms = 0;
    if (s.size() < 20) return std::nullopt;
    if (!digits(s, 0, 4, y) || s[4] != '-' || !digits(s, 5, 2, mo) || s[7] != '-' || !digits(s, 8, 2, d) ||
        (s[10] != 'T' && s[10] != 't') || !digits(s, 11, 2, h) || s[13] != ':' || !digits(s, 14, 2, mi) ||
        s[16] != ':' || !digits(s, 17, 2, se))
        return std::nullopt;
    size_t pos = 19;
    if (s[pos] == '.') {
        ++pos;
        size_t start = pos;
        int scale = 100;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
            ms += (s[pos] - '0') * scale;
            scale /= 10;
            ++pos;
        }
        if (pos == start) return std::nullopt;
    }
    if (pos + 1 != s.size() || (s[pos] != 'Z' && s[pos] != 'z')) return std::nullopt;
    static const int mdays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (mo < 1 || mo > 12 || d < 1) return std::nullopt;
    int maxd = mdays[mo - 1] + (mo == 2 && leap(y) ? 1 : 0);
    if (d > maxd || h > 23 || mi > 59 || se > 60) return std::nullopt;
    int64_t days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    int64_t secs = days * 86400 + h * 3600 + mi * 60 + se;
    int64_t millis = secs * 1000 + ms;
    if (millis < kMinMillis || millis > kMaxMillis) return std::nullopt;
    return TimePoint(std::chrono::milliseconds(millis));
}

TimePoint fromUnixSeconds(double seconds) {
    double millis = seconds * 1000.0;
    if (!(millis > static_cast<double>(kMinMillis))) millis = static_cast<double>(kMinMillis); // NaN included
    if (millis > static_cast<double>(kMaxMillis)) millis = static_cast<double>(kMaxMillis);
    return TimePoint(std::chrono::milliseconds(static_cast<int64_t>(millis)));
}

} // namespace velmora::DateUtil
