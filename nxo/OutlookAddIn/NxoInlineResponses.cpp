// Replies written inline in an explorer's reading pane (Outlook 2013 and
// later): each explorer gets a sink that refreshes the buttons depending on
// the message when an inline response opens, and that the add-in drops when
// the explorer closes.
#include "NxoOutlookAddIn.h"

#include "CaughtException.h"
#include "ErrorReport.h"
#include "Logging.h"
#include "NxoCommandIds.h"
#include "OutlookIds.h"

using namespace Quenzal;
using namespace Quenzal::OutlookAddIn;

namespace {

constexpr int FirstOutlookWithInlineResponses = 15;

} // namespace

void CNxoOutlookAddIn::OnNewExplorer(IDispatch* explorer)
{
    Logging::Log(Logging::Trace, L"Entered CNxoOutlookAddIn::OnNewExplorer");
    try {
        if (GetOutlookVersion() >= FirstOutlookWithInlineResponses) {
            auto sink = std::make_unique<CInlineResponseEventSink>(
                [this] { OnInlineResponse(); },
                [this](CInlineResponseEventSink* closed) { OnExplorerClosed(closed); });
            sink->Initialize(CDispatchObject::Query(explorer, IID_OutlookExplorer));
            m_inlineResponseSinks.push_back(std::move(sink));
        }
    } catch (const CException& e) {
        QZL_REPORT_CAUGHT(QZL_FUNCTION, e);
    }
    COutlookAddIn::OnNewExplorer(explorer);
}

// From the sink's own Close handler: the sink goes away here.
void CNxoOutlookAddIn::OnExplorerClosed(CInlineResponseEventSink* sink)
{
    std::erase_if(m_inlineResponseSinks, [sink](const auto& held) { return held.get() == sink; });
}

// Office asks the encryption toggle for its state again, now for the reply
// shown inline.
void CNxoOutlookAddIn::OnInlineResponse()
{
    const CDispatchObject& ribbon = GetRibbonUI();
    if (!ribbon)
        QZL_THROW(QZL_FUNCTION, CComError(E_POINTER));
    ribbon.Call(L"InvalidateControl", {_variant_t(GetCommandName(CommandEncrypt).c_str())});
}
