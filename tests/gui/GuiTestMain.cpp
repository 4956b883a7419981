// Runs the GUI tests inside a wx application on the current display.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/evtloop.h>

#include "remote/Network.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "cannot start wx: is DISPLAY set?\n");
        return 1;
    }
    initNetwork();
    int result;
    {
        wxGUIEventLoop loop;
        wxEventLoopActivator active(&loop);
        result = RUN_ALL_TESTS();
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
