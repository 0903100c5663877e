#include "thread_error_info.h"

std::string ThreadErrorDescription() {
    return "none";
}
