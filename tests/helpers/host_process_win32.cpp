#include "host_process.h"

#include <fcntl.h>
#include <io.h>

bool RedirectStandardOutputToUnreadPipe() {
    int ends[2];
    if (_pipe(ends, 4096, _O_BINARY) != 0)
        return false;
    // The reading end stays open (and is never read): writes block rather than fail.
    return _dup2(ends[1], 1) == 0;
}

bool CanFork() {
    return false;
}

int RunInForkedChild(const std::function<int()>&, unsigned) {
    return -1;
}
