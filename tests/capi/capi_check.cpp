// The same check compiled as C++ without Qt.
#include "capi_check.c"
