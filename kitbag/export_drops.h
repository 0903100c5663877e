// What Kitbag's exports dropped: the one count of the library's exception boundary. Every export runs its
// work through boundary::guarded with this count; the tests read it here, since no export shows it.
#pragma once

#include "exception_boundary.h"

namespace kitbag {

boundary::DropCount& exportDrops() noexcept;

} // namespace kitbag
