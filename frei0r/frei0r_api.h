// Debian's frei0r.h declares the entry points without extern "C"; every C++ file of the plug-ins
// includes it through here so that the declarations and the exported functions agree.
#pragma once

extern "C" {
#include <frei0r.h>
}
