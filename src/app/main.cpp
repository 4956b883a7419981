#include <wx/app.h>

#include "app/QuillomarApp.h"

int main(int argc, char* argv[]) {
    int code = wxEntry(argc, argv);
    return QuillomarApp::stoppedAtStart() ? 0 : code;
}
