#include "LogViewer.h"

#include "Os.h"
#include "TextFileUtil.h"

namespace Quenzal::OutlookAddIn {

namespace {

CLogViewer g_defaultViewer;
CLogViewer* g_viewer = &g_defaultViewer;

} // namespace

void CLogViewer::Start(const Os::CreateProcess& program)
{
    program.Execute();
}

void CLogViewer::OpenFolder(const StringW& folder)
{
    Os::ShellExecute(folder, L"");
}

CLogViewer& GetLogViewer()
{
    return *g_viewer;
}

void SetLogViewer(CLogViewer* viewer)
{
    g_viewer = viewer != nullptr ? viewer : &g_defaultViewer;
}

bool IsExistingFile(const StringW& path)
{
    DWORD attributes = Os::GetFileAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void ViewLogFile(const StringW& path)
{
    GetLogViewer().Start(MakeTextEditorLauncher(path));
}

void OpenLogFolder(const StringW& path)
{
    GetLogViewer().OpenFolder(Os::GetDirectoryFromPath(path));
}

} // namespace Quenzal::OutlookAddIn
