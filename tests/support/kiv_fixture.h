// A fixture with an application object of its own: its folder is a fresh temporary folder
// (moduleDir), its paths are formed there as at start-up, and its log is open in that
// folder, so tests can read the log lines that an operation writes.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/kiv.h"
#include "monitor/main_window.h"
#include "tests/support/test_support.h"

class KivFixture : public ::testing::Test {
protected:
    KivFixture() : app(NULL, nullptr, 0) {
        previous = theApp;
        theApp = &app;
        app.InitializeLocks();
        CopyField(app.moduleDir, sizeof app.moduleDir, dir.Path().c_str());
        BuildPath(app.m_iniPath, sizeof app.m_iniPath, app.moduleDir, "fsw.ini");
        BuildPath(app.m_listPath, sizeof app.m_listPath, app.moduleDir, "fsw.lst");
        logPath = dir.File("test.log");
        app.OpenLog(logPath.c_str(), LOG_OVERWRITE);
    }

    ~KivFixture() override {
        app.CloseLog();
        app.DeleteLocks();
        theApp = previous;
    }

    // The messages of the log lines written so far (the text after the time and module).
    std::vector<std::string> LogMessages() const { return LogFileMessages(logPath); }

    TempDir dir;
    Kiv app;
    Kiv* previous;
    std::string logPath;
};
