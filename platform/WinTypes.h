#pragma once
// The few Windows scalar names the ported classes keep in their interfaces.
// BOOL stays an int (not bool) so that a string literal never converts to it
// silently in an overload set.
#include <cstdint>

typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
