// Linux has no module entry to write: the runtime builds and destroys the module-wide objects
// (console_module.cpp) when the library is loaded and unloaded.
