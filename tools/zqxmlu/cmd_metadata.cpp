// Subcommands of this subsystem (none yet).
#include "cli.h"

namespace zqtool {

void AddMetadataCommands(CLI::App& /*app*/) {}

}  // namespace zqtool
