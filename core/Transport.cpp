#include "core/Transport.h"

namespace ferrodock {

void TransferHandle::cancel() const {
    if (!state_) return;
    state_->cancelled.store(true);
    if (state_->wake) state_->wake();
}

void Transport::watchProgress(const QObject* context, ProgressReport progress) {
    if (progress)
        watches_.insert(context, std::move(progress));
    else
        watches_.remove(context);
}

ProgressReport Transport::progressFor(const QObject* context, ProgressReport own) const {
    return own ? own : watches_.value(context);
}

}  // namespace ferrodock
