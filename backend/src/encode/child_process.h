// An encoder process reading from a pipe on its standard input (platform part).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace tsl::encode {

class ChildProcess {
public:
    virtual ~ChildProcess() = default; // closes the pipe and waits like Finish(…)
    // Null when the command cannot be started.
    static std::unique_ptr<ChildProcess> Start(const std::string& utf8Command);

    // Blocks while the process is slow to read (that paces the producer);
    // false once the reader has gone.
    virtual bool WriteAll(const void* data, size_t bytes) = 0;
    // Thread-safe.
    virtual bool Exited() const = 0;
    // Closes the pipe (end of input), waits up to `timeoutMs` for the process
    // to finish, and ends it forcibly past that. Idempotent.
    virtual void CloseAndWait(unsigned timeoutMs) = 0;
};

} // namespace tsl::encode
