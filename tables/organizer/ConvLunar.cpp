#include "tables/organizer/ConvLunar.h"

#include "wincompat/winbase.h"

namespace qwb {

namespace {

template <typename Fn>
Fn Lookup(HMODULE h, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(h, name)));
}

}  // namespace

CConvLunar::CConvLunar(const WCHAR* name) {
  m_hModule = LoadLibraryW(name);
  if (!m_hModule) return;
  m_pfnSolarToLunar = Lookup<SolarToLunarFn>(m_hModule, "solar_to_lunar");
  m_pfnLunarToSolar = Lookup<LunarToSolarFn>(m_hModule, "lunar_to_solar");
  m_pfnEndDayOfLunarMonth = Lookup<EndDayOfLunarMonthFn>(m_hModule, "end_day_of_lunar_month");
  if (!m_pfnSolarToLunar || !m_pfnLunarToSolar) {
    FreeLibrary(m_hModule);
    m_hModule = nullptr;
    m_pfnSolarToLunar = nullptr;
    m_pfnLunarToSolar = nullptr;
    m_pfnEndDayOfLunarMonth = nullptr;
  }
}

CConvLunar::~CConvLunar() {
  if (m_hModule) FreeLibrary(m_hModule);
}

bool CConvLunar::IsLeapMonth(int year, int month, int day) const {
  if (!m_pfnSolarToLunar) return false;
  int32_t y = year, m = month, d = day;
  return m_pfnSolarToLunar(&y, &m, &d) != 0;
}

}  // namespace qwb
