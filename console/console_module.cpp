// The module-wide objects of Console, in the order of their lives.
//
// They are constructed when the module loads, in the order written here, and destroyed in the reverse
// order when it unloads. The CLog logger is created later (on first use) and registers its destruction
// then, so the runtime destroys it, writing its footer through the pipeline, before consoleState and
// PipelineLock go. Nothing is torn down in the module's detach code: with mingw the runtime's exit list
// runs after it, and the footer still needs the lock and the state.
#include "api/line_pipeline.h"
#include "module.h"
#include "window/console_state.h"

void* moduleInstance = nullptr;

// The two flags of the settings' load (window/console_state.h): constant-initialised, so they hold their
// value before any object below is constructed.
std::atomic<bool> settingsLoaded{false};
std::atomic<bool> firstLoadFinished{false};

// Every line holds it for a moment (the copy into the ring buffer): it spins before it waits.
platform::RecursiveLock PipelineLock(kPipelineLockSpins);
ConsoleState consoleState;
