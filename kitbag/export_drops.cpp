#include "export_drops.h"

namespace kitbag {

boundary::DropCount& exportDrops() noexcept {
    static boundary::DropCount drops;
    return drops;
}

} // namespace kitbag
