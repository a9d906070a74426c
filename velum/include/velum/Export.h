// Export and import of the library's classes, functions and data. Keyed on
// the platform, not the compiler: MinGW builds need the declarations too.
#pragma once

#if defined(_WIN32)
#  if defined(VELUM_BUILDING)
#    define VELUM_API __declspec(dllexport)
#  else
#    define VELUM_API __declspec(dllimport)
#  endif
#else
#  define VELUM_API __attribute__((visibility("default")))
#endif
