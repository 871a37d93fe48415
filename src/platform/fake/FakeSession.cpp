#include "platform/fake/FakeSession.h"

namespace tw {

bool FakeSessionNotifier::Register(SessionObserver& observer) {
    if (!available_)
        return false;
    observer_ = &observer;
    return true;
}

void FakeSessionNotifier::Suspend() {
    if (observer_)
        observer_->SystemSuspending();
}

void FakeSessionNotifier::Resume() {
    if (observer_)
        observer_->SystemResumed();
}

void FakeSessionNotifier::Deactivate() {
    if (observer_)
        observer_->SessionDeactivated();
}

void FakeSessionNotifier::Activate() {
    if (observer_)
        observer_->SessionActivated();
}

}  // namespace tw
