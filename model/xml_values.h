// Value readers shared by every models-set element reader: numbers as text
// lists, booleans, and packed little-endian arrays in lowercase hexadecimal.
#pragma once

#include <cstdint>

class TiXmlElement;

// Decodes up to byteCount bytes of lowercase hex digits (anything else is
// skipped). Returns the position just after the last character consumed.
const char* hexDecode(const char* text, int byteCount, unsigned char* out);
// The same, also telling how many whole bytes were written.
const char* hexDecode(const char* text, int byteCount, unsigned char* out, int* decoded);

// Packed reals: size 8 = double, 4 = float widened. Other sizes read nothing.
const char* readRealArray(const char* text, int size, int n, double* out);
// Packed integers: size 4 = int32, 2 = uint16 with 0xFFFF read as -1.
const char* readIntArray(const char* text, int size, int n, int32_t* out);

// Text lists: tokens separated by runs of " ,\t\r\n". Return how many were stored.
int readReals(const char* text, double* out, int n);
// Integers past the int range read as its nearest end.
int readInt(const char* text, int* out);

// The text of a value element: its first child node when that is text, else null.
const char* elementText(const TiXmlElement* element);

// True only when the child exists and exactly n numbers were stored.
bool readRealsChild(const TiXmlElement* element, const char* child, double* out, int n);
// True when the child holds an integer; out becomes (value != 0).
bool readBoolChild(const TiXmlElement* element, const char* child, bool* out);

// Attributes scanned as "%d" / "%lf"; false (out untouched) when absent or
// not a number. An integer past the int range reads as its nearest end, so
// a huge count or size is refused as too large rather than wrapping.
bool intAttribute(const TiXmlElement* element, const char* name, int* out);
bool realAttribute(const TiXmlElement* element, const char* name, double* out);
