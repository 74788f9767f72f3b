#include "boot/RunOnce.h"

#include "boot/MachineKey.h"
#include "boot/Restart.h"
#include "boot/RestartProgram.h"
#include "platform/Guarded.h"
#include "platform/Registry.h"

namespace zorvane {

void ScheduleRunOnceAndRestart(const std::string& program, bool copyMade) {
    // Without the entry the cure has still run in place; the restart matters more than the
    // rescan, so a registry refusal (no rights, key not creatable) is swallowed.
    bool registered = false;
    Guarded([&] {
        TRegistry registry;
        OpenOrMakeMachineKey(registry, RunOnceKey);
        // "/AfterCure": a rescan that finds a threat again reports it instead of curing and
        // restarting once more, which would restart the machine after every logon.
        registry.PutString("Zorvane", CommandFor(program, " /Auto /AfterCure"));
        registered = true;
    });
    if (!registered && copyMade) Guarded(RemoveRestartCopy);
    RestartSystem();
}

}  // namespace zorvane
