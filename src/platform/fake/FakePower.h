#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Power.h"

// Records shutdown requests; no test ever shuts a machine down.
namespace tw {

class FakePower final : public PowerControl {
public:
    void ShutdownComputer(int countdownSeconds) override;

    // Makes every later request fail with this error, as a refusing system would.
    void FailWith(int errorCode, std::string message);
    void Succeed() { failure_.reset(); }

    // Countdowns of the requests that were accepted, in order.
    const std::vector<int>& Requests() const noexcept { return requests_; }
    int RefusedCount() const noexcept { return refused_; }

private:
    struct Failure {
        int code;
        std::string message;
    };
    std::optional<Failure> failure_;
    std::vector<int> requests_;
    int refused_ = 0;
};

}  // namespace tw
