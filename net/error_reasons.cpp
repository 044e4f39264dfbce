// Error reasons: their words, and the memory of each target's latest.
#include "net/error_reasons.h"

#include "net/check_result.h"

const char* ErrorReasonText(int32_t reason) {
    switch (reason) {
        case REASON_UNRESOLVED:
            return "名前を解決できません";
        case REASON_REFUSED:
            return "接続を拒否されました";
        case REASON_TIMED_OUT:
            return "時間内に応答がありません";
        case REASON_CLOSED:
            return "応答せずに切断されました";
        case REASON_NOT_MEASURED:
            return "容量を測定できません";
        case REASON_BAD_REPLY:
            return "応答が正しくありません";
        case REASON_NOT_STARTED:
            return "時間内に問合せを開始できません";
        case REASON_CANCELLED:
            return "問合せを中止しました";
        default:
            return "";
    }
}

bool ErrorReasonLog::Changed(const char* host, unsigned port, const char* path, int32_t reason) {
    std::string key = std::string(host) + '\t' + std::to_string(port) + '\t' + path;
    std::lock_guard<std::mutex> hold(m_lock);
    auto found = m_latest.find(key);
    int32_t before = found == m_latest.end() ? REASON_NONE : found->second;
    if (reason == REASON_NONE) {
        if (found != m_latest.end()) {
            m_latest.erase(found);
        }
    } else {
        m_latest[key] = reason;
    }
    return reason != before;
}
