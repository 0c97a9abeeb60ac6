#include "MimeMessage.h"

#include "ErrorReport.h"
#include "MimeContent.h"

namespace Quenzal::Net {

CMimeMessage::~CMimeMessage() = default;

CMimeMessage::HeaderPtr CMimeMessage::FindHeader(const char* name, const CMimeHeader* after) const
{
    return m_body ? m_body->FindHeader(name, after) : nullptr;
}

bool CMimeMessage::HasHeaders() const
{
    return m_body && m_body->HasHeaders();
}

void CMimeMessage::AddHeader(const HeaderPtr& header)
{
    if (m_body)
        m_body->AddHeader(header);
}

void CMimeMessage::RemoveHeaders(const char* name)
{
    if (m_body)
        m_body->RemoveHeaders(name);
}

void CMimeMessage::ClearHeaders()
{
    if (m_body)
        m_body->ClearHeaders();
}

CMimeMessage::HeaderPtr CMimeMessage::CreateHeader(const char* name)
{
    if (!m_body)
        QZL_THROW(QZL_FUNCTION, CException(L"MIME message has no body"));
    return m_body->CreateHeader(name);
}

void CMimeMessage::SetEntity(const std::shared_ptr<CMimeEntity>& entity)
{
    if (!entity)
        QZL_THROW(QZL_FUNCTION, CException(L"MIME message has no body"));
    entity->SetHeaderFactory(GetHeaderFactory());
    if (m_body && m_body != entity) {
        for (const auto& entry : m_body->GetHeaders())
            entity->AddHeader(entry.second);
    }
    m_body = entity;
}

void CMimeMessage::Parse(const std::string& text)
{
    std::shared_ptr<CMimeEntity> entity = ParseMimeEntity(text.data(), text.size(), GetHeaderFactory());
    if (!entity)
        entity = std::make_shared<CMimeContent>();
    SetEntity(entity);
}

void CMimeMessage::AddHeaders(const CMimeMessage& other)
{
    AddHeaders(other, [](const HeaderPtr&) { return true; });
}

void CMimeMessage::AddHeaders(const CMimeMessage& other, const HeaderPredicate& predicate)
{
    if (!m_body || !other.m_body || m_body == other.m_body)
        return;
    for (const auto& entry : other.m_body->GetHeaders()) {
        if (predicate(entry.second))
            m_body->AddHeader(entry.second);
    }
}

} // namespace Quenzal::Net
