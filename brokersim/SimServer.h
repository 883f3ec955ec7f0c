#pragma once
// The simulated broker's HTTP side: serves the statistics protocol from a
// TSimBroker, runs the load ticker, injects faults, and, when enabled, the
// control endpoint through which tests switch faults while it runs.
//
// Starting the server ignores SIGPIPE for the whole process: a client that
// goes away mid-answer must not end the simulator.

#include "brokersim/Access.h"
#include "brokersim/Faults.h"
#include "brokersim/SimModel.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace wdx::brokersim {

struct TSimServerOptions {
    std::string Host = "127.0.0.1";
    int Port = 0;          // 0: any free port
    int TickMillis = 1000; // load step interval; 0: no steps unless asked through the control endpoint
    bool Control = false;  // serve /control/...
    // Connections served at once, each on its own thread (made as they
    // arrive, ended when idle); more wait for a free one.
    int Threads = 2048;
    std::vector<TFault> Faults;
    // TLS (1.2 or later) from these PEM files when both are given.
    std::string CertFile;
    std::string KeyFile;
    // Bearer tokens with roles (see Access.h); empty: no token is asked for.
    std::string TokenFile;
    // One line per action: appended to this file, "-" for standard error,
    // empty for none.
    std::string AuditFile;
};

class ESimServer : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TSimServer {
public:
    TSimServer(std::shared_ptr<TSimBroker> Broker, TSimServerOptions Options);
    ~TSimServer(); // stops
    TSimServer(const TSimServer&) = delete;
    TSimServer& operator=(const TSimServer&) = delete;

    // Binds, then serves on a thread of its own. Returns the port taken.
    // Throws ESimServer when the address cannot be bound, or the certificate,
    // key, token file or audit file cannot be used.
    int Start();
    // Ends serving: stalls and trickles are cut short, the threads joined.
    // Safe to call more than once and from any thread but a handler's.
    void Stop();
    int Port() const { return FPort; }
    TFaultTable& Faults() { return FFaults; }
    TSimBroker& Broker() { return *FBroker; }

private:
    void Handle(const httplib::Request& Req, httplib::Response& Res);
    // The token check: false when Res now holds the refusal (401 or 403).
    bool Admit(const httplib::Request& Req, const std::string& Path, bool Operate, httplib::Response& Res,
               std::string& TokenName);
    void Serve(const httplib::Request& Req, httplib::Response& Res, const std::string& Path);
    void Audit(const httplib::Request& Req, const httplib::Response& Res, const std::string& Component,
               const std::string& TokenName);
    TSimReply Route(const httplib::Request& Req, const std::string& Path);
    TSimReply Control(const httplib::Request& Req, const std::string& Path);
    void Deliver(const httplib::Request& Req, httplib::Response& Res, const TSimReply& Reply,
                 const TFault* Fault);
    // Waits up to Millis; false when the server is stopping.
    bool Sleep(int Millis);
    void RunTicker();

    std::shared_ptr<TSimBroker> FBroker;
    TSimServerOptions FOptions;
    TFaultTable FFaults;
    std::optional<TTokenTable> FTokens;
    std::unique_ptr<TAuditLog> FAudit;
    std::unique_ptr<httplib::Server> FHttp;
    std::thread FListener;
    std::thread FTicker;
    int FPort = 0;
    std::atomic<bool> FStopping{false};
    std::mutex FSleepLock;
    std::condition_variable FWake;
};

} // namespace wdx::brokersim
