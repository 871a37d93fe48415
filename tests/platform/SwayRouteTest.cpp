// The sway route against a fake IPC server on a socket of the test's own,
// served from a thread with canned replies, one per request.
#include "platform/linux/SwayRoute.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace tw {
namespace {

constexpr uint32_t kRunCommand = 0;
constexpr uint32_t kGetTree = 4;
// Any wait of the server; the route gives up long before.
constexpr int kServerWaitMs = 10000;

std::string Message(uint32_t type, const std::string& payload, uint32_t length) {
    std::string bytes = "i3-ipc";
    const uint32_t fields[2] = {length, type};
    bytes.append(reinterpret_cast<const char*>(fields), sizeof fields);
    return bytes + payload;
}

std::string Message(uint32_t type, const std::string& payload) {
    return Message(type, payload, uint32_t(payload.size()));
}

struct Request {
    uint32_t type;
    std::string payload;
    bool operator==(const Request&) const = default;
};

struct Answer {
    enum Then { kKeep, kClose, kHang };
    std::string bytes;  // written after the request was read
    Then then = kKeep;  // kHang: waits for the route to give up and hang up
};

class FakeSway {
public:
    FakeSway(const std::string& path, std::vector<Answer> answers) : path_(path) {
        listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listen_, 4) != 0 || pipe(stop_) != 0)
            return;
        thread_ = std::thread([this, answers = std::move(answers)] { Serve(answers); });
    }
    ~FakeSway() {
        if (thread_.joinable()) {
            [[maybe_unused]] const ssize_t n = write(stop_[1], "x", 1);
            thread_.join();
        }
        for (int fd : {listen_, stop_[0], stop_[1]})
            if (fd >= 0)
                close(fd);
    }
    FakeSway(const FakeSway&) = delete;
    FakeSway& operator=(const FakeSway&) = delete;

    bool Serving() const { return thread_.joinable(); }
    std::vector<Request> Requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    // Waits until `fd` is readable; false when stopped or after the bound.
    bool Readable(int fd) {
        pollfd p[2] = {{fd, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        return poll(p, 2, kServerWaitMs) > 0 && p[1].revents == 0 && p[0].revents != 0;
    }
    bool ReadExact(int fd, char* out, size_t size) {
        for (size_t got = 0; got < size;) {
            if (!Readable(fd))
                return false;
            const ssize_t n = read(fd, out + got, size - got);
            if (n <= 0)
                return false;
            got += size_t(n);
        }
        return true;
    }
    void Serve(const std::vector<Answer>& answers) {
        int client = -1;
        for (const Answer& answer : answers) {
            Request request{};
            for (;;) {  // a client that hung up is followed by its next connection
                if (client < 0) {
                    if (!Readable(listen_))
                        return;
                    client = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
                }
                char head[14];
                uint32_t fields[2];
                if (ReadExact(client, head, sizeof head)) {
                    std::memcpy(fields, head + 6, sizeof fields);
                    request.type = fields[1];
                    request.payload.assign(fields[0], '\0');
                    if (ReadExact(client, request.payload.data(), fields[0]))
                        break;
                }
                close(client);
                client = -1;
            }
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
            }
            [[maybe_unused]] const ssize_t n =
                send(client, answer.bytes.data(), answer.bytes.size(), MSG_NOSIGNAL);
            if (answer.then == Answer::kHang) {
                char byte;
                if (Readable(client) && read(client, &byte, 1) > 0)
                    ADD_FAILURE() << "the route wrote again while waiting for a reply";
            }
            if (answer.then != Answer::kKeep) {
                close(client);
                client = -1;
            }
        }
        if (client >= 0)
            close(client);
    }

    std::string path_;
    int listen_ = -1;
    int stop_[2] = {-1, -1};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<Request> requests_;
};

// Trees shaped as sway gives them: the scratchpad's output "__i3" first,
// then the real outputs with their workspaces.
std::string Native(int id, int pid, const std::string& appId, const std::string& title,
                   bool focused = false, const std::string& type = "con") {
    return R"({"id":)" + std::to_string(id) + R"(,"type":")" + type + R"(","name":")" + title +
           R"(","focused":)" + (focused ? "true" : "false") + R"(,"pid":)" + std::to_string(pid) +
           R"(,"app_id":)" + (appId.empty() ? "null" : "\"" + appId + "\"") +
           R"(,"shell":"xdg_shell","visible":true,"nodes":[],"floating_nodes":[]})";
}

