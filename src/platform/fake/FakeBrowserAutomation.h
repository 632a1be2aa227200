#pragma once

#include <QList>
#include <deque>

#include "platform/BrowserAutomation.h"

namespace tw {

// Browser requests held until the test answers them, oldest first.
class FakeBrowserAutomation final : public BrowserAutomation {
public:
    struct Call {
        BrowserRequest request;
        std::function<void(BrowserReply)> done;
    };

    void execute(const BrowserRequest& request, std::function<void(BrowserReply)> done) override {
        calls_.push_back(Call{request, std::move(done)});
        requests_.append(request);
    }
    QList<FocusBrowser> installedBrowsers() const override { return installed_; }

    void setInstalled(QList<FocusBrowser> browsers) { installed_ = std::move(browsers); }
    // Every request made so far, answered or not.
    const QList<BrowserRequest>& requests() const { return requests_; }
    int waiting() const { return static_cast<int>(calls_.size()); }
    const BrowserRequest& next() const { return calls_.front().request; }

    // Answers the oldest request waiting.
    void answer(BrowserReply reply) {
        Call call = std::move(calls_.front());
        calls_.pop_front();
        call.done(std::move(reply));
    }
    void answerJson(const char* json) { answer(QByteArray(json)); }
    void fail(int code) { answer(BrowserFailure{code, QStringLiteral("failed")}); }

private:
    std::deque<Call> calls_;
    QList<BrowserRequest> requests_;
    QList<FocusBrowser> installed_;
};

}  // namespace tw
