#pragma once
// The stand-in appliance (appliance.py in this folder) run for one test:
// HTTPS on 127.0.0.1 with a fresh certificate, its switches for what goes
// wrong in the field, and what it saw of each request.

#include "TestServer.h"

#include <json/json.h>

#include <string>
#include <vector>

namespace NxoTest {

class CApplianceStandIn {
public:
    CApplianceStandIn();

    // "https://127.0.0.1:<port>"; with another host name for the same server.
    std::wstring Uri(const char* host = "127.0.0.1") const;
    // A Digest account the appliance knows from now on.
    void AddAccount(const std::wstring& user, const std::wstring& secret);
    // "status=560&reason=Quota%20exceeded", for one script or (empty) for all.
    void Switch(const std::string& script, const std::string& query);
    // The requests of the script (every script when empty), oldest first.
    std::vector<Json::Value> Seen(const std::string& script = std::string());

private:
    std::string Control(const std::string& target);

    QzlTest::CTestServer m_server;
};

// A header's value as the appliance saw it; empty when absent.
std::string HeaderOf(const Json::Value& request, const std::string& name);

} // namespace NxoTest
