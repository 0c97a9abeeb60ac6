// The ten message tables the add-in carries, as the module loads them: each
// parses and holds the same message numbers as English with the same
// insertion points, and English holds every number the add-in's and the
// framework's sources use. Sources name a message number through a constant
// named Lid..., as a literal argument of the message functions, or as a lid_
// placeholder of a resource script.

#include "Localization.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <vector>

using namespace Quenzal;
using namespace Quenzal::Localization;

namespace {

// The %-sequences of a message, sorted: translations may reorder them.
std::vector<std::wstring> InsertionPoints(const std::wstring& message)
{
    std::vector<std::wstring> points;
    const std::wregex point(L"%[0-9]*");
    for (std::wsregex_iterator it(message.begin(), message.end(), point), end; it != end; ++it)
        points.push_back(it->str());
    std::sort(points.begin(), points.end());
    return points;
}

std::set<int> LidsUsedBySources(const std::filesystem::path& folder)
{
    const std::regex use(R"(\bLid\w*\s*=\s*(\d+))"
                         R"(|\b(?:GetLocalizedMessage|FormatLocalizedMessage|CException)\s*\(\s*(\d+)\s*[,)])"
                         R"(|\blid_(\d+))");
    std::set<int> lids;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::wstring extension = entry.path().extension().wstring();
        if (extension != L".cpp" && extension != L".h" && extension != L".rc")
            continue;
        const std::string text = QzlTest::ReadWholeFile(entry.path().wstring());
        for (std::sregex_iterator it(text.begin(), text.end(), use), end; it != end; ++it)
            for (size_t group = 1; group < it->size(); ++group)
                if ((*it)[group].matched)
                    lids.insert(std::stoi((*it)[group].str()));
    }
    return lids;
}

} // namespace

TEST(AddInMessageTables, EveryLanguageHoldsEveryMessageWithTheSameInsertionPoints)
{
    // "Cancel" of each language: a table under another language's number shows.
    const std::map<std::wstring, std::wstring> cancel = {
        {L"zh_CN", L"取消"},    {L"cs_CZ", L"Storno"},    {L"nl_NL", L"Annuleren"}, {L"en_US", L"Cancel"},
        {L"fr_FR", L"Annuler"}, {L"de_DE", L"Abbrechen"}, {L"it_IT", L"Annulla"},   {L"ja_JP", L"キャンセル"},
        {L"pl_PL", L"Anuluj"},  {L"es_ES", L"Cancelar"}};
    MessageTable english;
    LoadLocalizedMessages(EnglishLanguageIndex, english);
    for (DWORD index = 0; index < LanguageCount; ++index) {
        const StringW locale = GetLocaleName(index);
        SCOPED_TRACE(locale.ToUtf8());
        MessageTable table;
        ASSERT_NO_THROW(LoadLocalizedMessages(index, table));
        EXPECT_EQ(cancel.at(locale), table[32]);
        for (const auto& [lid, message] : english) {
            auto translated = table.find(lid);
            if (translated == table.end())
                ADD_FAILURE() << "message " << lid << " is missing";
            else
                EXPECT_EQ(InsertionPoints(message), InsertionPoints(translated->second)) << "message " << lid;
        }
        EXPECT_EQ(english.size(), table.size());
    }
}

TEST(AddInMessageTables, EnglishHoldsEveryMessageTheSourcesUse)
{
    MessageTable english;
    LoadLocalizedMessages(EnglishLanguageIndex, english);
    std::set<int> used;
    for (const char* folder : {"nxo/sources/nxo", "nxo/sources/OutlookAddIn"})
        used.merge(LidsUsedBySources(folder));
    EXPECT_FALSE(used.empty());
    for (int lid : used)
        EXPECT_EQ(1u, english.count(lid)) << "message " << lid << " is used but not in the English table";
}
