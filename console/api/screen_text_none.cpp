// Linux has no screen device context: CS_TRACEDD draws nothing.
#include "api/screen_text.h"

void DrawScreenText(long, long, const char*, int) {}
