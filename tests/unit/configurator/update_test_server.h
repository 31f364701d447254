// The local HTTPS update service of tests/unit/configurator/update_server.py,
// started as a Linux program from inside Wine, with its certificate among the
// prefix's trusted roots while it runs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tsltest_update {

class UpdateTestServer {
public:
    // Starts the server and trusts its certificate; false when it did not come up.
    bool Start();
    // Ends the server and removes the certificate from the trusted roots.
    void Stop();

    // "https://localhost:PORT/<scenario>/checkupdates" on the trusted port.
    std::wstring Endpoint(const std::wstring& scenario) const;
    std::wstring UntrustedEndpoint(const std::wstring& scenario) const;
    // "path<TAB>user agent" of every request so far.
    std::vector<std::string> Requests() const;

private:
    std::string m_state;  // host path of the server's folder
    int m_trustedPort = 0, m_untrustedPort = 0;
    std::vector<BYTE> m_certificate; // DER
};

} // namespace tsltest_update
