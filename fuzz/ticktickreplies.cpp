// Feeds arbitrary bytes to the decoders of TickTick's replies (projects, a project's tasks), to
// the stored account and to the reader of the configured API address. What decodes must survive
// being written and read again; nothing may crash.
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ticktick/TickTickConfiguration.h"
#include "ticktick/TickTickRecords.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    if (const auto projects = tw::ticktickreply::projects(bytes)) {
        QJsonArray list;
        for (const auto& p : *projects) list.append(QJsonObject{{"id", p.id}, {"name", p.name}});
        const auto back = tw::ticktickreply::projects(QJsonDocument(list).toJson());
        check(back && *back == *projects);
    }
    if (const auto tasks = tw::ticktickreply::openTasks(bytes)) {
        QJsonArray list;
        for (const auto& t : *tasks) {
            check(!t.id.isNull() && !t.projectID.isNull() && !t.title.isNull());
            list.append(QJsonObject{
                {"id", t.id}, {"projectId", t.projectID}, {"title", t.title}, {"status", 0}});
        }
        const auto back =
            tw::ticktickreply::openTasks(QJsonDocument(QJsonObject{{"tasks", list}}).toJson());
        check(back && *back == *tasks);
    }
    if (const auto account = tw::TickTickAccount::decode(bytes)) {
        const auto back = tw::TickTickAccount::decode(account->encode());
        check(back && *back == *account);
    }
    if (const auto url = tw::ticktickconfig::apiURL(QString::fromUtf8(bytes))) {
        check(url->scheme() == QLatin1StringView("https") && !url->host().isEmpty() &&
              !url->hasQuery() && !url->hasFragment() && url->userInfo().isEmpty());
    }
    return 0;
}
