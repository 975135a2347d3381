// KERNEL32 time of the simulated Windows: the machine's clock as FILETIME and the
// conversions between FILETIME and SYSTEMTIME. The machine's time zone is UTC.
#include <cstdint>

#include "platform/sim/win32/api_support.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {
namespace {

constexpr uint64_t kTicksPerMillisecond = 10000;
constexpr uint64_t kTicksPerDay = 86400ull * 1000 * kTicksPerMillisecond;
// The largest FILETIME the conversions accept (30828-09-14 02:48:05.477).
constexpr uint64_t kMaxTicks = 0x7fffffffffffffffull;

bool IsLeapYear(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to a civil date, and back (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, int64_t* m, int64_t* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp + (mp < 10 ? 3 : -9);
  *y = yoe + era * 400 + (*m <= 2);
}

const int64_t kEpochDays1601 = DaysFromCivil(1601, 1, 1);

}  // namespace
}  // namespace sim

VOID WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  sim::ApiCall call("GetSystemTimeAsFileTime");
  // The call cannot fail; an injected fault has nothing to act on.
  if (lpSystemTimeAsFileTime) *lpSystemTimeAsFileTime = sim::ToFileTime(call.machine().Now());
}

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
  sim::ApiCall call("FileTimeToLocalFileTime");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  if (!lpFileTime || !lpLocalFileTime) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  *lpLocalFileTime = *lpFileTime;  // UTC: local time is the same
  return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
  sim::ApiCall call("FileTimeToSystemTime");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  if (!lpFileTime || !lpSystemTime) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  const uint64_t ticks = sim::Ticks(*lpFileTime);
  if (ticks > sim::kMaxTicks) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  const int64_t days = static_cast<int64_t>(ticks / sim::kTicksPerDay);
  const uint64_t inDay = ticks % sim::kTicksPerDay;
  int64_t y, m, d;
  sim::CivilFromDays(days + sim::kEpochDays1601, &y, &m, &d);
  lpSystemTime->wYear = static_cast<WORD>(y);
  lpSystemTime->wMonth = static_cast<WORD>(m);
  lpSystemTime->wDay = static_cast<WORD>(d);
  lpSystemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
  const uint64_t ms = inDay / sim::kTicksPerMillisecond;
  lpSystemTime->wHour = static_cast<WORD>(ms / 3600000);
  lpSystemTime->wMinute = static_cast<WORD>(ms / 60000 % 60);
  lpSystemTime->wSecond = static_cast<WORD>(ms / 1000 % 60);
  lpSystemTime->wMilliseconds = static_cast<WORD>(ms % 1000);
  return TRUE;
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
  sim::ApiCall call("SystemTimeToFileTime");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  if (!lpSystemTime || !lpFileTime) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  const SYSTEMTIME& t = *lpSystemTime;
  // The day of the week is not read.
  if (t.wYear < 1601 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
      t.wDay > sim::DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 ||
      t.wSecond > 59 || t.wMilliseconds > 999)
    return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  const int64_t days = sim::DaysFromCivil(t.wYear, t.wMonth, t.wDay) - sim::kEpochDays1601;
  const uint64_t ms = ((static_cast<uint64_t>(days) * 24 + t.wHour) * 60 + t.wMinute) * 60000ull +
                      t.wSecond * 1000ull + t.wMilliseconds;
  const uint64_t ticks = ms * sim::kTicksPerMillisecond;
  if (ticks > sim::kMaxTicks) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  *lpFileTime = sim::ToFileTime(ticks);
  return TRUE;
}

LONG WINAPI CompareFileTime(const FILETIME* lpFileTime1, const FILETIME* lpFileTime2) {
  sim::ApiCall call("CompareFileTime");
  const uint64_t a = sim::Ticks(*lpFileTime1), b = sim::Ticks(*lpFileTime2);
  return a < b ? -1 : (a > b ? 1 : 0);
}
