// How much slower than a native machine this process runs. A machine that runs the engine under
// software emulation is several times slower; the engine's watchdogs (a renderer's connection,
// its end, the threads' stop) and the test API's waits are multiplied by this factor there, so
// that slowness is not taken for a hang. The factor comes from BRIVELO_CEF_PACE, a whole number
// from 1 to 50, and is 1 when that is unset or not such a number. Read once; any thread.
#ifndef CEF_ENGINE_PACE_H_
#define CEF_ENGINE_PACE_H_

#include <windows.h>

namespace cefengine {

int Pace();
// `ms` times Pace(), at most INFINITE - 1 (a paced wait still ends).
DWORD Paced(DWORD ms);

}  // namespace cefengine

#endif  // CEF_ENGINE_PACE_H_
