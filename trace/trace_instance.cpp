#include "trace_instance.h"

namespace {

// Constructed before, and so destroyed after, every other object of the library (the console watcher
// traces through it until it ends).
__attribute__((init_priority(200))) CTrace theTrace;

} // namespace

CTrace& TheTrace() {
    return theTrace;
}
