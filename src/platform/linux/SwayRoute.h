#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/CompositorRoute.h"

// sway's window tree over its IPC socket ($SWAYSOCK): the focused window and
// the window list from GET_TREE, closing through RUN_COMMAND. Every call is
// synchronous and bounded, so it serves a thread without an event loop; a
// compositor that stops answering costs one call about half a second.
namespace tw {

class SwayRoute final : public CompositorRoute {
public:
    // Null when nothing answers at `socketPath` within about a second.
    static std::unique_ptr<SwayRoute> Open(const std::string& socketPath);
    ~SwayRoute() override;
    SwayRoute(const SwayRoute&) = delete;
    SwayRoute& operator=(const SwayRoute&) = delete;

    const char* Name() const override { return "sway"; }
    std::optional<CompositorWindow> Focused() override;
    std::vector<CompositorWindow> Windows() override;
    bool Close(uint64_t id) override;

private:
    SwayRoute(std::string socketPath, int fd);

    // The reply's payload; nullopt when the exchange failed. A connection
    // found closed before the reply (sway restarted) is opened again, and
    // the request sent once more only when `resend`.
    std::optional<std::string> Exchange(uint32_t type, const std::string& payload, bool resend);
    void Disconnect();

    std::string socketPath_;
    int fd_ = -1;
};

}  // namespace tw
