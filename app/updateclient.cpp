#include "app/updateclient.h"

#include "base/debuglog.h"
#include "base/translate.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace qz {

TUpdateClient::TUpdateClient(TCallback onResult)
    : FOnResult(std::move(onResult)), FManager(new QNetworkAccessManager) {}

TUpdateClient::~TUpdateClient() {
    // Replies still under way are aborted without a result.
    const auto replies = FManager->findChildren<QNetworkReply*>();
    for (QNetworkReply* r : replies) {
        r->disconnect();
        r->abort();
    }
    delete FManager;
}

void TUpdateClient::Start(const std::string& url, bool report) {
    DebugLog("CheckForUpdate request " + url);
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    if (!address.isValid() || address.isRelative() ||
        (address.scheme() != QLatin1String("http") && address.scheme() != QLatin1String("https"))) {
        TUpdateResult result;
        result.Report = report;
        result.Error = Format(tr("not a web address: %s"), url.c_str());
        ++FPending;
        QTimer::singleShot(0, FManager, [this, result] {
            --FPending;
            FOnResult(result);
        });
        return;
    }
    QNetworkRequest request(address);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Quarzel/%1").arg(QLatin1String(kUpdateOwnVersion)));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setTransferTimeout(FTimeoutMs);
    QNetworkReply* reply = FManager->get(request);
    ++FPending;
    // A reply that grows past the limit is aborted at once rather than held in memory.
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [reply](qint64 received, qint64 total) {
                         if (received > kMaxReplyBytes || total > kMaxReplyBytes) {
                             reply->setProperty("qzTooLarge", true);
                             reply->abort();
                         }
                     });
    QObject::connect(reply, &QNetworkReply::finished, FManager,
                     [this, reply, report] { Finished(reply, report); });
}

void TUpdateClient::Finished(QNetworkReply* reply, bool report) {
    --FPending;
    reply->deleteLater();
    TUpdateResult result;
    result.Report = report;
    if (reply->property("qzTooLarge").toBool()) {
        result.Error =
            Format(tr("the reply is larger than %s bytes"), std::to_string(kMaxReplyBytes).c_str());
    } else if (reply->error() == QNetworkReply::OperationCanceledError) {
        // Only the transfer timeout cancels a request that was not found too large.
        result.Error =
            "the server did not answer within " + std::to_string(FTimeoutMs / 1000) + " s";
    } else if (reply->error() != QNetworkReply::NoError) {
        result.Error = reply->errorString().toStdString();
    } else {
        const QByteArray body = reply->read(kMaxReplyBytes + 1);
        if (body.size() > kMaxReplyBytes) {
            result.Error = Format(tr("the reply is larger than %s bytes"),
                                  std::to_string(kMaxReplyBytes).c_str());
        } else {
            result.Reply =
                ParseUpdateReply(std::string_view(body.constData(), size_t(body.size())));
            result.Kind = ReplyOffersUpdate(result.Reply) ? TUpdateResult::TKind::UpdateFound
                                                          : TUpdateResult::TKind::NoUpdate;
        }
    }
    DebugLog("CheckForUpdate result " +
             std::string(result.Kind == TUpdateResult::TKind::UpdateFound ? "update"
                         : result.Kind == TUpdateResult::TKind::NoUpdate  ? "none"
                                                                          : "failed: ") +
             result.Error);
    FOnResult(result);
}

} // namespace qz
