#include "brokersim/SimServer.h"

#include "brokersim/ConnectionThreads.h"

#include "statshost/StatsEncoders.h"

#include <httplib.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>

namespace wdx::brokersim {

using statshost::EncodeError;
using statshost::PercentDecode;

namespace {

const char* const JsonType = "application/json; charset=utf-8";

// Connections waiting to be accepted (the system may take fewer).
constexpr int ListenBacklog = 4096;

std::vector<std::string> Split(const std::string& Path) {
    std::vector<std::string> parts;
    std::size_t start = 1; // after the leading '/'
    while (start <= Path.size()) {
        std::size_t end = Path.find('/', start);
        if (end == std::string::npos)
            end = Path.size();
        parts.push_back(Path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool PeerOf(int Fd, bool Local, std::string& Addr, int& Port) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    int rc = Local ? getsockname(Fd, reinterpret_cast<sockaddr*>(&ss), &len)
                   : getpeername(Fd, reinterpret_cast<sockaddr*>(&ss), &len);
    if (rc != 0)
        return false;
    char text[INET6_ADDRSTRLEN] = {};
    if (ss.ss_family == AF_INET) {
        auto* a = reinterpret_cast<sockaddr_in*>(&ss);
        inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
        Port = ntohs(a->sin_port);
    } else if (ss.ss_family == AF_INET6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
        inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
        Port = ntohs(a->sin6_port);
    } else {
        return false;
    }
    Addr = text;
    return true;
}

// Shuts down every socket of this process whose local port is LocalPort and,
// when PeerPort is not 0, whose other end is PeerAddr:PeerPort.
void ShutdownSockets(int LocalPort, const std::string& PeerAddr, int PeerPort) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        int fd = 0;
        try {
            fd = std::stoi(entry.path().filename().string());
        } catch (const std::exception&) {
            continue;
        }
        std::string localAddr, peerAddr;
        int localPort = 0, peerPort = 0;
        if (!PeerOf(fd, true, localAddr, localPort) || localPort != LocalPort ||
            !PeerOf(fd, false, peerAddr, peerPort))
            continue;
        if (PeerPort == 0 || (peerPort == PeerPort && peerAddr == PeerAddr))
            ::shutdown(fd, SHUT_RDWR);
    }
}

// The HTTP library does not hand its socket to handlers, so the connection
// of a request is found by its two ends and shut down: the client sees the
// connection close without a byte of answer.
void CloseConnection(const httplib::Request& Req) {
    ShutdownSockets(Req.local_port, Req.remote_addr, Req.remote_port);
}

// The reason OpenSSL gives for the last failure on this thread.
std::string LastTlsError() {
    unsigned long code = ERR_peek_last_error();
    if (code == 0)
        return "the files cannot be read or do not belong together";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

// Whether Seg (a split path) is the action request of a component.
bool IsActionPath(const std::vector<std::string>& Seg) {
    return Seg.size() == 4 && Seg[0] == "v1" && Seg[1] == "components" && Seg[3] == "actions";
}

TSimReply BadRequest(const std::string& Text) {
    return {400, EncodeError(ecBadRequest, Text)};
}

} // namespace

TSimServer::TSimServer(std::shared_ptr<TSimBroker> Broker, TSimServerOptions Options)
    : FBroker(std::move(Broker)), FOptions(std::move(Options)) {
    for (auto& f : FOptions.Faults)
        FFaults.Add(f);
}

TSimServer::~TSimServer() {
    Stop();
}

int TSimServer::Start() {
    if (FHttp)
        throw ESimServer("The simulator is already serving.");
    std::signal(SIGPIPE, SIG_IGN);
    if (FOptions.CertFile.empty() != FOptions.KeyFile.empty())
        throw ESimServer("TLS needs both a certificate file and its key file.");
    try {
        if (!FOptions.TokenFile.empty())
            FTokens = TTokenTable::Load(FOptions.TokenFile);
        if (!FOptions.AuditFile.empty())
            FAudit =
                std::make_unique<TAuditLog>(FOptions.AuditFile == "-" ? std::string() : FOptions.AuditFile);
    } catch (const std::exception& e) {
        throw ESimServer(e.what());
    }
    if (!FOptions.CertFile.empty()) {
        ERR_clear_error();
        auto tls = std::make_unique<httplib::SSLServer>(FOptions.CertFile.c_str(), FOptions.KeyFile.c_str());
        if (!tls->is_valid())
            throw ESimServer("Cannot serve TLS with the certificate " + FOptions.CertFile + " and the key " +
                             FOptions.KeyFile + ": " + LastTlsError() + ".");
        SSL_CTX_set_min_proto_version(tls->ssl_context(), TLS1_2_VERSION);
        FHttp = std::move(tls);
    } else {
        FHttp = std::make_unique<httplib::Server>();
    }
    // A thread per connection: cpp-httplib serves a connection on one thread
    // from accept to close and has no deadline for a whole request (each
    // byte restarts the read time-out), so with a fixed pool a few hundred
    // idle or slow connections would keep every good request waiting.
    std::size_t threads = static_cast<std::size_t>(std::max(2, FOptions.Threads));
    FHttp->new_task_queue = [threads] { return new TConnectionThreads(threads); };
    // Short keep-alive so that stopping does not wait long on idle clients.
    FHttp->set_keep_alive_timeout(2);
    FHttp->set_keep_alive_max_count(1000);
    FHttp->set_read_timeout(5);
    FHttp->set_write_timeout(5);
    FHttp->set_payload_max_length(1024 * 1024);
    FHttp->set_tcp_nodelay(true); // headers and body go out in separate writes
    auto handler = [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); };
    FHttp->Get(".*", handler);
    FHttp->Post(".*", handler);
    FHttp->Put(".*", handler);
    FHttp->Delete(".*", handler);
    FHttp->Patch(".*", handler);
    FHttp->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
        std::string what = "unknown failure";
        try {
            std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        res.status = 500;
        res.set_content(EncodeError(ecSimulatedFailure, "The simulator failed: " + what), JsonType);
    });

