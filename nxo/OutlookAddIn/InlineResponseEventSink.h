#pragma once
// One Outlook explorer's inline responses: when a reply opens in the reading
// pane, the add-in refreshes the buttons that depend on the message (the
// encryption button); when the explorer closes, the add-in drops the sink.
// Each event has its own connection to the explorer.

#include "DispatchObject.h"
#include "EventSink.h"

#include <functional>

class CInlineResponseEventSink {
public:
    using Handler = std::function<void()>;
    using CloseHandler = std::function<void(CInlineResponseEventSink*)>;

    // onClose may destroy the sink.
    CInlineResponseEventSink(Handler onInlineResponse, CloseHandler onClose);
    ~CInlineResponseEventSink();
    CInlineResponseEventSink(const CInlineResponseEventSink&) = delete;
    CInlineResponseEventSink& operator=(const CInlineResponseEventSink&) = delete;

    // Raises CComError: E_FAIL when already connected, the explorer's
    // failure when a connection is refused.
    void Initialize(const Quenzal::OutlookAddIn::CDispatchObject& explorer);
    // Never fails; harmless when not connected.
    void Uninitialize();
    bool IsInitialized() const { return static_cast<bool>(m_explorer); }

private:
    void OnInlineResponse();
    void OnInlineResponseClose();
    void OnClose();

    Quenzal::OutlookAddIn::CEventSinkRef m_inlineResponseSink;
    Quenzal::OutlookAddIn::CEventSinkRef m_inlineResponseCloseSink;
    Quenzal::OutlookAddIn::CEventSinkRef m_closeSink;
    Handler m_onInlineResponse;
    CloseHandler m_onClose;
    Quenzal::OutlookAddIn::CDispatchObject m_explorer;
};
