#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace QzlTest {

std::map<std::string, std::function<int()>>& ChildCases()
{
    static std::map<std::string, std::function<int()>> cases;
    return cases;
}

void RegisterChildCase(const char* name, std::function<int()> body)
{
    ChildCases()[name] = std::move(body);
}

} // namespace QzlTest

int main(int argc, char** argv)
{
    // The Unix TZ leaks into Wine and makes the runtime and Win32 disagree on local time.
    _putenv("TZ=");
    _tzset();
    for (int i = 1; i < argc; ++i) {
        const char* prefix = "--qzl-child=";
        if (strncmp(argv[i], prefix, strlen(prefix)) == 0) {
            auto& cases = QzlTest::ChildCases();
            auto it = cases.find(argv[i] + strlen(prefix));
            return it == cases.end() ? 200 : it->second();
        }
    }
    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