    // The library listens with a backlog of 5: under a flood of connections
    // a good client's connection attempt would be dropped and retried a
    // second later. Listening again on the same socket sets a longer one.
    int listenFd = -1;
    FHttp->set_socket_options([&listenFd](socket_t Sock) {
        httplib::default_socket_options(Sock);
        listenFd = Sock;
    });
    errno = 0;
    int port = FOptions.Port == 0 ? FHttp->bind_to_any_port(FOptions.Host)
                                  : (FHttp->bind_to_port(FOptions.Host, FOptions.Port) ? FOptions.Port : -1);
    if (port <= 0) {
        std::string why = errno ? std::strerror(errno) : "the address cannot be used";
        FHttp.reset();
        throw ESimServer("Cannot listen on " + FOptions.Host + ":" + std::to_string(FOptions.Port) + ": " +
                         why + ".");
    }
    FPort = port;
    if (listenFd >= 0)
        ::listen(listenFd, ListenBacklog);
    auto ended = std::make_shared<std::atomic<bool>>(false);
    FListener = std::thread([this, ended] {
        FHttp->listen_after_bind();
        *ended = true;
    });
    // Stop() only reaches a server that is already running, so wait for it.
    for (int i = 0; i < 5000 && !FHttp->is_running() && !*ended; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!FHttp->is_running()) {
        Stop();
        throw ESimServer("The simulator could not start serving on port " + std::to_string(port) + ".");
    }
    if (FOptions.TickMillis > 0)
        FTicker = std::thread([this] { RunTicker(); });
    return port;
}

void TSimServer::Stop() {
    {
        std::lock_guard lock(FSleepLock);
        FStopping = true;
    }
    FWake.notify_all();
    if (FHttp) {
        FHttp->stop();
        // Idle keep-alive connections would otherwise hold each worker until
        // its keep-alive time runs out.
        if (FPort > 0)
            ShutdownSockets(FPort, {}, 0);
    }
    if (FListener.joinable())
        FListener.join();
    if (FTicker.joinable())
        FTicker.join();
}

bool TSimServer::Sleep(int Millis) {
    std::unique_lock lock(FSleepLock);
    return !FWake.wait_for(lock, std::chrono::milliseconds(Millis), [this] { return FStopping.load(); });
}

void TSimServer::RunTicker() {
    while (Sleep(FOptions.TickMillis))
        FBroker->Tick(1);
}

void TSimServer::Handle(const httplib::Request& Req, httplib::Response& Res) {
    const std::string path = Req.target.substr(0, Req.target.find('?'));
    const std::vector<std::string> seg = Split(path);
    const bool action = Req.method == "POST" && IsActionPath(seg);
    std::string tokenName = "-";
    // Reading needs a read token, anything else (an action, the control
    // endpoint) an operate token.
    if (!FTokens || Admit(Req, path, Req.method != "GET", Res, tokenName))
        Serve(Req, Res, path);
    if (action && FAudit) {
        auto component = PercentDecode(seg[2]);
        Audit(Req, Res, component ? *component : seg[2], tokenName);
    }
}

