#include "platform/HotKeys.h"

#include <algorithm>

namespace tw {

HotKeyResult<HandlerRef> HotKeys::installHandler(Handler handler) {
    const HandlerRef ref = nextHandler_++;
    handlers_.append({ref, std::make_shared<Handler>(std::move(handler))});
    return HotKeyResult<HandlerRef>::success(ref);
}

void HotKeys::removeHandler(HandlerRef ref) {
    handlers_.removeIf([ref](const Entry& e) { return e.ref == ref; });
}

bool HotKeys::deliver(const HotKeyID& id) {
    // A handler may remove itself or others while it runs: ask a copy, and skip any that was
    // removed meanwhile.
    const QList<Entry> snapshot = handlers_;
    for (const Entry& entry : snapshot) {
        const bool live = std::any_of(handlers_.cbegin(), handlers_.cend(),
                                      [&](const Entry& e) { return e.ref == entry.ref; });
        if (!live || !*entry.handler) continue;
        if ((*entry.handler)(id)) return true;
    }
    return false;
}

}  // namespace tw
