// The program's entry: the run flow on the real Windows. A console entry without WinMain, so
// the process gets a console (or the one it was started from) and its standard handles.
#include "frontend/RunFlow.h"
#include "platform/RealWindows.h"

int main() {
    return zorvane::RunZorvane(zorvane::RealWindows());
}
