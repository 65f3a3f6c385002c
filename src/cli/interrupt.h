// Ctrl+C and SIGTERM for kinvar-cli. The first interrupt only raises a flag,
// which every progress window of the command line reports as the user's
// Cancel, so the running command stops through its ordinary cancel path and
// the program then removes its partly written output and exits with 130. A
// second interrupt ends the program at once (the output file removed first),
// for a command that is not polling at the time.
#pragma once

#include <string>

namespace kinvar::cli {

constexpr int kInterruptedStatus = 130;

void InstallInterruptHandlers();
bool Interrupted();
// While the inputs are opened and read nothing has been written, and an
// open of a FIFO without a writer blocks where no cancel is polled (the
// handler restarts it): there the first interrupt ends the program.
void SetInterruptExitsAtOnce(bool atOnce);
// The file a second interrupt removes before ending the program; "" none.
void SetInterruptRemovalPath(const std::string& path);

}  // namespace kinvar::cli
