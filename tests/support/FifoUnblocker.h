#pragma once
// POSIX only: a test that must not hang on a reader blocked at a FIFO.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stop_token>
#include <thread>

namespace TestSupport {

// Opens the FIFO's writing end as soon as a reader waits on it and closes it again, so that a
// reader that blocks on the FIFO sees its end instead of hanging the test.
class TFifoUnblocker {
public:
    explicit TFifoUnblocker(std::filesystem::path fifo)
        : FThread([fifo = std::move(fifo)](std::stop_token stop) {
              while (!stop.stop_requested()) {
                  const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                  if (fd >= 0) {
                      ::close(fd);
                      return;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
          })
    {
    }

private:
    std::jthread FThread;
};

}  // namespace TestSupport
