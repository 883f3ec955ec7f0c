// statshost_test_peer: the Linux side of the client's tests on Windows. Serves
// on loopback the simulated broker of the client's tests (with its control
// endpoint) and every hostile broker of HostileScripts.h, prints their ports
// as one line "sim=PORT,NAME=PORT,..." (the value of WDX_TEST_PEER, see
// TestBroker.h), and serves until it is ended or MAX_SECONDS (default 1800)
// have passed, so that it can never outlive a test run by long.

#include "HostileScripts.h"
#include "brokersim/SimHarness.h"

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    using namespace wdx::testing;
    int maxSeconds = argc > 1 ? std::atoi(argv[1]) : 1800;
    if (maxSeconds <= 0) {
        std::cerr << "statshost_test_peer: MAX_SECONDS must be a positive number of seconds.\n";
        return 2;
    }
    try {
        wdx::brokersim::TSimServerOptions options;
        options.Control = true;
        TSimHarness sim(SmallScenario, 1, options);
        std::string line = "sim=" + std::to_string(sim.Port());
        std::vector<std::unique_ptr<THostileBroker>> brokers;
        for (const char* name : HostileNames) {
            brokers.push_back(std::make_unique<THostileBroker>(name));
            line += std::string(",") + name + "=" + std::to_string(brokers.back()->Port());
        }
        std::cout << line << std::endl;
        std::this_thread::sleep_for(std::chrono::seconds(maxSeconds));
    } catch (const std::exception& e) {
        std::cerr << "statshost_test_peer: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