std::string X11(int id, int pid, const std::string& cls, const std::string& title,
                bool focused = false) {
    return R"({"id":)" + std::to_string(id) + R"(,"type":"con","name":")" + title +
           R"(","focused":)" + (focused ? "true" : "false") + R"(,"pid":)" + std::to_string(pid) +
           R"(,"app_id":null,"shell":"xwayland","window":4194316,"window_properties":{"class":")" +
           cls + R"(","instance":"xterm","title":")" + title +
           R"("},"nodes":[],"floating_nodes":[]})";
}

std::string Split(int id, const std::string& nodes) {
    return R"({"id":)" + std::to_string(id) +
           R"(,"type":"con","name":null,"layout":"splitv","focused":false,"nodes":[)" + nodes +
           R"(],"floating_nodes":[]})";
}

std::string Tree(const std::string& nodes, const std::string& floating = "",
                 bool workspaceFocused = false, const std::string& scratchpad = "") {
    return R"({"id":1,"type":"root","name":"root","focused":false,"nodes":[)"
           R"({"id":2147483647,"type":"output","name":"__i3","focused":false,"nodes":[)"
           R"({"id":2147483646,"type":"workspace","name":"__i3_scratch","focused":false,)"
           R"("nodes":[],"floating_nodes":[)" +
           scratchpad +
           R"(]}],"floating_nodes":[]},)"
           R"({"id":3,"type":"output","name":"HEADLESS-1","focused":false,"nodes":[)"
           R"({"id":4,"type":"workspace","name":"1","focused":)" +
           (workspaceFocused ? "true" : "false") + R"(,"nodes":[)" + nodes +
           R"(],"floating_nodes":[)" + floating +
           R"(]}],"floating_nodes":[]}],"floating_nodes":[]})";
}

CompositorWindow Window(uint64_t id, uint32_t pid, const std::string& appId,
                        const std::string& title, bool xwayland = false) {
    return {id, pid, appId, title, xwayland};
}

struct TreeCase {
    std::string name;
    std::vector<Answer> answers;  // for Focused(), then for Windows()
    std::optional<CompositorWindow> focused;
    std::vector<CompositorWindow> windows;
};

// Failures name the case, not its bytes.
void PrintTo(const TreeCase& treeCase, std::ostream* out) {
    *out << treeCase.name;
}

std::vector<Answer> Twice(const std::string& bytes, Answer::Then then = Answer::kKeep) {
    return {{bytes, then}, {bytes, then}};
}

std::vector<TreeCase> TreeCases() {
    const CompositorWindow demo = Window(10, 100, "org.gtk.Demo", "Demo");
    const CompositorWindow xterm = Window(11, 200, "XTerm", "xterm", true);
    const std::string sameTree =
        Native(10, 100, "org.gtk.Demo", "Demo") + "," + X11(11, 200, "XTerm", "xterm");
    const std::string tree = Message(kGetTree, Tree(sameTree));
    return {
        {"NativeWindowFocused",
         Twice(Message(kGetTree, Tree(Native(10, 100, "org.gtk.Demo", "Demo", true) + "," +
                                      X11(11, 200, "XTerm", "xterm")))),
         demo,
         {demo, xterm}},
        {"XWaylandWindowFocused",
         Twice(Message(kGetTree, Tree(Native(10, 100, "org.gtk.Demo", "Demo") + "," +
                                      X11(11, 200, "XTerm", "xterm", true)))),
         xterm,
         {demo, xterm}},
        {"FloatingAndScratchpadWindows",
         Twice(Message(kGetTree, Tree(Native(10, 100, "org.gtk.Demo", "Demo"),
                                      Native(12, 300, "calc", "Calc", true, "floating_con"), false,
                                      Native(13, 400, "notes", "Notes", false, "floating_con")))),
         Window(12, 300, "calc", "Calc"),
         {Window(13, 400, "notes", "Notes"), demo, Window(12, 300, "calc", "Calc")}},
        {"WorkspaceFocused",
         Twice(Message(kGetTree, Tree(sameTree, "", true))),
         std::nullopt,
         {demo, xterm}},
        // A split container is a "con" too, without pid or app_id; a client
        // that never set an app_id is still a window.
        {"NestedSplitContainers",
         Twice(Message(kGetTree,
                       Tree(Split(20, Native(10, 100, "org.gtk.Demo", "Demo") + "," +
                                          Split(21, X11(11, 200, "XTerm", "xterm") + "," +
                                                        Native(14, 500, "", "Untitled", true)))))),
         Window(14, 500, "", "Untitled"),
         {demo, xterm, Window(14, 500, "", "Untitled")}},
        {"MalformedJson", Twice(Message(kGetTree, R"({"id":1,"nodes":[)")), std::nullopt, {}},
        {"ServerClosesMidReply",
         Twice(tree.substr(0, tree.size() / 2), Answer::kClose),
         std::nullopt,
         {}},
        {"OverLongLength", Twice(Message(kGetTree, "{}", 0xFFFFFFF0U)), std::nullopt, {}},
        {"ReplyToAnotherRequest", Twice(Message(kRunCommand, Tree(sameTree))), std::nullopt, {}},
        {"NoReply", Twice("", Answer::kHang), std::nullopt, {}},
    };
}

