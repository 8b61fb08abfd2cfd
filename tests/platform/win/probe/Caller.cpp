// Loads "wcprobe.dll" by bare name: the rule finds libwcprobe.so beside this library.
#include "wincompat/winbase.h"

extern "C" HMODULE WcCallerLoadProbe() {
  HMODULE h = LoadLibraryW(u"wcprobe.dll");
  // Used after the call, so that the call is not a tail call: the calling module is found
  // from the return address.
  SetLastError(h ? ERROR_SUCCESS : GetLastError());
  return h;
}
