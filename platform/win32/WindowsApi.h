// The Windows API for the few files that call it directly. Lean (no old winsock.h, no GDI extras)
// and without the min/max macros that would break std::min and std::max in the files that include it.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <windows.h>
