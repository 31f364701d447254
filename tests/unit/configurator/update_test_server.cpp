#include "update_test_server.h"

#include <wincrypt.h>
#include <wininet.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "support/automation.h"

namespace tsltest_update {

namespace {

std::string ReadHostFile(const std::string& hostPath)
{
    std::ifstream in(tsltest::Narrow(tsltest::HostPathToWindows(hostPath)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

HCERTSTORE OpenMachineRoot()
{
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
}

} // namespace

bool UpdateTestServer::Start()
{
    m_state = std::string(TSL_BUILD_DIR) + "/update-server";
    const std::wstring state = tsltest::HostPathToWindows(m_state);
    DeleteFileW((state + L"\\ports.txt").c_str());
    DeleteFileW((state + L"\\requests.log").c_str());

    // Wine starts a Linux program through "start /unix".
    const std::wstring arguments =
        L"/unix /usr/bin/python3 " +
        tsltest::Widen(std::string(TSL_SOURCE_DIR) + "/tests/unit/configurator/update_server.py ") +
        tsltest::Widen(m_state);
    tsltest::ChildProcess starter;
    if (!starter.Start(L"C:\\windows\\system32\\start.exe", arguments))
        return false;
    starter.WaitExit(10000);
    if (!tsltest::WaitUntil([&] { return !ReadHostFile(m_state + "/ports.txt").empty(); }, 60000))
        return false;
    std::istringstream(ReadHostFile(m_state + "/ports.txt")) >> m_trustedPort >> m_untrustedPort;

    const std::string pem = ReadHostFile(m_state + "/trusted.pem");
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
        return false;
    m_certificate.resize(size);
    CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, m_certificate.data(), &size, nullptr, nullptr);
    HCERTSTORE root = OpenMachineRoot();
    if (!root)
        return false;
    const bool added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, m_certificate.data(), size,
                                                        CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
    CertCloseStore(root, 0);
    return added && m_trustedPort && m_untrustedPort;
}

void UpdateTestServer::Stop()
{
    if (m_trustedPort) {
        if (HINTERNET session = InternetOpenW(L"tsltest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0)) {
            const std::wstring quit = L"https://localhost:" + std::to_wstring(m_trustedPort) + L"/quit";
            if (HINTERNET request = InternetOpenUrlW(session, quit.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0))
                InternetCloseHandle(request);
            InternetCloseHandle(session);
        }
    }
    if (!m_certificate.empty()) {
        if (HCERTSTORE root = OpenMachineRoot()) {
            if (PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, m_certificate.data(),
                                                                   static_cast<DWORD>(m_certificate.size()))) {
                if (PCCERT_CONTEXT found = CertFindCertificateInStore(root, X509_ASN_ENCODING, 0,
                                                                      CERT_FIND_EXISTING, cert, nullptr))
                    CertDeleteCertificateFromStore(found);
                CertFreeCertificateContext(cert);
            }
            CertCloseStore(root, 0);
        }
    }
}

std::wstring UpdateTestServer::Endpoint(const std::wstring& scenario) const
{
    return L"https://localhost:" + std::to_wstring(m_trustedPort) + L"/" + scenario + L"/checkupdates";
}

std::wstring UpdateTestServer::UntrustedEndpoint(const std::wstring& scenario) const
{
    return L"https://localhost:" + std::to_wstring(m_untrustedPort) + L"/" + scenario + L"/checkupdates";
}

std::vector<std::string> UpdateTestServer::Requests() const
{
    std::vector<std::string> lines;
    std::istringstream in(ReadHostFile(m_state + "/requests.log"));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace tsltest_update
