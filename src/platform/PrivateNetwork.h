#pragma once

// HTTP for the program's own services (the website, ntfy, TickTick): nothing is followed,
// cached, remembered or answered on the user's behalf.

class QNetworkAccessManager;
class QNetworkRequest;
class QObject;

namespace tw {

// A network access manager that keeps no cookie, caches nothing and follows no redirect (a 3xx
// reply reaches the caller as the reply itself).
QNetworkAccessManager* makePrivateNetwork(QObject* parent);

// Marks `request` the same way, whatever the manager it goes through: no redirect followed, no
// cache read or written, no cookie sent or kept, no credentials reused.
void makePrivate(QNetworkRequest& request);

}  // namespace tw
