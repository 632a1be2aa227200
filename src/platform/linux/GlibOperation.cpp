#include "platform/linux/GlibOperation.h"

namespace tw::glib {

namespace {

// How long a cancelled call may take to end before it is left behind.
constexpr int kGraceMs = 1000;

// Shared between a wait and the call's callback; whoever comes last frees it.
struct Waiter {
    GAsyncResult* result = nullptr;
    bool abandoned = false;
};

void answered(GObject*, GAsyncResult* result, gpointer data) {
    auto* waiter = static_cast<Waiter*>(data);
    if (waiter->abandoned) {
        delete waiter;
        return;
    }
    waiter->result = G_ASYNC_RESULT(g_object_ref(result));
}

gboolean wakeUp(gpointer) {
    return G_SOURCE_REMOVE;
}

}  // namespace

Operation::Operation(GMainContext* context, int timeoutMs)
    : context_(context), cancellable_(g_cancellable_new()), deadline_(timeoutMs) {
    g_main_context_push_thread_default(context_);
    for (int i = 0; i < 1000 && g_main_context_iteration(context_, FALSE); ++i) {
    }
}

Operation::~Operation() {
    g_main_context_pop_thread_default(context_);
    g_object_unref(cancellable_);
}

void Operation::iterate(qint64 ms) {
    GSource* timer = g_timeout_source_new(static_cast<guint>(qMax<qint64>(ms, 1)));
    g_source_set_callback(timer, wakeUp, nullptr, nullptr);
    g_source_attach(timer, context_);
    g_main_context_iteration(context_, TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
}

Object<GAsyncResult> Operation::wait(const Start& start) {
    auto* waiter = new Waiter;
    start(answered, waiter);
    while (waiter->result == nullptr) {
        if (!timedOut_ && deadline_.hasExpired()) {
            timedOut_ = true;
            grace_ = QDeadlineTimer(kGraceMs);
            g_cancellable_cancel(cancellable_);
            continue;
        }
        if (timedOut_ && grace_.hasExpired()) {
            waiter->abandoned = true;
            return nullptr;
        }
        iterate(timedOut_ ? grace_.remainingTime() : deadline_.remainingTime());
    }
    Object<GAsyncResult> result(waiter->result);
    delete waiter;
    return result;
}

QString message(const GError* error) {
    return error ? QString::fromUtf8(error->message) : QString();
}

}  // namespace tw::glib
