#pragma once
// The check of the broker's certificate that the transport makes itself once
// WinHTTP has it: against the system's trusted certificates, or against the
// certificates of a definition's CA file as the only anchors of trust; with
// the system's chain building and SSL policy (CryptoAPI) either way. It
// tells which of the failures of HttpTransport.h applies, where WinHTTP
// may not (Wine does not).

#include "statshost/transport/HttpTransport.h"

#include <windows.h>

#include <wincrypt.h>

#include <memory>
#include <optional>
#include <string>

namespace wdx::statshost {

class TServerCheck {
public:
    // The PEM certificates of the file at Path (UTF-8); nullptr with Why
    // set when there are none or the file cannot be read.
    static std::shared_ptr<const TServerCheck> Load(const std::string& Path, std::string& Why);
    // The system's trusted certificates.
    static std::shared_ptr<const TServerCheck> System();
    ~TServerCheck();
    TServerCheck(const TServerCheck&) = delete;
    TServerCheck& operator=(const TServerCheck&) = delete;

    struct TRefusal {
        TCertificateProblem Problem;
        std::string Detail;
    };
    // Whether Server (with the certificates the server sent in its store)
    // chains to a trusted certificate (one of the file's, when there is a
    // file), is valid now and is for Host.
    std::optional<TRefusal> Check(PCCERT_CONTEXT Server, const std::wstring& Host) const;

private:
    TServerCheck() = default;
    bool IsAnchor(PCCERT_CONTEXT Cert) const;
    HCERTSTORE FStore = nullptr; // the file's certificates; none for the system's
    // The file's certificates as the exclusive roots, where the system
    // offers that (Windows 8 and later); else the default engine, which may
    // end a chain elsewhere: IsAnchor holds either way.
    HCERTCHAINENGINE FEngine = nullptr;
};

} // namespace wdx::statshost
