// A fresh simulated machine installed as the program's Windows, with the host facts computed
// and the journal emptied, for tests of single operations.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/HostFacts.h"
#include "sim/SimWindows.h"

namespace zorvane::testing {

using Texts = std::vector<std::string>;

class HostMachine : public ::testing::Test {
  protected:
    HostMachine() { UseSystemDrive("C:"); }
    void UseSystemDrive(const std::string& drive) {
        machine.SetEnv("SystemDrive", drive);
        ComputeHostFacts();
        machine.ClearJournal();
    }
    // The names of the calls journaled, each followed by a space.
    std::string Names() const {
        std::string names;
        for (const std::string& name : machine.JournalNames()) names += name + ' ';
        return names;
    }

    sim::SimWindows machine;
    WindowsScope scope{machine};
};

}  // namespace zorvane::testing
