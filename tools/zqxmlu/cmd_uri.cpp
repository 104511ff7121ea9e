// Subcommands of this subsystem (none yet).
#include "cli.h"

namespace zqtool {

void AddUriCommands(CLI::App& /*app*/) {}

}  // namespace zqtool
