#pragma once
// Writes broker definitions into the settings store the way the
// administrator's edit dialog writes them, and the client directory as the
// package does, for tests that run on a
// TTempStore (TempStore.h). A definition that cannot be written fails the
// test (and throws, so that nothing runs on without it).
//
//   wdx::testsupport::Define(brokerstore::scUser, "Alpha", "127.0.0.1");

#include "brokerstore/BrokerStore.h"
#include "registry/Registry.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace wdx::testsupport {

// The port and time-out texts go in as given; LogLevel 1 logs the
// communication, 2 the calls, 3 both.
inline void Define(brokerstore::TBrokerScope Scope, const std::string& Name,
                   const std::string& Host = "localhost", const std::string& Port = "7563",
                   const std::string& TimeOut = "30", bool Pooling = false, int LogLevel = 0) {
    const brokerstore::TBrokerDefinition d{
        Name, Scope, Host, Port, TimeOut, Pooling, (LogLevel & 1) != 0, (LogLevel & 2) != 0};
    if (!brokerstore::WriteBrokerDefinition(d)) {
        ADD_FAILURE() << "cannot write the definition of " << Name;
        throw std::runtime_error("cannot write the definition of " + Name);
    }
}

// "ClientDir" of the System root, as the package sets it; the help file is
// looked for beside it.
inline void SetClientDir(const std::string& Dir) {
    if (!registry::WriteText(registry::TRegRoot::System, brokerstore::ProductKey, brokerstore::ClientDirValue,
                             Dir)) {
        ADD_FAILURE() << "cannot write the client directory " << Dir;
        throw std::runtime_error("cannot write the client directory " + Dir);
    }
}

} // namespace wdx::testsupport
