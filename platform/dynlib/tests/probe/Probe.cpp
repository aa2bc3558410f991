// A library with one export, loaded by the loader's tests.
extern "C" __attribute__((visibility("default"))) int QlonProbeAnswer() { return 42; }
