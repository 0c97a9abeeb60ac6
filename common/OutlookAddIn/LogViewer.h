#pragma once
// How the log commands show a log outside the host: the system's text editor
// on the file, or the shell's folder window on the folder that holds it. Both
// go through one process-wide viewer, which a test replaces so that it sees
// the command that was built while no editor or folder window opens.

#include "CreateProcess.h"
#include "StringW.h"

namespace Quenzal::OutlookAddIn {

class CLogViewer {
public:
    virtual ~CLogViewer() = default;
    // Starts the program without waiting for it.
    virtual void Start(const Os::CreateProcess& program);
    // Opens the folder with the shell's "Open" verb.
    virtual void OpenFolder(const StringW& folder);
};

// The viewer in use; the default one does what it is asked.
CLogViewer& GetLogViewer();
// Replaces the viewer (null puts the default back); the caller keeps it alive.
void SetLogViewer(CLogViewer* viewer);

// True when the log is a file that exists, not a folder: there is something to show.
bool IsExistingFile(const StringW& path);
// The log in the system's text editor; raises what starting it raises.
void ViewLogFile(const StringW& path);
// The folder that holds the log, in the shell.
void OpenLogFolder(const StringW& path);

} // namespace Quenzal::OutlookAddIn
