// A lunar library that lacks the required "lunar_to_solar": the loader must refuse it. Its
// "solar_to_lunar" answers "leap" for every date, so a loader that kept it would show.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) int solar_to_lunar(int32_t*, int32_t*,
                                                                     int32_t*) {
  return 1;
}
