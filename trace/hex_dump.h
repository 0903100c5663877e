// TraceHexDump: a byte block as text, 16 bytes a row. A pure function into the caller's string: any thread.
#pragma once

#include <cstddef>
#include <string>

// Replaces out with "\n" and one row per 16 bytes: "%08X: " offset, "%02X " per byte (blanks for missing
// ones), three blanks, the bytes as characters (from 32 to 128 inclusive as themselves, "." otherwise)
// and "\n". A length that is a multiple of 16 ends with a row holding only the offset. Returns length, or 0
// (out untouched) when data is null or length is below 1.
int TraceHexDump(std::string& out, const unsigned char* data, int length);
// The same, but rows stop once out holds at least maxCharacters: for a caller that keeps only the start of
// the text, so that a large block costs only the rows that can be kept. Returns length all the same.
int TraceHexDump(std::string& out, const unsigned char* data, int length, std::size_t maxCharacters);
