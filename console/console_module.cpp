// The Console library's module entry: load and unload of the module. The settings record, the line
// pipeline, the CLog logger and the console window are built on this.
