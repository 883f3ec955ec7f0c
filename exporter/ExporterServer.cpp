#include "exporter/ExporterServer.h"

#include "WdxVersion.h"

#include <httplib.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <prometheus/counter.h>
#include <prometheus/registry.h>
#include <prometheus/summary.h>
#include <prometheus/text_serializer.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace wdx::exporter {

namespace {

const char* const ExpositionType = "text/plain; version=0.0.4; charset=utf-8";

std::string TlsErrorText() {
    unsigned long Code = ERR_peek_last_error();
    char Text[256] = "unknown reason";
    if (Code)
        ERR_error_string_n(Code, Text, sizeof Text);
    return Text;
}

int AcceptAnyCertificate(int, X509_STORE_CTX*) {
    return 1;
}

// TLS as the web configuration says: certificate and key, TLS 1.2 or later,
// client certificates. False, with Error set, when something cannot be used.
bool SetUpTls(SSL_CTX& Ctx, const TWebConfig& Web, std::string& Error) {
    auto Fail = [&Error](const std::string& What) {
        Error = What + ": " + TlsErrorText();
        return false;
    };
    ERR_clear_error();
    if (!SSL_CTX_set_min_proto_version(&Ctx, Web.Tls13Only ? TLS1_3_VERSION : TLS1_2_VERSION))
        return Fail("cannot set the least TLS version");
    if (SSL_CTX_use_certificate_chain_file(&Ctx, Web.CertFile.c_str()) != 1)
        return Fail("cannot use the certificate " + Web.CertFile);
    if (SSL_CTX_use_PrivateKey_file(&Ctx, Web.KeyFile.c_str(), SSL_FILETYPE_PEM) != 1)
        return Fail("cannot use the key " + Web.KeyFile);
    if (SSL_CTX_check_private_key(&Ctx) != 1)
        return Fail("the key " + Web.KeyFile + " does not belong to the certificate " + Web.CertFile);
    int Mode = SSL_VERIFY_NONE;
    SSL_verify_cb Callback = nullptr;
    switch (Web.ClientAuth) {
    case TClientAuth::NoClientCert:
        break;
    case TClientAuth::RequestClientCert:
        Mode = SSL_VERIFY_PEER, Callback = AcceptAnyCertificate;
        break;
    case TClientAuth::RequireAnyClientCert:
        Mode = SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, Callback = AcceptAnyCertificate;
        break;
    case TClientAuth::VerifyClientCertIfGiven:
        Mode = SSL_VERIFY_PEER;
        break;
    case TClientAuth::RequireAndVerifyClientCert:
        Mode = SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT;
        break;
    }
    if (!Web.ClientCaFile.empty()) {
        if (SSL_CTX_load_verify_locations(&Ctx, Web.ClientCaFile.c_str(), nullptr) != 1)
            return Fail("cannot use the client CA file " + Web.ClientCaFile);
        SSL_CTX_set_client_CA_list(&Ctx, SSL_load_client_CA_file(Web.ClientCaFile.c_str()));
    }
    SSL_CTX_set_verify(&Ctx, Mode, Callback);
    return true;
}

// The listening socket: SO_REUSEADDR only (the library's default also sets
// SO_REUSEPORT, with which a second exporter would share a taken port
// instead of being told it is taken), and [::] serving IPv4 as well,
// whatever the system's default for IPv6 sockets.
void ListenSocketOptions(socket_t Sock) {
    int Yes = 1;
    setsockopt(Sock, SOL_SOCKET, SO_REUSEADDR, &Yes, sizeof Yes);
    int Domain = 0;
    socklen_t Len = sizeof Domain;
    if (getsockopt(Sock, SOL_SOCKET, SO_DOMAIN, &Domain, &Len) == 0 && Domain == AF_INET6) {
        int No = 0;
        setsockopt(Sock, IPPROTO_IPV6, IPV6_V6ONLY, &No, sizeof No);
    }
}

} // namespace

// The figures of serving itself, under the names prometheus-cpp's exposer
// gives them.
struct TExporterServer::TServing {
    std::shared_ptr<prometheus::Registry> Registry = std::make_shared<prometheus::Registry>();
    prometheus::Counter& Bytes = prometheus::BuildCounter()
                                     .Name("exposer_transferred_bytes_total")
                                     .Help("Transferred bytes to metrics services")
                                     .Register(*Registry)
                                     .Add({});
    prometheus::Counter& Scrapes = prometheus::BuildCounter()
                                       .Name("exposer_scrapes_total")
                                       .Help("Number of times metrics were scraped")
                                       .Register(*Registry)
                                       .Add({});
    prometheus::Summary& Latencies =
        prometheus::BuildSummary()
            .Name("exposer_request_latencies")
            .Help("Latencies of serving scrape requests, in microseconds")
            .Register(*Registry)
            .Add({}, prometheus::Summary::Quantiles{{0.5, 0.05}, {0.9, 0.01}, {0.99, 0.001}});
};

const std::string& LandingPage() {
    static const std::string Page = std::string(R"(<!DOCTYPE html>
<html lang="en">
<head><meta charset="utf-8"><title>WDXExporter</title></head>
<body>
<h1>WDXExporter</h1>
<p>Every Component Broker defined on this machine, as Prometheus metrics. Version )") +
                                    wdx::Version + R"(.</p>
<p><a href="/metrics">Metrics</a></p>
</body>
</html>
)";
    return Page;
}

