#include "platform/fake/FakePower.h"

namespace tw {

void FakePower::ShutdownComputer(int countdownSeconds) {
    if (failure_) {
        ++refused_;
        throw EOSError(failure_->code, failure_->message);
    }
    requests_.push_back(countdownSeconds);
}

void FakePower::FailWith(int errorCode, std::string message) {
    failure_ = Failure{errorCode, std::move(message)};
}

}  // namespace tw
