#include "app/updatecheck.h"

#include "base/datetime.h"

#include <cmath>
#include <cstdlib>

namespace qz {

TUpdateReply ParseUpdateReply(std::string_view body) {
    TUpdateReply reply;
    size_t pos = 0;
    while (pos <= body.size()) {
        size_t end = body.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = body.size();
        const std::string_view line = body.substr(pos, end - pos);
        const size_t eq = line.find('=');
        if (eq != std::string_view::npos) {
            const std::string_view key = line.substr(0, eq);
            if (key == "VERSION")
                reply.Version = line.substr(eq + 1);
            else if (key == "INFOURL")
                reply.InfoUrl = line.substr(eq + 1);
        }
        // CR LF is one line break.
        if (end + 1 < body.size() && body[end] == '\r' && body[end + 1] == '\n') ++end;
        pos = end + 1;
    }
    return reply;
}

double ParseVersionNumber(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.empty() || text.size() > 64) return 0;
    // Digits, at most one ".", at least one digit; a sign is allowed in front.
    size_t i = text.front() == '+' || text.front() == '-' ? 1 : 0;
    bool digit = false, point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c == '.' && !point)
            point = true;
        else
            return 0;
    }
    if (!digit) return 0;
    const std::string copy(text);
    const double v = std::strtod(copy.c_str(), nullptr);
    return std::isfinite(v) ? v : 0;
}

bool ReplyOffersUpdate(const TUpdateReply& reply) {
    return ParseVersionNumber(reply.Version) > ParseVersionNumber(kUpdateOwnVersion) &&
           !reply.InfoUrl.empty();
}

std::string UpdateEndpoint(const std::string& setting) {
    if (!setting.empty()) return setting;
    return QZ_UPDATE_URL;
}

TUpdateCheckPlan PlanUpdateCheck(const std::string& endpoint, bool optionOn, bool force,
                                 int lastCheck, int today) {
    TUpdateCheckPlan plan;
    plan.LastUpdateCheck = lastCheck;
    if (endpoint.empty()) return plan;
    if (!optionOn && !force) return plan;
    if (lastCheck == today && !force) return plan;
    plan.Send = true;
    plan.LastUpdateCheck = today;
    plan.Url = endpoint;
    if (lastCheck == 0)
        plan.Url += endpoint.find('?') == std::string::npos ? "?newinstall=1" : "&newinstall=1";
    return plan;
}

int TodayDayNumber() {
    return int(std::floor(NowLocal()));
}

} // namespace qz
