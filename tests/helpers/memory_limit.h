// A cap on the memory a helper host may still take, for cases that must not depend on the machine's
// memory (Linux: the address-space limit; Windows: a job's limit on the process's committed memory).
#pragma once

#include <cstddef>

// Lets the process take at most about the given number of bytes beyond what it uses now. True when the
// limit is set and holds: a block just past it is refused (Wine, for one, accepts a job's limit but does
// not enforce it).
bool LimitFurtherMemory(std::size_t bytes);
