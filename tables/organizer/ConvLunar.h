// CConvLunar: the calendar table's handle on the outside lunar calendar library
// "ConvLunar.dll". The library is loaded once, when the object is made (the calendar
// table's constructor), and unloaded when it is destroyed. Its three entry points are looked
// up by name: "solar_to_lunar" and "lunar_to_solar" are required (without either the library
// is unloaded and every entry point is null), "end_day_of_lunar_month" is optional. Only
// "solar_to_lunar" is ever called: it tells whether a lunar entry's date lies in a leap month.
//
// Without the library (missing, or lacking a required entry point) IsLeapMonth answers
// false: the calendar table then reads every entry that carries "Lunar" as START_DATE_TYPE
// "LUNAR", never "LEAP". Nothing is lost by that: "LUNAR" and "LEAP" are written back alike
// (the "Lunar" property with the value "LUNAR"), and the dates stay solar.
#pragma once

#include <cstdint>

#include "wincompat/wintypes.h"

namespace qwb {

class CConvLunar {
 public:
  using SolarToLunarFn = int (*)(int32_t* year, int32_t* month, int32_t* day);
  using LunarToSolarFn = int (*)(int32_t* year, int32_t* month, int32_t* day, int32_t leap);
  using EndDayOfLunarMonthFn = int (*)(int32_t year, int32_t month, int32_t leap);

  // Loads `name` with LoadLibraryW (the table passes the bare name "ConvLunar.dll").
  explicit CConvLunar(const WCHAR* name = u"ConvLunar.dll");
  ~CConvLunar();
  CConvLunar(const CConvLunar&) = delete;
  CConvLunar& operator=(const CConvLunar&) = delete;

  // Whether the library is loaded with both required entry points.
  bool IsLoaded() const { return m_hModule != nullptr; }

  // Whether the solar date falls in a leap lunar month: the library's "solar_to_lunar"
  // answered non-zero. False without the library.
  bool IsLeapMonth(int year, int month, int day) const;

 private:
  HMODULE m_hModule = nullptr;
  SolarToLunarFn m_pfnSolarToLunar = nullptr;
  LunarToSolarFn m_pfnLunarToSolar = nullptr;
  EndDayOfLunarMonthFn m_pfnEndDayOfLunarMonth = nullptr;
};

}  // namespace qwb
