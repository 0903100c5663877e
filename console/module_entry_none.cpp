// Linux has no module entry to write: the runtime builds and destroys the module-wide objects
// (state/console_state.cpp) when the library is loaded and unloaded.
