// The module-wide objects of Console, in the order of their lives.
//
// They are constructed when the module loads, in the order written here, and destroyed in the reverse
// order when it unloads. The CLog logger is created later (on first use) and registers its destruction
// then, so the runtime destroys it, writing its footer through the pipeline, before consoleState and
// PipelineLock go. Nothing is torn down in the module's detach code: with mingw the runtime's exit list
// runs after it, and the footer still needs the lock and the state.
//
// A process that exits while its other threads still run (exit() on Linux, or wherever Console is linked
// into the executable) runs the exit list under their feet: a thread may be inside any export, holding or
// waiting for PipelineLock and writing into the ring buffer. consoleState and PipelineLock then stay as
// they are (the system takes their memory back with the process); they are destroyed only when no other
// thread can reach them: at an unload, or when a Windows process exit has stopped the other threads. The
// module's first load (LoadSettings) is what lets the exit list tell the two apart on Linux
// (platform::watchForProcessExit).
#include "state/console_state.h"

#include <new>
#include <utility>

namespace {

// An object in storage of its own, destroyed at the module's end unless other threads may still use it.
template <typename T> class ModuleObject {
public:
    template <typename... Arguments> explicit ModuleObject(Arguments&&... arguments) {
        new (m_storage) T(std::forward<Arguments>(arguments)...);
    }
    ~ModuleObject() {
        if (!platform::exitingWhileOtherThreadsRun())
            Get().~T();
    }
    ModuleObject(const ModuleObject&) = delete;
    ModuleObject& operator=(const ModuleObject&) = delete;

    T& Get() { return *std::launder(reinterpret_cast<T*>(m_storage)); }

private:
    alignas(T) unsigned char m_storage[sizeof(T)];
};

} // namespace

void* moduleInstance = nullptr;

// The two flags of the settings' load: constant-initialised, so they hold their value before any object
// below is constructed.
std::atomic<bool> settingsLoaded{false};
std::atomic<bool> firstLoadFinished{false};

namespace {
ModuleObject<ConsoleLock> pipelineLockObject(kPipelineLockSpins);
ModuleObject<ConsoleState> consoleStateObject;
// An atomic count needs no construction order: constant-initialised, it counts from the module's start.
boundary::DropCount consoleDrops;
} // namespace

ConsoleLock& PipelineLock = pipelineLockObject.Get();
ConsoleState& consoleState = consoleStateObject.Get();

ConsoleState::ConsoleState()
    : aviLogging("Debug", "Enable AVI Logging", false), captureLogging("Debug", "Capture Logging", false) {
    // Nothing is read at load: the values read the store when first asked.
    aviLogging.Reload(0, nullptr);
    captureLogging.Reload(0, nullptr);
}

boundary::DropCount& ConsoleDrops() {
    return consoleDrops;
}
