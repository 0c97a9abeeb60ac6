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

    // Services of the add-in's module.
    void (*setLogPath)(const wchar_t* path) = nullptr;
    long (*getLockCount)() = nullptr;
};

extern "C" TestAddInProbe* QzlTestAddInProbe();
