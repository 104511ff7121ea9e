// Subcommands of this subsystem (none yet).
#include "cli.h"

namespace zqtool {

void AddTextCommands(CLI::App& /*app*/) {}

}  // namespace zqtool
