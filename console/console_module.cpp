// The module-wide objects of Console, in the order of their lives.
//
// They are constructed when the module loads, in the order written here, and destroyed in the reverse
// order when it unloads. The CLog logger is created later (on first use) and registers its destruction
// then, so the runtime destroys it, writing its footer through the pipeline, before consoleState and
// PipelineLock go. Nothing is torn down in the module's detach code: with mingw the runtime's exit list
// runs after it, and the footer still needs the lock and the state.
#include "console_state.h"
#include "line_pipeline.h"
#include "module.h"

void* moduleInstance = nullptr;

platform::RecursiveLock PipelineLock;
ConsoleState consoleState;
