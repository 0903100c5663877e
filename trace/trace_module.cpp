// Linux has no module entry to write: the runtime builds and destroys the trace object (trace_instance.cpp)
// when the library is loaded and unloaded.
