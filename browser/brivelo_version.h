// The version of the Brivelo executable: its version block (brivelo.rc) is made from these, and
// its file version is what the crash hand-off reports. Read by the resource compiler as well as
// by C++, so plain macros only.
#pragma once

#define BRIVELO_VERSION_MAJOR 1
#define BRIVELO_VERSION_MINOR 0
#define BRIVELO_VERSION_BUILD 0
#define BRIVELO_VERSION_REVISION 1
// The same four numbers as text.
#define BRIVELO_VERSION_TEXT "1.0.0.1"
