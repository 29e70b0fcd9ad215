// The component tests' entry point: starts wxWidgets for the whole test process
// (each test runs under a private X server), loads the program's XRC resources,
// turns wx asserts into test failures instead of modal dialogs, sends wx log
// output to standard error and runs the tests.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/xrc/xmlres.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

void InitXmlResource();  // generated from the XRC files

namespace {

class ComponentTestApp : public wxApp {
public:
    bool OnInit() override
    {
        wxInitAllImageHandlers();
        wxXmlResource::Get()->InitAllHandlers();
        InitXmlResource();
        return true;
    }
};

void FailOnAssert(const wxString& file, int line, const wxString& function, const wxString& condition,
                  const wxString& message)
{
    ADD_FAILURE_AT(file.utf8_str().data(), line)
        << "wx assertion failed in " << function.utf8_str().data() << ": " << condition.utf8_str().data() << " "
        << message.utf8_str().data();
}

bool OnlyListingTests(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0) return true;
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (OnlyListingTests(argc, argv)) return RUN_ALL_TESTS();

    // Without it GTK starts accessibility daemons that outlive the test.
    setenv("NO_AT_BRIDGE", "1", 0);
    wxSetAssertHandler(FailOnAssert);

    wxApp::SetInstance(new ComponentTestApp);
    if (!wxEntryStart(argc, argv)) {
        std::fprintf(stderr, "wxWidgets cannot start (no display?)\n");
        return 2;
    }
    delete wxLog::SetActiveTarget(new wxLogStderr);
    int result = 2;
    if (wxTheApp->CallOnInit()) {
        result = RUN_ALL_TESTS();
        wxTheApp->OnExit();
    }
    wxEntryCleanup();
    return result;
}
