// The daily update check, free of any toolkit: when a check is due, the address it asks, and
// what the endpoint's reply says.
//
// The reply is text made of lines (CR LF, LF or CR); a line holding "=" is a pair whose key is
// everything before the first "=" and whose value is everything after it, neither trimmed;
// keys compare exactly; the last occurrence of a key counts. "VERSION" is the newest version
// (a decimal number with "." as the point), "INFOURL" the page that describes it.
#pragma once

#include <string>
#include <string_view>

namespace qz {

// The version the update check compares with.
inline constexpr const char* kUpdateOwnVersion = "4.25";

struct TUpdateReply {
    std::string Version, InfoUrl;
};

TUpdateReply ParseUpdateReply(std::string_view body);

// A decimal number with "." as the point (blanks around it allowed); 0 for anything else.
double ParseVersionNumber(std::string_view text);

// True when the reply names a version greater than the own one and an information address.
bool ReplyOffersUpdate(const TUpdateReply& reply);

// The endpoint: the setting when given, else the one the build names (empty: the build has
// none, and the option and the menu entry are hidden).
std::string UpdateEndpoint(const std::string& setting);

struct TUpdateCheckPlan {
    bool Send = false;       // a request goes out
    std::string Url;         // the address asked
    int LastUpdateCheck = 0; // the day to store (today when sent)
};

// CheckForUpdate's decision: nothing when there is no endpoint, when the option is off and the
// check is not forced, or when the automatic check already ran today; otherwise today is
// stored before the request goes out (a failed check also counts for the day), and the first
// check ever (lastCheck 0) carries "newinstall=1".
TUpdateCheckPlan PlanUpdateCheck(const std::string& endpoint, bool optionOn, bool force,
                                 int lastCheck, int today);

// Today as a day number (whole days since 1899-12-30, local time).
int TodayDayNumber();

} // namespace qz
