// Text drawn straight onto the screen, for CS_TRACEDD.
#pragma once

// Draws count characters of text at screen position (x, y), yellow on blue, in the screen's current font.
// Nothing is drawn on a platform without a screen to draw on (Linux).
void DrawScreenText(long x, long y, const char* text, int count);
