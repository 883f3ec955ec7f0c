#pragma once
// Certificates made at run time for TLS tests, with the openssl command in a
// temporary folder that goes with the object: nothing secret is kept in the
// source tree. Made once per process (the keys take a moment) and shared.
//
//   ca.pem                   the test CA that clients are told to trust
//   server.pem, server.key   for localhost, 127.0.0.1 and ::1, signed by the CA
//   wronghost.pem/.key       for "elsewhere.invalid" only, signed by the CA
//   expired.pem/.key         for localhost, signed by the CA, expired in 2020
//   stranger.pem/.key        for localhost, signed by a CA nobody trusts
//   client.pem, client.key   a client certificate signed by the CA

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace wdx::testsupport {

class TTestPki {
public:
    ~TTestPki() {
        std::error_code Ignored;
        std::filesystem::remove_all(FDir, Ignored);
    }
    TTestPki(const TTestPki&) = delete;
    TTestPki& operator=(const TTestPki&) = delete;
    static const TTestPki& Shared() {
        static const TTestPki Pki;
        return Pki;
    }
    std::string Path(const std::string& File) const { return FDir + "/" + File; }

    // KeyArgs: openssl's -newkey argument for every key, P-256 unless told.
    explicit TTestPki(std::string KeyArgs = "ec -pkeyopt ec_paramgen_curve:P-256")
        : FKeyArgs(std::move(KeyArgs)) {
        std::string Template = (std::filesystem::temp_directory_path() / "wdx-pki-XXXXXX").string();
        if (!mkdtemp(Template.data()))
            throw std::runtime_error("no temporary folder for the test certificates");
        FDir = Template;
        Write("ca.cnf", "[ca]\ndefault_ca=dflt\n[dflt]\ndatabase=index.txt\nnew_certs_dir=.\nserial=serial\n"
                        "default_md=sha256\npolicy=any\nunique_subject=no\ncopy_extensions=none\n[any]"
                        "\ncommonName=supplied\n");
        Write("index.txt", "");
        Write("serial", "1000\n");
        Write("localhost.ext", "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1\n");
        Write("elsewhere.ext", "subjectAltName=DNS:elsewhere.invalid\n");
        Write("client.ext", "extendedKeyUsage=clientAuth\n");
        Run("openssl req -x509 -newkey " + FKeyArgs +
            " -nodes -keyout ca.key -out ca.pem -days 30 -subj /CN=WDX-Test-CA");
        Run("openssl req -x509 -newkey " + FKeyArgs +
            " -nodes -keyout stranger-ca.key -out stranger-ca.pem -days 30 -subj /CN=Stranger-CA");
        Sign("server", "localhost", "localhost.ext", "ca", "-days 30");
        Sign("wronghost", "elsewhere.invalid", "elsewhere.ext", "ca", "-days 30");
        Sign("expired", "localhost", "localhost.ext", "ca",
             "-startdate 20200101000000Z -enddate 20200102000000Z");
        Sign("stranger", "localhost", "localhost.ext", "stranger-ca", "-days 30");
        Sign("client", "wdx-client", "client.ext", "ca", "-days 30");
    }

private:
    void Write(const std::string& File, const std::string& Text) { std::ofstream(Path(File)) << Text; }
    void Run(const std::string& Command) const {
        const std::string Line = "cd '" + FDir + "' && " + Command + " >/dev/null 2>&1";
        if (std::system(Line.c_str()) != 0)
            throw std::runtime_error("making test certificates failed: " + Command);
    }
    void Sign(const std::string& Name, const std::string& Cn, const std::string& Ext, const std::string& Ca,
              const std::string& Dates) const {
        Run("openssl req -newkey " + FKeyArgs + " -nodes -keyout " + Name + ".key -out " + Name +
            ".csr -subj /CN=" + Cn);
        Run("openssl ca -batch -config ca.cnf -notext -cert " + Ca + ".pem -keyfile " + Ca + ".key -in " +
            Name + ".csr -out " + Name + ".pem -extfile " + Ext + " " + Dates);
    }
    std::string FKeyArgs;
    std::string FDir;
};

} // namespace wdx::testsupport
