// Subcommands of this subsystem (none yet).
#include "cli.h"

namespace zqtool {

void AddCryptoCommands(CLI::App& /*app*/) {}

}  // namespace zqtool
