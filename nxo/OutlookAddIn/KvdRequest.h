#pragma once
// What the attachment stubbing hands to the upload and preamble requests of
// the API client, and the notifier that shows an upload's progress.

#include "ComProgressDlg.h"
#include "HttpRequestNotifier.h"
#include "StringW.h"

#include <cstdint>
#include <vector>

// One stubbing: its stub id, the message's SMTP addresses and the progress
// dialog its requests wait under.
struct KvdRequestInfo {
    Quenzal::StringW Guid;
    Quenzal::StringW Sender;
    std::vector<Quenzal::StringW> Recipients;
    IProgressDialogPtr ProgressDialog;
};

// A file the appliance stored, as the preamble names it.
struct StoredAttachment {
    Quenzal::StringW Id;
    Quenzal::StringW FileName;
    uint64_t Size = 0;
};

// Moves the progress bar as the upload's body goes out (on the pool thread).
// A body sent again after an authentication challenge starts the bar anew.
// The bar is moved at most every few hundredths of a second (and at the end):
// each move waits for the dialog's own thread, and a move per 4096-byte piece
// would slow the upload down to a fraction of its speed.
class CKvdUploadNotifier : public Quenzal::Net::IHttpRequestNotifier {
public:
    explicit CKvdUploadNotifier(const IProgressDialogPtr& progressDialog) : m_progressDialog(progressDialog) {}

    void OnSendingRequest(const std::shared_ptr<Quenzal::Net::CHttpRequest>& request) override;
    void OnDataSent(const void* data, uint64_t length) override;

private:
    IProgressDialogPtr m_progressDialog;
    uint64_t m_total = 0;
    uint64_t m_sent = 0;
    uint64_t m_lastShown = 0; // tick count of the last move
};
