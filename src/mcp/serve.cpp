// The server's loop: one poll over the client's input, the running call's
// outputs and the signals that end the server. The client's input is read
// while a call runs, so a ping is answered at once, a cancellation ends its
// run, and the end of the input ends the server without serving what waits.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <exception>

#include "mcp/mcp.h"

namespace nuvra::mcp {

namespace {

// Written by the signal handler, read by the loop.
int signalPipe[2] = {-1, -1};

void onSignal(int sig) {
    const unsigned char byte = static_cast<unsigned char>(sig);
    ssize_t ignored = write(signalPipe[1], &byte, 1);
    (void)ignored;
}

bool watchSignals() {
    if (pipe(signalPipe) != 0) return false;
    for (int fd : signalPipe) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
    return true;
}

bool writeLine(const std::string& text) {
    std::string line = text + "\n";
    for (size_t done = 0; done < line.size();) {
        ssize_t n = write(STDOUT_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Splits the input into lines. Lines are bounded: past kMaxLineBytes the
// rest of a line is read and dropped, so a client cannot make this process
// hold it.
struct LineReader {
    std::string line;
    bool overlong = false;

    // Calls `take(line, overlong)` for every line `chunk` completes.
    template <typename Take>
    void feed(std::string_view chunk, Take take) {
        while (!chunk.empty()) {
            size_t end = chunk.find('\n');
            std::string_view piece = chunk.substr(0, end);
            if (!overlong && line.size() + piece.size() > kMaxLineBytes) {
                overlong = true;
                std::string().swap(line);
            }
            if (!overlong) line.append(piece);
            if (end == std::string_view::npos) break;
            chunk.remove_prefix(end + 1);
            take(line, overlong);
            line.clear();
            overlong = false;
        }
    }
};

struct Running {
    json id;
    CallStart call;
    Child child;
    bool cancelled = false;  // answered with nothing, per MCP
};

class Server {
public:
    Server(Session& session, const std::string& program, double timeout)
        : session_(session), program_(program), timeout_(timeout) {}

    int run() {
        const bool signals = watchSignals();
        while (!ending_ || running_) {
            if (ending_) {
                queue_.clear();
                if (running_) stopChild(running_->child);
            }
            startNext();
            if (ending_ && !running_) break;
            std::vector<pollfd> watched;
            if (!ending_) watched.push_back({STDIN_FILENO, POLLIN, 0});
            if (signals) watched.push_back({signalPipe[0], POLLIN, 0});
            if (running_)
                for (int fd : {running_->child.out, running_->child.err})
                    if (fd >= 0) watched.push_back({fd, POLLIN, 0});
            int waitMs = running_ ? childWaitMs(running_->child) : -1;
            if (poll(watched.data(), watched.size(), waitMs) < 0 && errno != EINTR) {
                ending_ = true;
                continue;
            }
            for (const pollfd& w : watched) {
                if (w.revents == 0) continue;
                if (w.fd == STDIN_FILENO) readInput();
                else if (w.fd == signalPipe[0]) readSignal();
                else if (running_) readChild(running_->child, w.fd);
            }
            if (running_ && tendChild(running_->child)) finishRunning();
        }
        return signal_;
    }

private:
    void readInput() {
        char buffer[65536];
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
        auto take = [this](const std::string& line, bool overlong) { deliver(line, overlong); };
        if (n > 0) {
            reader_.feed(std::string_view(buffer, static_cast<size_t>(n)), take);
            return;
        }
        // The last line may lack its line feed. The end of the input is
        // the client shutting the server down: what waits is not served.
        if (!reader_.line.empty() || reader_.overlong) take(reader_.line, reader_.overlong);
        ending_ = true;
    }

    void readSignal() {
        unsigned char byte = 0;
        if (read(signalPipe[0], &byte, 1) == 1) signal_ = byte;
        ending_ = true;
    }

    void send(const std::string& line) {
        // A client that went away is seen as a failed write.
        if (!writeLine(line)) ending_ = true;
    }

    void deliver(const std::string& line, bool overlong) {
        Handling handling;
        if (overlong)
            handling.reply = overlongLineReply();
        else if (line.find_first_not_of(" \t\r") != std::string::npos)
            handling = handleLine(session_, line);
        if (handling.reply) send(*handling.reply);
        if (handling.call && !ending_) queue_.push_back(std::move(*handling.call));
        if (handling.cancel) cancel(*handling.cancel);
        // A call answered without a run keeps its place before what follows.
        startNext();
    }

    // A request that is gone from the client's side: its run is stopped,
    // or it is dropped before it starts. An id not in progress is ignored.
    void cancel(const json& id) {
        std::erase_if(queue_, [&](const QueuedCall& c) { return c.id == id; });
        if (running_ && running_->id == id) {
            running_->cancelled = true;
            stopChild(running_->child);
        }
    }

    // Calls start in the order they came, each once the one before has
    // ended and its process has been reaped.
    void startNext() {
        while (!ending_ && !running_ && !queue_.empty()) {
            QueuedCall next = std::move(queue_.front());
            queue_.pop_front();
            std::optional<CallStart> call;
            std::optional<Child> child;
            std::string why;
            try {
                call = startCall(session_, next.name, next.arguments);
                if (!call->result) child = startChild(program_, call->args, timeout_, why);
                if (!call->result && !child) {
                    ChildRun none;
                    none.err = why;
                    call->result = finishCall(session_, *call, none);
                }
            } catch (const std::exception& e) {
                send(internalErrorReply(next.id, e.what()));
                continue;
            }
            if (call->result)
                send(callReply(next.id, std::move(*call->result)));
            else
                running_ = Running{std::move(next.id), std::move(*call), std::move(*child)};
        }
    }

    void finishRunning() {
        Running done = std::move(*running_);
        running_.reset();
        if (done.cancelled || ending_) return;
        ChildRun run = childOutcome(done.child, timeout_);
        try {
            send(callReply(done.id, finishCall(session_, done.call, run)));
        } catch (const std::exception& e) {
            send(internalErrorReply(done.id, e.what()));
        }
    }

    Session& session_;
    const std::string program_;
    const double timeout_;
    LineReader reader_;
    std::deque<QueuedCall> queue_;
    std::optional<Running> running_;
    bool ending_ = false;
    int signal_ = 0;
};

}  // namespace

int serve(Session& session, const std::string& program, double timeoutSeconds) {
    return Server(session, program, timeoutSeconds).run();
}

}  // namespace nuvra::mcp
