#pragma once

// Waiting for GLib's asynchronous calls from the Qt thread, with a bound. The calls run on a main
// context of our own, made the thread's default for the life of an Operation, so that their
// answers are dispatched only while the operation waits for them and never by Qt's event loop.
// At the deadline the calls in flight are cancelled; one that does not end even then is left
// behind (its late answer is dropped) and the wait reports nothing.
//
// Only for the files of this library that talk to GLib-based services.

#include <gio/gio.h>

#include <QDeadlineTimer>
#include <QString>
#include <functional>
#include <memory>

namespace tw::glib {

template <typename T>
struct Unref {
    void operator()(T* p) const {
        if (p) g_object_unref(p);
    }
};
template <typename T>
using Object = std::unique_ptr<T, Unref<T>>;

struct ErrorFree {
    void operator()(GError* e) const {
        if (e) g_error_free(e);
    }
};
using Error = std::unique_ptr<GError, ErrorFree>;

class Operation {
public:
    // Runs the events already waiting on `context` (answers left behind by an earlier operation)
    // and starts the clock.
    Operation(GMainContext* context, int timeoutMs);
    ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    GCancellable* cancellable() const { return cancellable_; }
    // Whether the deadline passed (the calls in flight were then cancelled).
    bool timedOut() const { return timedOut_; }

    using Start = std::function<void(GAsyncReadyCallback callback, gpointer data)>;
    // Starts one call, handing it the callback to answer through, and waits for the answer. Null
    // when the call was left behind.
    Object<GAsyncResult> wait(const Start& start);

private:
    // Dispatches the context's events for at most `ms` milliseconds.
    void iterate(qint64 ms);

    GMainContext* context_;
    GCancellable* cancellable_;
    QDeadlineTimer deadline_;
    QDeadlineTimer grace_;
    bool timedOut_ = false;
};

// The error's message, for the log.
QString message(const GError* error);

}  // namespace tw::glib
