// The service's state and its control handler's decisions.
#include "app/service_control.h"

ServiceControl::ServiceControl()
    : m_status{SVC_STOPPED, 0, SVC_NO_ERROR, 0, 0, 0}, m_reloadAsked(false) {}

ServiceReport ServiceControl::Make(uint32_t state, uint32_t accepted, uint32_t waitHint) {
    m_status = ServiceReport{state, accepted, SVC_NO_ERROR, 0, 0, waitHint};
    return m_status;
}

ServiceReport ServiceControl::Starting() {
    std::lock_guard<std::mutex> hold(m_lock);
    ServiceReport report = Make(SVC_START_PENDING, 0, SERVICE_START_WAIT_MS);
    m_status.checkPoint = report.checkPoint = 1;
    return report;
}

ServiceReport ServiceControl::Running() {
    std::lock_guard<std::mutex> hold(m_lock);
    return Make(SVC_RUNNING, SVC_ACCEPT_STOP | SVC_ACCEPT_SHUTDOWN | SVC_ACCEPT_PARAMCHANGE, 0);
}

ServiceReport ServiceControl::Stopped(ServiceFailure failure) {
    std::lock_guard<std::mutex> hold(m_lock);
    Make(SVC_STOPPED, 0, 0);
    if (failure != SERVICE_OK) {
        m_status.win32ExitCode = SVC_ERROR_SPECIFIC;
        m_status.specificExitCode = failure;
    }
    return m_status;
}

bool ServiceControl::TakeReload() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_reloadAsked = false;
    return m_status.state == SVC_RUNNING;
}

ServiceReport ServiceControl::Current() {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_status;
}

// A stop is asked for once: a second STOP while it is under way only reports again,
// with the next check point, so that the service manager sees it progress.
ServiceControlAnswer ServiceControl::OnControl(uint32_t control) {
    std::lock_guard<std::mutex> hold(m_lock);
    ServiceControlAnswer answer{SVC_NO_ERROR, SERVICE_ACTION_NONE, false, m_status};
    switch (control) {
        case SVC_CONTROL_INTERROGATE:
            answer.report = true;
            break;
        case SVC_CONTROL_STOP:
        case SVC_CONTROL_SHUTDOWN:
            if (m_status.state == SVC_RUNNING) {
                Make(SVC_STOP_PENDING, 0, SERVICE_STOP_WAIT_MS);
                m_status.checkPoint = 1;
                answer.action =
                    control == SVC_CONTROL_STOP ? SERVICE_ACTION_STOP : SERVICE_ACTION_SHUTDOWN;
                answer.report = true;
            } else if (m_status.state == SVC_STOP_PENDING) {
                m_status.checkPoint++;
                answer.report = true;
            } else {
                answer.result = SVC_ERROR_CANNOT_ACCEPT_CTRL;
            }
            break;
        case SVC_CONTROL_PARAMCHANGE:
            if (m_status.state == SVC_RUNNING) {
                answer.action = m_reloadAsked ? SERVICE_ACTION_NONE : SERVICE_ACTION_RELOAD;
                m_reloadAsked = true;
            } else {
                answer.result = SVC_ERROR_CANNOT_ACCEPT_CTRL;
            }
            break;
        default:
            answer.result = SVC_ERROR_CALL_NOT_IMPLEMENTED;
            break;
    }
    answer.status = m_status;
    return answer;
}
