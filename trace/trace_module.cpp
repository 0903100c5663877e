// The Trace library's module. The trace object, its queue and print thread and the 19 exports are
// built here; until then the library loads and exports nothing.