bool TSimServer::Admit(const httplib::Request& Req, const std::string& Path, bool Operate,
                       httplib::Response& Res, std::string& TokenName) {
    std::optional<std::string> token = BearerToken(Req.get_header_value("Authorization"));
    std::optional<TTokenEntry> entry = token ? FTokens->Find(*token) : std::nullopt;
    if (!entry) {
        Res.status = 401;
        Res.set_header("WWW-Authenticate", "Bearer realm=\"WDXBrokerSim\"");
        Res.set_content(EncodeError(ecNoToken, token ? "The token is not known to this broker."
                                                     : "This broker asks for a token."),
                        JsonType);
        return false;
    }
    TokenName = entry->Name;
    if (Operate && entry->Role != TRole::Operate) {
        Res.status = 403;
        Res.set_content(EncodeError(ecNotPermitted, "The token \"" + entry->Name + "\" may only read; " +
                                                        Req.method + " " + Path +
                                                        " needs the role \"operate\"."),
                        JsonType);
        return false;
    }
    return true;
}

void TSimServer::Audit(const httplib::Request& Req, const httplib::Response& Res,
                       const std::string& Component, const std::string& TokenName) {
    TAuditEntry entry;
    entry.TokenName = TokenName;
    entry.Component = Component;
    entry.Status = Res.status;
    nlohmann::json body = nlohmann::json::parse(Req.body, nullptr, false);
    if (body.is_object()) {
        if (auto it = body.find("action"); it != body.end() && it->is_string())
            entry.Action = it->get<std::string>();
        if (auto it = body.find("value"); it != body.end() && it->is_number_integer())
            entry.Value = it->get<int64_t>();
    }
    if (Res.status == 200) {
        entry.Result = "done";
    } else {
        nlohmann::json answer = nlohmann::json::parse(Res.body, nullptr, false);
        const nlohmann::json* text = nullptr;
        if (answer.is_object() && answer.contains("error") && answer["error"].is_object() &&
            answer["error"].contains("text") && answer["error"]["text"].is_string())
            text = &answer["error"]["text"];
        entry.Result = text              ? text->get<std::string>()
                       : Res.status <= 0 ? std::string("connection closed without an answer")
                                         : "HTTP status " + std::to_string(Res.status);
    }
    FAudit->Write(entry);
}

void TSimServer::Serve(const httplib::Request& Req, httplib::Response& Res, const std::string& path) {
    if (FOptions.Control && path.rfind("/control/", 0) == 0) {
        Deliver(Req, Res, Control(Req, path), nullptr);
        return;
    }
    std::optional<TFault> fault = FFaults.Take(path);
    if (!fault) {
        Deliver(Req, Res, Route(Req, path), nullptr);
        return;
    }
    switch (fault->Kind) {
    case TFaultKind::Refuse:
        CloseConnection(Req);
        return;
    case TFaultKind::Stall:
        if (!Sleep(fault->Millis)) {
            CloseConnection(Req);
            return;
        }
        Deliver(Req, Res, Route(Req, path), nullptr);
        return;
    case TFaultKind::Error:
        Deliver(Req, Res, {fault->Status, EncodeError(ecSimulatedFailure, fault->Text)}, nullptr);
        return;
    case TFaultKind::Body:
        Deliver(Req, Res, {fault->Status, fault->Text}, nullptr);
        return;
    case TFaultKind::Oversize:
    case TFaultKind::Malformed:
    case TFaultKind::Trickle:
        Deliver(Req, Res, Route(Req, path), &*fault);
        return;
    }
}

TSimReply TSimServer::Route(const httplib::Request& Req, const std::string& Path) {
    std::vector<std::string> seg = Split(Path);
    for (std::size_t i = 2; i < seg.size(); ++i) {
        auto decoded = PercentDecode(seg[i]);
        if (!decoded)
            return BadRequest("The request path holds a broken %-escape.");
        seg[i] = std::move(*decoded);
    }
    const std::string& m = Req.method;
    auto wrongMethod = [&](const char* Method) {
        return TSimReply{
            405, EncodeError(ecMethodNotAllowed, m + " is not allowed on " + Path + "; use " + Method + ".")};
    };
    // Answers a GET, or refuses the method, without running Fn for the latter.
    auto get = [&](auto&& Fn) { return m == "GET" ? Fn() : wrongMethod("GET"); };
    std::size_t n = seg.size();
    if (n >= 2 && seg[0] == "v1") {
        const std::string& what = seg[1];
        if (n == 2 && what == "broker")
            return get([&] { return FBroker->BrokerInfo(); });
        if (n == 2 && what == "health")
            return get([&] { return FBroker->Health(); });
        if (n == 2 && what == "components")
            return get([&] { return FBroker->Components(); });
        if (n == 3 && what == "components")
            return get([&] { return FBroker->Details(seg[2]); });
        if (n == 4 && what == "components" && seg[3] == "services")
            return get([&] { return FBroker->Services(seg[2]); });
        if (n == 4 && what == "components" && seg[3] == "actions")
            return m == "POST" ? FBroker->Action(seg[2], Req.body) : wrongMethod("POST");
        if (n == 4 && what == "services" && seg[3] == "parameters")
            return get([&] { return FBroker->Parameters(seg[2], Req.get_param_value("component")); });
        if (n == 3 && what == "versions")
            return get([&] { return FBroker->Version(seg[2]); });
    }
    return {404, EncodeError(ecNoSuchRequest, "No such request: " + m + " " + Path + ".")};
}

