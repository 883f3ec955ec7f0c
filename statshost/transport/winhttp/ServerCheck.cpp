#include "statshost/transport/winhttp/ServerCheck.h"

#include "statshost/transport/winhttp/WideText.h"

#include <winhttp.h>

#include <cstdio>
#include <vector>

namespace wdx::statshost {

namespace {

// A CA file is a few certificates; anything much larger is not one.
constexpr DWORD MaxCaFileBytes = 1 << 20;

// With its number: a chain's and a policy's errors are less well known.
std::string HresultText(DWORD Code) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(Code));
    std::string text = SystemText(Code);
    return text.empty() ? std::string("error ") + code : text + " (" + code + ")";
}

bool ReadWhole(const std::wstring& Path, std::string& Text, std::string& Why) {
    HANDLE file = CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Why = "it cannot be read: " + HresultText(GetLastError());
        return false;
    }
    Text.assign(MaxCaFileBytes + 1, '\0');
    DWORD got = 0;
    bool ok = true;
    for (DWORD n = 1; ok && n && got < Text.size();) {
        ok = ReadFile(file, Text.data() + got, static_cast<DWORD>(Text.size() - got), &n, nullptr) != FALSE;
        got += ok ? n : 0;
    }
    DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok) {
        Why = "it cannot be read: " + HresultText(error);
        return false;
    }
    if (got > MaxCaFileBytes) {
        Why = "it is larger than " + std::to_string(MaxCaFileBytes) + " bytes";
        return false;
    }
    Text.resize(got);
    return true;
}

} // namespace

std::shared_ptr<const TServerCheck> TServerCheck::Load(const std::string& Path, std::string& Why) {
    const std::wstring wide = WidenUtf8(Path);
    if (wide.empty()) {
        Why = "its name is not UTF-8";
        return nullptr;
    }
    std::string text;
    if (!ReadWhole(wide, text, Why))
        return nullptr;
    std::shared_ptr<TServerCheck> trust(new TServerCheck);
    trust->FStore = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr);
    if (!trust->FStore) {
        Why = "no certificate store: " + HresultText(GetLastError());
        return nullptr;
    }
    static const std::string Begin = "-----BEGIN CERTIFICATE-----";
    static const std::string End = "-----END CERTIFICATE-----";
    int count = 0;
    for (std::size_t at = text.find(Begin); at != std::string::npos; at = text.find(Begin, at)) {
        std::size_t end = text.find(End, at);
        if (end == std::string::npos) {
            Why = "a certificate in it has no end line";
            return nullptr;
        }
        end += End.size();
        DWORD size = 0;
        const DWORD pemSize = static_cast<DWORD>(end - at);
        std::vector<BYTE> der;
        if (CryptStringToBinaryA(text.data() + at, pemSize, CRYPT_STRING_BASE64HEADER, nullptr, &size,
                                 nullptr, nullptr))
            der.resize(size);
        if (der.empty() ||
            !CryptStringToBinaryA(text.data() + at, pemSize, CRYPT_STRING_BASE64HEADER, der.data(), &size,
                                  nullptr, nullptr) ||
            !CertAddEncodedCertificateToStore(trust->FStore, X509_ASN_ENCODING, der.data(), size,
                                              CERT_STORE_ADD_ALWAYS, nullptr)) {
            Why = "certificate " + std::to_string(count + 1) +
                  " in it cannot be read: " + HresultText(GetLastError());
            return nullptr;
        }
        ++count;
        at = end;
    }
    if (count == 0) {
        Why = "it holds no certificate (PEM, \"" + Begin + "\")";
        return nullptr;
    }
    CERT_CHAIN_ENGINE_CONFIG config{};
    config.cbSize = sizeof config;
    config.hExclusiveRoot = trust->FStore;
    if (!CertCreateCertificateChainEngine(&config, &trust->FEngine))
        trust->FEngine = nullptr;
    return trust;
}

