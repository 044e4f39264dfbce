// The service's control handler without the service manager: which state each control
// leads to, what the service's loop is asked to do, and what is refused.
#include <gtest/gtest.h>

#include "app/service_control.h"

namespace {

const uint32_t ACCEPTED_WHILE_RUNNING =
    SVC_ACCEPT_STOP | SVC_ACCEPT_SHUTDOWN | SVC_ACCEPT_PARAMCHANGE;

TEST(ServiceControl, StartsPendingAcceptingNothingThenRunsAcceptingStopShutdownAndReload) {
    ServiceControl control;
    ServiceReport starting = control.Starting();
    EXPECT_EQ(SVC_START_PENDING, starting.state);
    EXPECT_EQ(0u, starting.controlsAccepted);
    EXPECT_GT(starting.waitHint, 0u);
    EXPECT_EQ(SVC_ERROR_CANNOT_ACCEPT_CTRL, control.OnControl(SVC_CONTROL_STOP).result)
        << "a stop cannot overtake the start";
    EXPECT_EQ(SVC_START_PENDING, control.Current().state);

    ServiceReport running = control.Running();
    EXPECT_EQ(SVC_RUNNING, running.state);
    EXPECT_EQ(ACCEPTED_WHILE_RUNNING, running.controlsAccepted);
    EXPECT_EQ(0u, running.waitHint);
}

// Each control in the running state, from a fresh service.
TEST(ServiceControl, EachControlWhileRunning) {
    const struct {
        uint32_t control;
        uint32_t result;
        ServiceAction action;
        bool report;
        uint32_t state;
    } cases[] = {
        {SVC_CONTROL_STOP, SVC_NO_ERROR, SERVICE_ACTION_STOP, true, SVC_STOP_PENDING},
        {SVC_CONTROL_SHUTDOWN, SVC_NO_ERROR, SERVICE_ACTION_SHUTDOWN, true, SVC_STOP_PENDING},
        {SVC_CONTROL_PARAMCHANGE, SVC_NO_ERROR, SERVICE_ACTION_RELOAD, false, SVC_RUNNING},
        {SVC_CONTROL_INTERROGATE, SVC_NO_ERROR, SERVICE_ACTION_NONE, true, SVC_RUNNING},
        {2 /* PAUSE */, SVC_ERROR_CALL_NOT_IMPLEMENTED, SERVICE_ACTION_NONE, false, SVC_RUNNING},
        {128, SVC_ERROR_CALL_NOT_IMPLEMENTED, SERVICE_ACTION_NONE, false, SVC_RUNNING},
    };
    for (const auto& c : cases) {
        ServiceControl control;
        control.Starting();
        control.Running();
        ServiceControlAnswer answer = control.OnControl(c.control);
        EXPECT_EQ(c.result, answer.result) << c.control;
        EXPECT_EQ(c.action, answer.action) << c.control;
        EXPECT_EQ(c.report, answer.report) << c.control;
        EXPECT_EQ(c.state, answer.status.state) << c.control;
        EXPECT_EQ(c.state, control.Current().state) << c.control;
    }
}

// The stop is asked of the loop once; later stops only show progress, and a reload that
// comes during the stop is refused rather than run into the shutdown.
TEST(ServiceControl, WhileStoppingAStopOnlyAdvancesTheCheckPointAndAReloadIsRefused) {
    ServiceControl control;
    control.Starting();
    control.Running();
    ServiceControlAnswer first = control.OnControl(SVC_CONTROL_STOP);
    EXPECT_EQ(0u, first.status.controlsAccepted);
    EXPECT_GE(first.status.waitHint, 6000u) << "the server's own bound of a hung measurement";

    ServiceControlAnswer again = control.OnControl(SVC_CONTROL_SHUTDOWN);
    EXPECT_EQ(SERVICE_ACTION_NONE, again.action);
    EXPECT_TRUE(again.report);
    EXPECT_EQ(SVC_STOP_PENDING, again.status.state);
    EXPECT_GT(again.status.checkPoint, first.status.checkPoint);

    ServiceControlAnswer reload = control.OnControl(SVC_CONTROL_PARAMCHANGE);
    EXPECT_EQ(SVC_ERROR_CANNOT_ACCEPT_CTRL, reload.result);
    EXPECT_EQ(SERVICE_ACTION_NONE, reload.action);

    ServiceControlAnswer asked = control.OnControl(SVC_CONTROL_INTERROGATE);
    EXPECT_EQ(SVC_STOP_PENDING, asked.status.state);
}

// A storm of PARAMCHANGE leaves one reload waiting in the loop; once it is taken the next
// one asks again; a stop that comes before the loop takes it goes first.
TEST(ServiceControl, ReloadsCoalesceAndAStopGoesBeforeAWaitingReload) {
    ServiceControl control;
    control.Starting();
    control.Running();
    EXPECT_EQ(SERVICE_ACTION_RELOAD, control.OnControl(SVC_CONTROL_PARAMCHANGE).action);
    for (int i = 0; i < 3; i++) {
        ServiceControlAnswer again = control.OnControl(SVC_CONTROL_PARAMCHANGE);
        EXPECT_EQ(SVC_NO_ERROR, again.result);
        EXPECT_EQ(SERVICE_ACTION_NONE, again.action);
    }
    EXPECT_TRUE(control.TakeReload());
    EXPECT_EQ(SERVICE_ACTION_RELOAD, control.OnControl(SVC_CONTROL_PARAMCHANGE).action);
    EXPECT_EQ(SERVICE_ACTION_STOP, control.OnControl(SVC_CONTROL_STOP).action);
    EXPECT_FALSE(control.TakeReload()) << "the stop goes first";
}

TEST(ServiceControl, StoppedCarriesTheFailureAsAServiceSpecificExitCode) {
    ServiceControl control;
    control.Starting();
    ServiceReport failed = control.Stopped(SERVICE_PORT_UNUSABLE);
    EXPECT_EQ(SVC_STOPPED, failed.state);
    EXPECT_EQ(SVC_ERROR_SPECIFIC, failed.win32ExitCode);
    EXPECT_EQ(uint32_t{SERVICE_PORT_UNUSABLE}, failed.specificExitCode);
    EXPECT_EQ(SVC_ERROR_CANNOT_ACCEPT_CTRL, control.OnControl(SVC_CONTROL_STOP).result);

    ServiceControl clean;
    clean.Starting();
    clean.Running();
    clean.OnControl(SVC_CONTROL_STOP);
    ServiceReport stopped = clean.Stopped(SERVICE_OK);
    EXPECT_EQ(SVC_NO_ERROR, stopped.win32ExitCode);
    EXPECT_EQ(0u, stopped.specificExitCode);
    EXPECT_EQ(0u, stopped.controlsAccepted);
}

}  // namespace
