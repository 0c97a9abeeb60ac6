#include "NxoOlaUtil.h"

#include "OutlookIds.h"

using namespace Quenzal::OutlookAddIn;

CDispatchObject AsMailItem(IDispatch* item)
{
    return CDispatchObject::Query(item, IID_OutlookMailItem);
}
