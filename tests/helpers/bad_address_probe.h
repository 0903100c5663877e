// A system function that handles a fault of its own, for the tests of the callback guard (Windows).
#pragma once

// IsBadReadPtr on an address that cannot be read: true (the function caught the access fault it raised
// and reported the address bad). Always false on Linux, which has no such function.
bool ProbeUnreadableAddress();