std::shared_ptr<const TServerCheck> TServerCheck::System() {
    return std::shared_ptr<const TServerCheck>(new TServerCheck);
}

TServerCheck::~TServerCheck() {
    if (FEngine)
        CertFreeCertificateChainEngine(FEngine);
    if (FStore)
        CertCloseStore(FStore, 0);
}

bool TServerCheck::IsAnchor(PCCERT_CONTEXT Cert) const {
    if (!FStore)
        return false;
    PCCERT_CONTEXT found =
        CertFindCertificateInStore(FStore, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, Cert, nullptr);
    if (!found)
        return false;
    CertFreeCertificateContext(found);
    return true;
}

std::optional<TServerCheck::TRefusal> TServerCheck::Check(PCCERT_CONTEXT Server,
                                                          const std::wstring& Host) const {
    // The file's certificates and the ones the server sent, for building.
    HCERTSTORE both = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
    if (!both)
        return TRefusal{TCertificateProblem::Untrusted,
                        "no certificate store: " + HresultText(GetLastError())};
    if (FStore)
        CertAddStoreToCollection(both, FStore, 0, 0);
    if (Server->hCertStore)
        CertAddStoreToCollection(both, Server->hCertStore, 0, 0);
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    char* usage[] = {serverAuth};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usage;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    BOOL built = CertGetCertificateChain(FEngine, Server, nullptr, both, &para, 0, nullptr, &chain);
    DWORD buildError = GetLastError();
    CertCloseStore(both, 0);
    if (!built || !chain)
        return TRefusal{TCertificateProblem::Untrusted,
                        "its chain cannot be built: " + HresultText(buildError)};

    // Revocation is not asked for; with a file, its root is not the system's
    // and it may be an intermediate whose own issuer is not given.
    const DWORD Accepted = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION |
                           (FStore ? CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN : 0);
    std::optional<TRefusal> refusal;
    bool anchored = !FStore; // the system's roots: the policy tells
    if (FStore && chain->cChain > 0) {
        const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
        for (DWORD i = 0; i < simple->cElement && !anchored; ++i)
            anchored = IsAnchor(simple->rgpElement[i]->pCertContext);
    }
    if (!anchored) {
        refusal =
            TRefusal{TCertificateProblem::Untrusted, "its chain does not reach a certificate of the file"};
    } else {
        // With a file, the root is the file's, which the system need not
        // know: only that is set aside; dates, name, usage and signatures
        // are the policy's.
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.fdwChecks = FStore ? SECURITY_FLAG_IGNORE_UNKNOWN_CA : 0;
        ssl.pwszServerName = const_cast<wchar_t*>(Host.c_str());
        CERT_CHAIN_POLICY_PARA policy{};
        policy.cbSize = sizeof policy;
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS status{};
        status.cbSize = sizeof status;
        if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status))
            refusal = TRefusal{TCertificateProblem::Untrusted,
                               "the policy check cannot run: " + HresultText(GetLastError())};
        else if (status.dwError == static_cast<DWORD>(CERT_E_EXPIRED) ||
                 status.dwError == static_cast<DWORD>(CERT_E_VALIDITYPERIODNESTING))
            refusal = TRefusal{TCertificateProblem::Expired, HresultText(status.dwError)};
        else if (status.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH))
            refusal = TRefusal{TCertificateProblem::WrongHost, HresultText(status.dwError)};
        else if (status.dwError != 0)
            refusal = TRefusal{TCertificateProblem::Untrusted, HresultText(status.dwError)};
        else if (DWORD wrong = chain->TrustStatus.dwErrorStatus & ~Accepted) {
            // Not every policy says all (Wine's lets a partial chain pass).
            char bits[16];
            std::snprintf(bits, sizeof bits, "0x%08lx", static_cast<unsigned long>(wrong));
            refusal =
                TRefusal{TCertificateProblem::Untrusted, std::string("its chain's trust status is ") + bits};
        }
    }
    CertFreeCertificateChain(chain);
    return refusal;
}

} // namespace wdx::statshost