class SwayRouteTreeTest : public testing::TestWithParam<TreeCase> {};

TEST_P(SwayRouteTreeTest, ReadsTheFocusedWindowAndTheWindowList) {
    const test::CaseDeadline deadline(std::chrono::seconds(60));
    const test::TempDir dir;
    FakeSway server(dir.Path() + "ipc.sock", GetParam().answers);
    ASSERT_TRUE(server.Serving());
    const std::unique_ptr<SwayRoute> route = SwayRoute::Open(dir.Path() + "ipc.sock");
    ASSERT_NE(route, nullptr);
    EXPECT_EQ(route->Focused(), GetParam().focused);
    EXPECT_EQ(route->Windows(), GetParam().windows);
    EXPECT_EQ(server.Requests(), std::vector<Request>(2, Request{kGetTree, ""}));
}

INSTANTIATE_TEST_SUITE_P(Trees, SwayRouteTreeTest, testing::ValuesIn(TreeCases()),
                         [](const auto& param) { return param.param.name; });

TEST(SwayRouteTest, ClosesOneWindowByItsContainerId) {
    const test::CaseDeadline deadline(std::chrono::seconds(60));
    const test::TempDir dir;
    EXPECT_EQ(SwayRoute::Open(dir.Path() + "ipc.sock"), nullptr);
    FakeSway server(dir.Path() + "ipc.sock",
                    {{Message(kRunCommand, R"([{"success":true}])")},
                     {Message(kRunCommand, R"([{"success":false,"error":"No matching node."}])")},
                     {Message(kRunCommand, R"([])")}});
    ASSERT_TRUE(server.Serving());
    const std::unique_ptr<SwayRoute> route = SwayRoute::Open(dir.Path() + "ipc.sock");
    ASSERT_NE(route, nullptr);
    EXPECT_STREQ(route->Name(), "sway");
    EXPECT_TRUE(route->Close(42));
    EXPECT_FALSE(route->Close(43));
    EXPECT_FALSE(route->Close(44));
    EXPECT_EQ(server.Requests(), (std::vector<Request>{{kRunCommand, "[con_id=42] kill"},
                                                       {kRunCommand, "[con_id=43] kill"},
                                                       {kRunCommand, "[con_id=44] kill"}}));
}

// sway restarted on the same socket: reading goes on over a new connection,
// but a close is not sent again, as the new sway's ids name other windows.
TEST(SwayRouteTest, ReconnectsForReadingButNeverResendsAClose) {
    const test::CaseDeadline deadline(std::chrono::seconds(60));
    const test::TempDir dir;
    const std::string tree = Message(kGetTree, Tree(Native(10, 100, "org.gtk.Demo", "Demo", true)));
    FakeSway server(dir.Path() + "ipc.sock",
                    {{tree, Answer::kClose}, {tree, Answer::kClose}, {tree}});
    ASSERT_TRUE(server.Serving());
    const std::unique_ptr<SwayRoute> route = SwayRoute::Open(dir.Path() + "ipc.sock");
    ASSERT_NE(route, nullptr);
    const CompositorWindow demo = Window(10, 100, "org.gtk.Demo", "Demo");
    EXPECT_EQ(route->Focused(), demo);
    EXPECT_EQ(route->Focused(), demo);
    EXPECT_FALSE(route->Close(10));
    EXPECT_EQ(route->Windows(), std::vector<CompositorWindow>{demo});
    EXPECT_EQ(server.Requests(), std::vector<Request>(3, Request{kGetTree, ""}));
}

}  // namespace
}  // namespace tw