TSimReply TSimServer::Control(const httplib::Request& Req, const std::string& Path) {
    nlohmann::json body = nlohmann::json::object();
    if (!Req.body.empty()) {
        body = nlohmann::json::parse(Req.body, nullptr, false);
        if (body.is_discarded())
            return BadRequest("The control request is not valid JSON.");
    }
    auto list = [this] {
        nlohmann::json all = nlohmann::json::array();
        for (const auto& f : FFaults.List())
            all.push_back(FaultToJson(f));
        return TSimReply{200, nlohmann::json{{"faults", all}}.dump()};
    };
    try {
        if (Path == "/control/faults") {
            if (Req.method == "GET")
                return list();
            if (Req.method == "DELETE") {
                FFaults.Clear();
                return list();
            }
            if (Req.method == "POST") {
                FFaults.Add(FaultFromJson(body));
                return list();
            }
        } else if (Path == "/control/reset" && Req.method == "POST") {
            FFaults.Clear();
            FBroker->Reset();
            return list();
        } else if (Path == "/control/tick" && Req.method == "POST") {
            int count = 1;
            if (auto it = body.find("count"); it != body.end()) {
                if (!it->is_number_integer() || *it < 1 || *it > 100000)
                    return BadRequest("count must be an integer from 1 to 100000.");
                count = it->get<int>();
            }
            FBroker->Tick(count);
            return {200, nlohmann::json{{"ticked", count}}.dump()};
        } else if (Path == "/control/health" && Req.method == "POST") {
            statshost::THealth h;
            auto state = body.value("state", std::string());
            if (state != "healthy" && state != "warning")
                return BadRequest("state must be \"healthy\" or \"warning\".");
            h.State =
                state == "healthy" ? statshost::THealthState::Healthy : statshost::THealthState::Warning;
            auto text = body.find("text");
            if (text != body.end() && !text->is_string())
                return BadRequest("text must be a text.");
            h.Text = text != body.end() ? text->get<std::string>() : std::string();
            FBroker->SetHealth(h);
            return FBroker->Health();
        }
    } catch (const EFaultSpec& e) {
        return BadRequest(std::string("The fault is not valid: ") + e.what() + ".");
    } catch (const nlohmann::json::exception& e) {
        return BadRequest(std::string("The control request is not valid: ") + e.what());
    }
    return {404, EncodeError(ecNoSuchRequest, "No such control request: " + Req.method + " " + Path + ".")};
}

void TSimServer::Deliver(const httplib::Request&, httplib::Response& Res, const TSimReply& Reply,
                         const TFault* Fault) {
    Res.status = Reply.Status;
    if (!Fault) {
        Res.set_content(Reply.Body, JsonType);
        return;
    }
    switch (Fault->Kind) {
    case TFaultKind::Malformed:
        Res.set_content(Reply.Body.substr(0, Reply.Body.size() / 2), JsonType);
        return;
    case TFaultKind::Trickle: {
        auto body = std::make_shared<std::string>(Reply.Body);
        int ms = Fault->Millis;
        Res.set_content_provider(body->size(), JsonType,
                                 [this, body, ms](std::size_t Offset, std::size_t, httplib::DataSink& Sink) {
                                     if (Offset > 0 && !Sleep(ms))
                                         return false;
                                     Sink.write(body->data() + Offset, 1);
                                     return true;
                                 });
        return;
    }
    case TFaultKind::Oversize: {
        std::size_t total = Fault->Bytes;
        Res.status = 200;
        Res.set_chunked_content_provider(JsonType,
                                         [this, total](std::size_t Offset, httplib::DataSink& Sink) {
                                             static const std::string Pad(64 * 1024, 'x');
                                             if (FStopping)
                                                 return false;
                                             if (Offset == 0) {
                                                 Sink.write("{\"pad\":\"", 8);
                                                 return true;
                                             }
                                             std::size_t left = total > Offset + 2 ? total - Offset - 2 : 0;
                                             if (left == 0) {
                                                 Sink.write("\"}", 2);
                                                 Sink.done();
                                                 return true;
                                             }
                                             Sink.write(Pad.data(), std::min(left, Pad.size()));
                                             return true;
                                         });
        return;
    }
    default:
        Res.set_content(Reply.Body, JsonType);
    }
}

} // namespace wdx::brokersim