TExporterServer::TExporterServer(const TExporterOptions& Options, TLogSink Log) {
    for (brokerstore::TBrokerScope Scope : {brokerstore::scUser, brokerstore::scSystem})
        if (std::string Problem = StoreProblem(Scope); !Problem.empty())
            throw EExporterStartup(Problem);
    if (Log)
        for (const TBrokerTarget& T : ListBrokerTargets(Options.Collector.Brokers))
            if (!T.Scope)
                Log("broker \"" + T.Name +
                    "\" is not defined, neither for this user nor for this machine; its series say so until "
                    "it is.");

    try {
        FAuth = std::make_unique<TBasicAuth>(Options.Web.Users);
    } catch (const EWebConfig& E) {
        throw EExporterStartup(E.what());
    }
    FCollector = std::make_shared<TExporterCollector>(Options.Collector, Log);
    FServing = std::make_unique<TServing>();

    if (Options.Web.Tls()) {
        std::string Why;
        auto Tls = std::make_unique<httplib::SSLServer>(
            [&](SSL_CTX& Ctx) { return SetUpTls(Ctx, Options.Web, Why); });
        if (!Tls->is_valid())
            throw EExporterStartup("Cannot serve TLS: " + (Why.empty() ? TlsErrorText() : Why) + ".");
        FHttp = std::move(Tls);
    } else {
        FHttp = std::make_unique<httplib::Server>();
    }
    const std::size_t Threads = static_cast<std::size_t>(std::max(1, Options.HttpThreads));
    FHttp->new_task_queue = [Threads] { return new httplib::ThreadPool(Threads); };
    FHttp->set_keep_alive_timeout(2); // stopping waits for idle keep-alive connections
    FHttp->set_read_timeout(10);
    FHttp->set_write_timeout(10);
    FHttp->set_payload_max_length(64 * 1024);
    FHttp->set_socket_options(ListenSocketOptions);

    // With users configured, every path asks for the password.
    FHttp->set_pre_routing_handler([this](const httplib::Request& Req, httplib::Response& Res) {
        std::string User, Password;
        if (!FAuth->Enabled() || (ParseBasicAuth(Req.get_header_value("Authorization"), User, Password) &&
                                  FAuth->Check(User, Password)))
            return httplib::Server::HandlerResponse::Unhandled;
        Res.status = 401;
        Res.set_header("WWW-Authenticate", "Basic realm=\"WDXExporter\"");
        Res.set_content("Unauthorized\n", "text/plain; charset=utf-8");
        return httplib::Server::HandlerResponse::Handled;
    });
    FHttp->Get("/", [](const httplib::Request&, httplib::Response& Res) {
        Res.set_content(LandingPage(), "text/html; charset=utf-8");
    });
    FHttp->Get("/metrics", [this](const httplib::Request&, httplib::Response& Res) {
        const auto Start = std::chrono::steady_clock::now();
        Res.set_content(Metrics(), ExpositionType);
        FServing->Bytes.Increment(static_cast<double>(Res.body.size()));
        FServing->Scrapes.Increment();
        FServing->Latencies.Observe(static_cast<double>(
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - Start)
                .count()));
    });
    auto Refuse = [](const httplib::Request& Req, httplib::Response& Res) {
        const bool Known = Req.path == "/" || Req.path == "/metrics";
        Res.status = Known ? 405 : 404;
        Res.set_content(Known ? "Only GET and HEAD are served here.\n" : "Not found.\n",
                        "text/plain; charset=utf-8");
    };
    FHttp->Post(".*", Refuse);
    FHttp->Put(".*", Refuse);
    FHttp->Delete(".*", Refuse);
    FHttp->Patch(".*", Refuse);
    FHttp->Options(".*", Refuse);
    FHttp->set_exception_handler([](const httplib::Request&, httplib::Response& Res, std::exception_ptr Ep) {
        std::string What = "unknown failure";
        try {
            std::rethrow_exception(Ep);
        } catch (const std::exception& E) {
            What = E.what();
        } catch (...) {
        }
        Res.status = 500;
        Res.set_content("The exporter failed: " + What + "\n", "text/plain; charset=utf-8");
    });

    FAddress = Options.Listen;
    errno = 0;
    const int Port = FAddress.Port == 0
                         ? FHttp->bind_to_any_port(FAddress.Host)
                         : (FHttp->bind_to_port(FAddress.Host, FAddress.Port) ? FAddress.Port : -1);
    if (Port <= 0) {
        const std::string Why = errno ? std::strerror(errno) : "the address cannot be used";
        throw EExporterStartup("Cannot listen on " + Options.Listen.Text() + ": " + Why + ".");
    }
    FAddress.Port = Port;
    FListener = std::thread([this] { FHttp->listen_after_bind(); });
    // A destructor called right away must find it running to stop it.
    for (int I = 0; I < 5000 && !FHttp->is_running(); ++I)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TExporterServer::~TExporterServer() {
    FHttp->stop();
    if (FListener.joinable())
        FListener.join();
}

std::string TExporterServer::Metrics() {
    std::vector<prometheus::MetricFamily> Families = FCollector->Collect();
    for (auto& F : FServing->Registry->Collect())
        Families.push_back(std::move(F));
    return prometheus::TextSerializer().Serialize(Families);
}

} // namespace wdx::exporter
