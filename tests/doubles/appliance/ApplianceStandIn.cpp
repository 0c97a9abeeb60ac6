#include "ApplianceStandIn.h"

#include "Http.h"
#include "HttpConnection.h"
#include "HttpRequest.h"
#include "HttpResponse.h"
#include "OutStream.h"
#include "StringW.h"

#include <stdexcept>

#ifndef QZL_APPLIANCE_ROUTES
#error "QZL_APPLIANCE_ROUTES must name appliance.py"
#endif

using namespace Quenzal;

namespace NxoTest {

CApplianceStandIn::CApplianceStandIn() : m_server({"http", "--tls", "--routes", QZL_APPLIANCE_ROUTES}) {}

std::wstring CApplianceStandIn::Uri(const char* host) const
{
    return StringW(std::string("https://") + host + ":" + std::to_string(m_server.Port()));
}

std::string CApplianceStandIn::Control(const std::string& target)
{
    Net::CUri uri;
    uri.Parse(StringW(Uri()).GetAnsi(CP_ACP) + target);
    auto request = std::make_shared<Net::CHttpRequest>(uri);
    auto response = Net::MakeHttpRequest(nullptr, std::make_shared<Net::CHttpConnection>(nullptr), request);
    if (response->GetStatus() != 200)
        throw std::runtime_error("stand-in appliance refused " + target);
    return StreamToString(response->GetContentBody());
}

void CApplianceStandIn::AddAccount(const std::wstring& user, const std::wstring& secret)
{
    Net::QueryParameters query;
    Net::AddQueryParameter(query, "user", user);
    Net::AddQueryParameter(query, "secret", secret);
    Control("/_account?" + Net::FormatQueryString(query));
}

void CApplianceStandIn::Switch(const std::string& script, const std::string& query)
{
    Control("/_switch?" + (script.empty() ? query : "script=" + script + "&" + query));
}

std::vector<Json::Value> CApplianceStandIn::Seen(const std::string& script)
{
    Json::Value all;
    std::string errors;
    std::string text = Control("/_seen");
    std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    if (!reader->parse(text.data(), text.data() + text.size(), &all, &errors))
        throw std::runtime_error("stand-in appliance sent no JSON: " + errors);
    std::vector<Json::Value> seen;
    for (const Json::Value& request : all)
        if (script.empty() || request["script"].asString() == script)
            seen.push_back(request);
    return seen;
}

std::string HeaderOf(const Json::Value& request, const std::string& name)
{
    for (const Json::Value& header : request["headers"])
        if (_stricmp(header[0].asCString(), name.c_str()) == 0)
            return header[1].asString();
    return std::string();
}

} // namespace NxoTest
