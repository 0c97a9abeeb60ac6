#include "ActivationContext.h"
#include "Exception.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Quenzal;
using namespace Quenzal::Os;
using QzlTest::CLogCapture;

// The test executable carries manifest resources 2 (valid) and 4 (unreadable)
// and none of id 3 (TrindleTest.rc).

namespace {

// The context on top of the calling thread's stack (null for none).
HANDLE CurrentContext()
{
    HANDLE context = nullptr;
    EXPECT_TRUE(GetCurrentActCtx(&context));
    // Only the identity is compared; the reference taken here is not needed.
    if (context != nullptr)
        ReleaseActCtx(context);
    return context;
}

} // namespace

TEST(ActivationContext, FallsBackToTheSecondManifestAndDeactivatesOnDestruction)
{
    HANDLE before = CurrentContext();
    {
        CActivationContext context;
        EXPECT_FALSE(context.ActivateContext(3));
        EXPECT_EQ(CurrentContext(), before);
        EXPECT_TRUE(context.ActivateContext(2));
        HANDLE active = CurrentContext();
        EXPECT_NE(active, before);
        EXPECT_NE(active, nullptr);
    }
    EXPECT_EQ(CurrentContext(), before);
}

TEST(ActivationContext, ActivatingAgainReleasesTheFirstContext)
{
    HANDLE before = CurrentContext();
    {
        CActivationContext context;
        ASSERT_TRUE(context.ActivateContext(2));
        ASSERT_TRUE(context.ActivateContext(2));
        EXPECT_NE(CurrentContext(), before);
        // A failed attempt leaves nothing active either.
        EXPECT_FALSE(context.ActivateContext(3));
        EXPECT_EQ(CurrentContext(), before);
        ASSERT_TRUE(context.ActivateContext(2));
    }
    // Had the first context stayed on the stack, it would be on top now.
    EXPECT_EQ(CurrentContext(), before);
}

TEST(ActivationContext, AnUnreadableManifestRaises)
{
    CLogCapture log;
    HANDLE before = CurrentContext();
    CActivationContext context;
    try {
        context.ActivateContext(4);
        ADD_FAILURE() << "nothing raised";
    } catch (const CWinError& e) {
        EXPECT_NE(e.GetErrorCode(), 0u);
        EXPECT_NE(e.GetErrorCode(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    }
    EXPECT_EQ(CurrentContext(), before);
    EXPECT_TRUE(std::regex_search(log.Text(), std::regex("EXCEPTION: Throwing exception at ActivationContext\\.cpp, "
                                                         "Quenzal::Os::CActivationContext::ActivateContext, line "
                                                         "\\d+: ")));
}
