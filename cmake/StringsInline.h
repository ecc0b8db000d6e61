#pragma once
// Included before every file of the shipped program. The standard library declares its wide
// string's members as instantiated inside the library, so the first use of any of them linked the
// library's whole instantiation, built with exceptions: 35 KB of code and unwind tables, and with
// them the unwinder. Turned off here (the library's own switch for its checked builds, which
// touches nothing but basic_string), each member we use is compiled with our files' flags, and
// the linker drops the rest.
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
