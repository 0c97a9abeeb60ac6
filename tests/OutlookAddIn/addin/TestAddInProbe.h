#pragma once
// What the test add-in and the tests that load it share: the test's requests
// and what the add-in saw, in plain data that crosses the module boundary.

#include <windows.h>

struct TestAddInProbe {
    // Asked by the test before connecting.
    int minimumVersion = 0; // 0: the framework's own
    bool cancelItemSend = false;
    bool throwInItemSend = false;
    HRESULT inspectorToolbarFailure = S_OK; // raised by Uninitialize
    HRESULT explorerToolbarFailure = S_OK;
    bool commandBarToolbars = false; // the framework's own toolbars instead of stand-ins
    bool hideButtons = false;        // groups and toolbars without buttons
    int hiddenCommand = -1;          // IsRibbonButtonVisible answers false for it
    bool throwInClick = false;       // button handlers raise a standard-library error
    wchar_t logPath[MAX_PATH] = {};  // what GetLogPath answers
    HRESULT configureResult = S_OK;  // what Configure answers
    bool traceLogging = false;       // IsTraceLoggingEnabled, and what SetTraceLoggingEnabled set
    bool editorFails = false;        // starting the text editor raises

    // Seen by the add-in.
    int outlookStartups = 0;
    int mapiLogons = 0;
    int itemSends = 0;
    int optionsPagesAdds = 0;
    int newExplorers = 0;
    int newInspectors = 0;
    int toolbarsInitialized = 0;
    int toolbarsUninitialized = 0;
    int registrations = 0;
    LANGID languageId = 0;
    HWND activeWindow = nullptr;
    // Commands that reached the add-in's dispatch: the last one, its window
    // kind ('E'xplorer, 'I'nspector) and, for a toggle, whether it was pressed.
    int clicks = 0;
    int toggles = 0;
    int lastCommand = -1;
    char lastWindow = 0;
    bool lastPressed = false;
    int configures = 0;
    HWND configureParent = nullptr;
    int traceLoggingSets = 0;
    // What the log commands started: the text editor's command line, the folder opened.
    int editorStarts = 0;
    wchar_t editorCommand[1024] = {};
    int folderOpens = 0;
    wchar_t openedFolder[MAX_PATH] = {};

    // Services of the add-in's module.
    void (*setLogPath)(const wchar_t* path) = nullptr;
    long (*getLockCount)() = nullptr;
    // Queues work on the pool whose thread stays in the module after the
    // work completed until release is set; answers the completion event.
    HANDLE (*queueLingeringWork)(HANDLE release) = nullptr;
};

extern "C" TestAddInProbe* QzlTestAddInProbe();
