// The update check's HTTP request (Qt Network). The request runs in the background; its
// result is handed to a callback on the thread that owns the client (the user-interface
// thread in the window).
//
// The reply is never trusted: at most kMaxReplyBytes are read (a larger reply ends the check
// as failed), redirects are followed at most kMaxRedirects times and never from https to http,
// and a server that stops answering ends the check after the transfer timeout. Each request
// keeps the report flag it was started with, so a check asked for while the automatic one is
// under way is reported as asked.
#pragma once

#include "app/updatecheck.h"

#include <QObject>
#include <functional>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;

namespace qz {

struct TUpdateResult {
    enum class TKind { UpdateFound, NoUpdate, Failed };
    TKind Kind = TKind::Failed;
    bool Report = false; // the user asked for this check
    TUpdateReply Reply;  // UpdateFound: the version and its page
    std::string Error;   // Failed: why
};

class TUpdateClient {
public:
    static constexpr qint64 kMaxReplyBytes = 64 * 1024;
    static constexpr int kMaxRedirects = 5;

    using TCallback = std::function<void(const TUpdateResult&)>;
    explicit TUpdateClient(TCallback onResult);
    ~TUpdateClient();
    TUpdateClient(const TUpdateClient&) = delete;
    TUpdateClient& operator=(const TUpdateClient&) = delete;

    // Time a request may go without progress before it fails (default 20 s).
    void SetTimeoutMs(int ms) { FTimeoutMs = ms; }
    // Starts a GET of url. A request that cannot be started reports a failure (later, through
    // the callback, like any other result).
    void Start(const std::string& url, bool report);
    // Requests still under way.
    int Pending() const { return FPending; }

private:
    void Finished(QNetworkReply* reply, bool report);

    TCallback FOnResult;
    QNetworkAccessManager* FManager;
    int FTimeoutMs = 20000;
    int FPending = 0;
};

} // namespace qz
