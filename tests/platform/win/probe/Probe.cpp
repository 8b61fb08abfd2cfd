// A library to be found by LoadLibraryW.
extern "C" int WcProbeAnswer() { return 42; }
