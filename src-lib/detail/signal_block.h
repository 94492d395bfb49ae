// Internal: holding back the signals that would end a process halfway through
// a write, for the safe writer and the archive appends.
#ifndef MCJOBS_DETAIL_SIGNAL_BLOCK_H
#define MCJOBS_DETAIL_SIGNAL_BLOCK_H

#include <signal.h>

namespace mcjobs_detail {

/// Keeps the signals a user or a limit sends (SIGHUP, SIGINT, SIGQUIT, SIGTERM,
/// SIGXFSZ) from ending the calling thread halfway through a write while it
/// lives; they take effect once the write is complete or undone.
class SignalBlock {
 public:
  SignalBlock();
  ~SignalBlock();
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t mPrevious;
  bool mActive = false;
};

}  // namespace mcjobs_detail

#endif  // MCJOBS_DETAIL_SIGNAL_BLOCK_H
