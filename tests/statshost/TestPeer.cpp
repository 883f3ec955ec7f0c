// statshost_test_peer: the Linux side of the client's tests on Windows. Serves
// on loopback the simulated broker of the client's tests (with its control
// endpoint), every hostile broker of HostileScripts.h and every broker with
// TLS or tokens of SecureBrokers.h, prints their ports as one line
// "sim=PORT,NAME=PORT,...,pki=FOLDER" (the value of WDX_TEST_PEER, see
// TestBroker.h), and serves until it is ended (SIGTERM, SIGINT) or
// MAX_SECONDS (default 1800) have passed, so that it can never outlive a test
// run by long. The certificates' folder goes with it either way.

#include "HostileScripts.h"
#include "SecureBrokers.h"
#include "brokersim/SimHarness.h"
#include "support/TestPki.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace wdx::testing;
    int maxSeconds = argc > 1 ? std::atoi(argv[1]) : 1800;
    if (maxSeconds <= 0) {
        std::cerr << "statshost_test_peer: MAX_SECONDS must be a positive number of seconds.\n";
        return 2;
    }
    // The signals that end the peer are taken here rather than ending it at
    // once, so that the folder of the certificates is removed; the servers'
    // threads inherit the mask.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    try {
        // RSA: Wine's CryptoAPI now and then refuses a sound ECDSA signature
        // (TRUST_E_CERT_SIGNATURE for a certificate that verifies elsewhere).
        wdx::testsupport::TTestPki pki("rsa:2048");
        WriteTokenFiles(pki);
        wdx::brokersim::TSimServerOptions options;
        options.Control = true;
        TSimHarness sim(SmallScenario, 1, options);
        std::string line = "sim=" + std::to_string(sim.Port());
        std::vector<std::unique_ptr<THostileBroker>> brokers;
        for (const char* name : HostileNames) {
            brokers.push_back(std::make_unique<THostileBroker>(name));
            line += std::string(",") + name + "=" + std::to_string(brokers.back()->Port());
        }
        std::vector<std::unique_ptr<TSimHarness>> secure;
        for (const char* name : SecureNames) {
            secure.push_back(std::make_unique<TSimHarness>(SmallScenario, 1, SecureOptions(pki, name)));
            line += std::string(",") + name + "=" + std::to_string(secure.back()->Port());
        }
        std::string folder = pki.Path("");
        folder.pop_back();
        std::cout << line << ",pki=" << folder << std::endl;
        timespec limit{maxSeconds, 0};
        while (sigtimedwait(&ending, nullptr, &limit) < 0 && errno == EINTR) {
        }
    } catch (const std::exception& e) {
        std::cerr << "statshost_test_peer: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
