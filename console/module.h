// The Console module itself: its instance handle.
#pragma once

// The module's own instance handle (HINSTANCE), recorded when the process attaches the module: the source
// of its resources and the argument of the window thread. Null on Linux, where nothing needs it.
extern void* moduleInstance;
