#include "MapiNames.h"

#include "Exception.h"
#include "MapiHeaders.h"

namespace Quenzal::Mapi {
namespace {

struct CodeName {
    DWORD code;
    const wchar_t* name;
};

#define QZL_MAPI_CODE(code) CodeName{static_cast<DWORD>(code), L"" #code}

const CodeName MapiResultNames[] = {
    QZL_MAPI_CODE(MAPI_E_CALL_FAILED),
    QZL_MAPI_CODE(MAPI_E_NOT_ENOUGH_MEMORY),
    QZL_MAPI_CODE(MAPI_E_INVALID_PARAMETER),
    QZL_MAPI_CODE(MAPI_E_INTERFACE_NOT_SUPPORTED),
    QZL_MAPI_CODE(MAPI_E_NO_ACCESS),
    QZL_MAPI_CODE(MAPI_E_NO_SUPPORT),
    QZL_MAPI_CODE(MAPI_E_BAD_CHARWIDTH),
    QZL_MAPI_CODE(MAPI_E_STRING_TOO_LONG),
    QZL_MAPI_CODE(MAPI_E_UNKNOWN_FLAGS),
    QZL_MAPI_CODE(MAPI_E_INVALID_ENTRYID),
    QZL_MAPI_CODE(MAPI_E_INVALID_OBJECT),
    QZL_MAPI_CODE(MAPI_E_OBJECT_CHANGED),
    QZL_MAPI_CODE(MAPI_E_OBJECT_DELETED),
    QZL_MAPI_CODE(MAPI_E_BUSY),
    QZL_MAPI_CODE(MAPI_E_NOT_ENOUGH_DISK),
    QZL_MAPI_CODE(MAPI_E_NOT_ENOUGH_RESOURCES),
    QZL_MAPI_CODE(MAPI_E_NOT_FOUND),
    QZL_MAPI_CODE(MAPI_E_VERSION),
    QZL_MAPI_CODE(MAPI_E_LOGON_FAILED),
    QZL_MAPI_CODE(MAPI_E_SESSION_LIMIT),
    QZL_MAPI_CODE(MAPI_E_USER_CANCEL),
    QZL_MAPI_CODE(MAPI_E_UNABLE_TO_ABORT),
    QZL_MAPI_CODE(MAPI_E_NETWORK_ERROR),
    QZL_MAPI_CODE(MAPI_E_DISK_ERROR),
    QZL_MAPI_CODE(MAPI_E_TOO_COMPLEX),
    QZL_MAPI_CODE(MAPI_E_BAD_COLUMN),
    QZL_MAPI_CODE(MAPI_E_EXTENDED_ERROR),
    QZL_MAPI_CODE(MAPI_E_COMPUTED),
    QZL_MAPI_CODE(MAPI_E_CORRUPT_DATA),
    QZL_MAPI_CODE(MAPI_E_UNCONFIGURED),
    QZL_MAPI_CODE(MAPI_E_FAILONEPROVIDER),
    QZL_MAPI_CODE(MAPI_E_UNKNOWN_CPID),
    QZL_MAPI_CODE(MAPI_E_UNKNOWN_LCID),
    QZL_MAPI_CODE(MAPI_E_PASSWORD_CHANGE_REQUIRED),
    QZL_MAPI_CODE(MAPI_E_PASSWORD_EXPIRED),
    QZL_MAPI_CODE(MAPI_E_INVALID_WORKSTATION_ACCOUNT),
    QZL_MAPI_CODE(MAPI_E_INVALID_ACCESS_TIME),
    QZL_MAPI_CODE(MAPI_E_ACCOUNT_DISABLED),
    QZL_MAPI_CODE(MAPI_E_END_OF_SESSION),
    QZL_MAPI_CODE(MAPI_E_UNKNOWN_ENTRYID),
    QZL_MAPI_CODE(MAPI_E_MISSING_REQUIRED_COLUMN),
    QZL_MAPI_CODE(MAPI_W_NO_SERVICE),
    QZL_MAPI_CODE(MAPI_E_BAD_VALUE),
    QZL_MAPI_CODE(MAPI_E_INVALID_TYPE),
    QZL_MAPI_CODE(MAPI_E_TYPE_NO_SUPPORT),
    QZL_MAPI_CODE(MAPI_E_UNEXPECTED_TYPE),
    QZL_MAPI_CODE(MAPI_E_TOO_BIG),
    QZL_MAPI_CODE(MAPI_E_DECLINE_COPY),
    QZL_MAPI_CODE(MAPI_E_UNEXPECTED_ID),
    QZL_MAPI_CODE(MAPI_W_ERRORS_RETURNED),
    QZL_MAPI_CODE(MAPI_E_UNABLE_TO_COMPLETE),
    QZL_MAPI_CODE(MAPI_E_TIMEOUT),
    QZL_MAPI_CODE(MAPI_E_TABLE_EMPTY),
    QZL_MAPI_CODE(MAPI_E_TABLE_TOO_BIG),
    QZL_MAPI_CODE(MAPI_E_INVALID_BOOKMARK),
    QZL_MAPI_CODE(MAPI_W_POSITION_CHANGED),
    QZL_MAPI_CODE(MAPI_W_APPROX_COUNT),
    QZL_MAPI_CODE(MAPI_E_WAIT),
    QZL_MAPI_CODE(MAPI_E_CANCEL),
    QZL_MAPI_CODE(MAPI_E_NOT_ME),
    QZL_MAPI_CODE(MAPI_W_CANCEL_MESSAGE),
    QZL_MAPI_CODE(MAPI_E_CORRUPT_STORE),
    QZL_MAPI_CODE(MAPI_E_NOT_IN_QUEUE),
    QZL_MAPI_CODE(MAPI_E_NO_SUPPRESS),
    QZL_MAPI_CODE(MAPI_E_COLLISION),
    QZL_MAPI_CODE(MAPI_E_NOT_INITIALIZED),
    QZL_MAPI_CODE(MAPI_E_NON_STANDARD),
    QZL_MAPI_CODE(MAPI_E_NO_RECIPIENTS),
    QZL_MAPI_CODE(MAPI_E_SUBMITTED),
    QZL_MAPI_CODE(MAPI_E_HAS_FOLDERS),
    QZL_MAPI_CODE(MAPI_E_HAS_MESSAGES),
    QZL_MAPI_CODE(MAPI_E_FOLDER_CYCLE),
    QZL_MAPI_CODE(MAPI_E_STORE_FULL),
    QZL_MAPI_CODE(MAPI_W_PARTIAL_COMPLETION),
    QZL_MAPI_CODE(MAPI_E_AMBIGUOUS_RECIP),
    QZL_MAPI_CODE(MAPI_E_RECONNECTED),
    QZL_MAPI_CODE(MAPI_E_OFFLINE),
    {0x81002746, L"MAPI: User is hidden in the GAL or mailbox does not exist"},
    {0x80040900, L"MAPI: Named property quota exceeded"},
};

#undef QZL_MAPI_CODE

const CodeName NotificationEventNames[] = {
    {fnevCriticalError, L"fnevCriticalError"},
    {fnevNewMail, L"fnevNewMail"},
    {fnevObjectCreated, L"fnevObjectCreated"},
    {fnevObjectDeleted, L"fnevObjectDeleted"},
    {fnevObjectModified, L"fnevObjectModified"},
    {fnevObjectMoved, L"fnevObjectMoved"},
    {fnevObjectCopied, L"fnevObjectCopied"},
    {fnevSearchComplete, L"fnevSearchComplete"},
    {fnevTableModified, L"fnevTableModified"},
    {fnevStatusObjectModified, L"fnevStatusObjectModified"},
    {0x40000000, L"fnevReservedForMapi"},
    {fnevExtended, L"fnevExtended"},
};

const wchar_t* const TableEventNames[] = {
    L"TABLE_CHANGED",      L"TABLE_ERROR",         L"TABLE_ROW_ADDED",  L"TABLE_ROW_DELETED", L"TABLE_ROW_MODIFIED",
    L"TABLE_SORT_DONE",    L"TABLE_RESTRICT_DONE", L"TABLE_SETCOL_DONE", L"TABLE_RELOAD",
};

} // namespace

void RegisterMapiErrorNames()
{
    for (const CodeName& entry : MapiResultNames)
        RegisterErrorCodeName(entry.code, entry.name);
}

StringW FormatNotificationEventMask(ULONG mask)
{
    StringW text;
    for (const CodeName& entry : NotificationEventNames) {
        if ((mask & entry.code) == 0)
            continue;
        if (!text.empty())
            text.append(L" | ");
        text.append(entry.name);
    }
    return text;
}

StringW GetTableEventName(ULONG event)
{
    if (event >= TABLE_CHANGED && event <= TABLE_RELOAD)
        return TableEventNames[event - TABLE_CHANGED];
    return StringW::Format(L"Unknown table event: %u", event);
}

} // namespace Quenzal::Mapi
