// Subcommands of this subsystem (none yet).
#include "cli.h"

namespace zqtool {

void AddTimeCommands(CLI::App& /*app*/) {}

}  // namespace zqtool
