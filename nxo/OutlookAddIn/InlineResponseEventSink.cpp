#include "InlineResponseEventSink.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "Logging.h"
#include "OutlookIds.h"

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

CEventSinkRef MakePart(DISPID event, std::function<void()> handler)
{
    return CEventSinkRef::Create(DIID_ExplorerEvents10,
                                 std::map<DISPID, CEventSink::Handler>{
                                     {event, [handler = std::move(handler)](const CEventArguments&) { handler(); }}});
}

} // namespace

CInlineResponseEventSink::CInlineResponseEventSink(Handler onInlineResponse, CloseHandler onClose)
    : m_inlineResponseSink(MakePart(DISPID_InlineResponse, [this] { OnInlineResponse(); })),
      m_inlineResponseCloseSink(MakePart(DISPID_InlineResponseClose, [this] { OnInlineResponseClose(); })),
      m_closeSink(MakePart(DISPID_ExplorerClose, [this] { OnClose(); })),
      m_onInlineResponse(std::move(onInlineResponse)), m_onClose(std::move(onClose))
{
}

CInlineResponseEventSink::~CInlineResponseEventSink()
{
    Uninitialize();
    for (CEventSink* part : {m_inlineResponseSink.Get(), m_inlineResponseCloseSink.Get(), m_closeSink.Get()})
        part->Disconnect();
}

void CInlineResponseEventSink::Initialize(const CDispatchObject& explorer)
{
    const wchar_t* function = QZL_FUNCTION;
    if (!explorer)
        QZL_THROW(function, CComError(E_POINTER));
    // A sink is connected once; the connections it has stay as they are.
    if (m_explorer)
        QZL_THROW(function, CComError(E_FAIL));
    m_explorer = explorer;
    try {
        for (CEventSink* part : {m_inlineResponseSink.Get(), m_inlineResponseCloseSink.Get(), m_closeSink.Get()})
            part->Advise(explorer.GetInterface());
    } catch (...) {
        // No connection is left half made.
        Uninitialize();
        throw;
    }
}

void CInlineResponseEventSink::Uninitialize()
{
    if (!m_explorer)
        return;
    for (CEventSink* part : {m_closeSink.Get(), m_inlineResponseCloseSink.Get(), m_inlineResponseSink.Get()}) {
        try {
            part->Unadvise();
        }
        QZL_CATCH_REPORT(QZL_FUNCTION)
    }
    m_explorer = CDispatchObject();
}

void CInlineResponseEventSink::OnInlineResponse()
{
    Logging::Log(Logging::Trace, L"Entering CInlineResponseEventSink::OnInlineResponse");
    try {
        m_onInlineResponse();
        Logging::Log(Logging::Trace, L"Leaving CInlineResponseEventSink::OnInlineResponse");
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
    }
}

void CInlineResponseEventSink::OnInlineResponseClose()
{
    Logging::Log(Logging::Trace, L"Entering CInlineResponseEventSink::OnInlineResponseClose");
    Logging::Log(Logging::Trace, L"Leaving CInlineResponseEventSink::OnInlineResponseClose");
}

// The add-in may destroy this sink in the handler: nothing of it is used after.
void CInlineResponseEventSink::OnClose()
{
    Logging::Log(Logging::Trace, L"Entering CInlineResponseEventSink::OnClose");
    m_onClose(this);
    Logging::Log(Logging::Trace, L"Leaving CInlineResponseEventSink::OnClose");
}
