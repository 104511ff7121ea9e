// Subcommands of this subsystem (none yet).
#include "cli.h"

namespace zqtool {

void AddScanCommands(CLI::App& /*app*/) {}

}  // namespace zqtool
