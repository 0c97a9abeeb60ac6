#pragma once
// What the add-in's tests share: turns at the add-in's real data folder
// (tests run in parallel processes in one Wine prefix) with its cache files
// removed before and after.

#include "RegistryTestSupport.h"
#include "StringW.h"

namespace NxoTest {

class CDataFolderTurn {
public:
    CDataFolderTurn();
    ~CDataFolderTurn();
    CDataFolderTurn(const CDataFolderTurn&) = delete;
    CDataFolderTurn& operator=(const CDataFolderTurn&) = delete;

    static Quenzal::StringW WhitelistPath();
    static Quenzal::StringW LegacyFolder();

private:
    void Clean();
    QzlTest::CNamedTestLock m_lock{L"Local\\QuenzalTest.NxoDataFolder"};
};

} // namespace NxoTest
