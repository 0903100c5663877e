// PelmoraVersion: the version of the Pelmora logging libraries these headers belong to.
//
// Trace.h, Console.h and Kitbag.h include it, so a host can tell at compile time which release it builds
// against (#if PELMORA_VERSION_MAJOR == 0 && PELMORA_VERSION_MINOR < 2 ...).
//
// The build takes the version from this file: it is also the version of the package, of the Windows DLLs'
// version resources and of the Linux libraries' file names. Plain preprocessor definitions, usable from C.
#pragma once

#define PELMORA_VERSION_MAJOR 0
#define PELMORA_VERSION_MINOR 1
#define PELMORA_VERSION_PATCH 0
#define PELMORA_VERSION_STRING "0.1.0"
