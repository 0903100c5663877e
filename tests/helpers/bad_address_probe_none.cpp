#include "bad_address_probe.h"

bool ProbeUnreadableAddress() {
    return false;
}
